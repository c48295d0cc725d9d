#include "Platform/WebKit/WKNavigationError.hpp"

#include <array>

namespace platform {
namespace {

struct Mapping {
  std::string_view engineDomain;
  int engineCode;
  long urlErrorCode;
};

// Observed from the engine: a refused port gives g-io-error 39, an unknown
// host g-resolver-error 0, a peer that closes mid-response g-io-error 34 (44
// when the write side notices first). Time-outs are our own (the engine has
// no request time-out) and arrive as timedOut directly.
constexpr std::array mappings{
    Mapping{"g-io-error-quark", 19, NSURLError::cancelled},
    Mapping{"g-io-error-quark", 24, NSURLError::timedOut},
    Mapping{"g-io-error-quark", 28, NSURLError::cannotFindHost},
    Mapping{"g-io-error-quark", 34, NSURLError::networkConnectionLost},
    Mapping{"g-io-error-quark", 37, NSURLError::cannotConnectToHost},
    Mapping{"g-io-error-quark", 38, NSURLError::notConnectedToInternet},
    Mapping{"g-io-error-quark", 39, NSURLError::cannotConnectToHost},
    Mapping{"g-io-error-quark", 44, NSURLError::networkConnectionLost},
    Mapping{"g-io-error-quark", 45, NSURLError::networkConnectionLost},
    Mapping{"g-resolver-error-quark", 0, NSURLError::cannotFindHost},
    Mapping{"g-resolver-error-quark", 1, NSURLError::cannotFindHost},
    Mapping{"WebKitNetworkError", 300, NSURLError::networkConnectionLost},
    Mapping{"WebKitNetworkError", 301, NSURLError::unsupportedURL},
    Mapping{"WebKitNetworkError", 302, NSURLError::cancelled},
    Mapping{"WebKitNetworkError", 303, NSURLError::fileDoesNotExist},
};

// Domains whose every other code is still a URL-loading failure.
constexpr std::array urlLoadingDomains{std::string_view("g-io-error-quark"),
                                       std::string_view("g-resolver-error-quark"),
                                       std::string_view("g-tls-error-quark"), std::string_view("WebKitNetworkError")};

}  // namespace

NSError navigationError(std::string_view engineDomain, int engineCode, std::string message) {
  for (const auto& mapping : mappings) {
    if (mapping.engineDomain == engineDomain && mapping.engineCode == engineCode) {
      return {std::string(NSURLErrorDomain), mapping.urlErrorCode, std::move(message)};
    }
  }
  if (engineDomain == "g-tls-error-quark") {
    return {std::string(NSURLErrorDomain), NSURLError::secureConnectionFailed, std::move(message)};
  }
  for (const auto domain : urlLoadingDomains) {
    if (domain == engineDomain) return {std::string(NSURLErrorDomain), NSURLError::unknown, std::move(message)};
  }
  return {std::string(engineDomain), engineCode, std::move(message)};
}

}  // namespace platform
