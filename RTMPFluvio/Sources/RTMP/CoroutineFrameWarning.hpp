#pragma once

// g++ 12 misreads the frame of a coroutine that awaits inside a try block as
// allocated by one operator and freed by another; asio pairs them correctly.
// Included by the sources whose coroutines catch what they await.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
