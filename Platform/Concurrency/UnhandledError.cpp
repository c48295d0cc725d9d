#include "Platform/Concurrency/UnhandledError.hpp"

#include <asio/error.hpp>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace platform {

namespace {

std::mutex handlerMutex;

UnhandledErrorHandler& currentHandler() {
  static UnhandledErrorHandler handler = [](const std::string& taskName, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "task %s ended with an error: %s\n", taskName.c_str(), e.what());
    } catch (...) {
      std::fprintf(stderr, "task %s ended with an unknown error\n", taskName.c_str());
    }
  };
  return handler;
}

}  // namespace

UnhandledErrorHandler setUnhandledErrorHandler(UnhandledErrorHandler handler) {
  std::lock_guard lock(handlerMutex);
  std::swap(currentHandler(), handler);
  return handler;
}

bool isCancellation(std::exception_ptr error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const std::system_error& e) {
    return e.code() == asio::error::operation_aborted;
  } catch (...) {
    return false;
  }
}

namespace detail {

void reportUnhandledError(const std::string& name, std::exception_ptr error) {
  if (!error || isCancellation(error)) return;
  UnhandledErrorHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = currentHandler();
  }
  if (handler) handler(name, error);
}

std::exception_ptr cancellationError() {
  return std::make_exception_ptr(std::system_error(asio::error::operation_aborted, "cancelled"));
}

}  // namespace detail

}  // namespace platform
