#pragma once

namespace platform {

// How urgent a connection's traffic is. On Linux it becomes the socket's
// priority, which the system's queueing disciplines order packets by.
enum class DispatchQoS { background, utility, standard, userInitiated, userInteractive };

}  // namespace platform
