#include "Fluvio/Sources/View/Gtk/GMainContextExecutor.hpp"

namespace fluvio {

asio::execution_context& GMainContextExecutor::query(asio::execution::context_t) const noexcept {
  // Holds the services (strands) made over these executors; kept for the
  // process's life, since work may still be queued while statics go.
  static auto* context = new asio::execution_context;
  return *context;
}

}  // namespace fluvio
