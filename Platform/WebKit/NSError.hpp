#pragma once

#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view NSURLErrorDomain = "NSURLErrorDomain";

// The URL-loading codes a navigation failure is reported with.
namespace NSURLError {
inline constexpr long unknown = -1;
inline constexpr long cancelled = -999;
inline constexpr long badURL = -1000;
inline constexpr long timedOut = -1001;
inline constexpr long unsupportedURL = -1002;
inline constexpr long cannotFindHost = -1003;
inline constexpr long cannotConnectToHost = -1004;
inline constexpr long networkConnectionLost = -1005;
inline constexpr long notConnectedToInternet = -1009;
inline constexpr long dataNotAllowed = -1020;
inline constexpr long secureConnectionFailed = -1200;
inline constexpr long fileDoesNotExist = -1100;
}  // namespace NSURLError

// A failure as a domain and a code, with the engine's text for logs.
struct NSError {
  std::string domain;
  long code = 0;
  std::string localizedDescription;
};

}  // namespace platform
