#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace platform {

// Result code of every media call: 0 is success, anything else names a failure.
using OSStatus = std::int32_t;
inline constexpr OSStatus noErr = 0;

// What a status-returning constructor gives: the object, or none and why.
template <class T>
struct StatusOr {
  OSStatus status = noErr;
  std::shared_ptr<T> value;

  explicit operator bool() const noexcept { return status == noErr && value != nullptr; }
};

// Thrown by the operations that report failure by throwing (the buffer queue).
class OSStatusError : public std::exception {
 public:
  explicit OSStatusError(OSStatus status)
      : status_(status), message_("OSStatusError(" + std::to_string(status) + ")") {}

  OSStatus status() const noexcept { return status_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  OSStatus status_;
  std::string message_;
};

}  // namespace platform
