#pragma once

#include <exception>
#include <functional>
#include <string>

namespace platform {

using UnhandledErrorHandler = std::function<void(const std::string& taskName, std::exception_ptr)>;

// Replaces where errors of detached work go (tasks, queue work, enqueued actor
// work; standard error by default); returns the old handler.
UnhandledErrorHandler setUnhandledErrorHandler(UnhandledErrorHandler handler);

// True when `error` is the cancellation of an awaited operation.
bool isCancellation(std::exception_ptr error);

namespace detail {

// Passes `error` to the handler unless it is a cancellation, which is quiet.
void reportUnhandledError(const std::string& name, std::exception_ptr error);

// The error every cancelled wait ends with (operation_aborted).
std::exception_ptr cancellationError();

}  // namespace detail

}  // namespace platform
