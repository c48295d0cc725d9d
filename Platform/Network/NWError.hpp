#pragma once

#include <asio/error.hpp>
#include <exception>
#include <string>
#include <system_error>

namespace platform {

// Why a connection failed: the system's or the TLS layer's error.
class NWError : public std::exception {
 public:
  explicit NWError(std::error_code code) : code_(code), text_(code.message()) {}
  // `detail` says more than the code can, e.g. why a certificate was refused.
  NWError(std::error_code code, const std::string& detail) : code_(code), text_(code.message() + ": " + detail) {}
  const std::error_code& code() const noexcept { return code_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::error_code code_;
  std::string text_;
};

// Whether `error` says there is no path to the peer: its network is down or
// unreachable, or the host is.
inline bool meansNoPath(const std::error_code& error) {
  return error == asio::error::network_unreachable || error == asio::error::host_unreachable ||
         error == asio::error::network_down;
}

}  // namespace platform
