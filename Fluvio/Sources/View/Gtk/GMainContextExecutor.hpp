#pragma once

#include <glib.h>

#include <asio/execution.hpp>
#include <asio/execution_context.hpp>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/UnhandledError.hpp"

namespace fluvio {

// Runs work on a GLib main context (the toolkit's thread), never inline: each
// item becomes an idle source of default priority, so items run in the order
// they were submitted. Lets the main actor of the views be the GTK loop
// (install it with platform::MainQueue::install before the first view).
class GMainContextExecutor {
 public:
  explicit GMainContextExecutor(GMainContext* context = g_main_context_default()) noexcept : context_(context) {}

  asio::execution_context& query(asio::execution::context_t) const noexcept;
  static constexpr asio::execution::blocking_t query(asio::execution::blocking_t) noexcept {
    return asio::execution::blocking.never;
  }
  GMainContextExecutor require(asio::execution::blocking_t::never_t) const noexcept { return *this; }

  template <class Function>
  void execute(Function&& function) const {
    using Work = std::decay_t<Function>;
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, &run<Work>, new Work(std::forward<Function>(function)),
                          [](gpointer work) { delete static_cast<Work*>(work); });
    g_source_attach(source, context_);
    g_source_unref(source);
  }

  friend bool operator==(const GMainContextExecutor& a, const GMainContextExecutor& b) noexcept {
    return a.context_ == b.context_;
  }
  friend bool operator!=(const GMainContextExecutor& a, const GMainContextExecutor& b) noexcept { return !(a == b); }

 private:
  template <class Work>
  static gboolean run(gpointer work) {
    try {
      (*static_cast<Work*>(work))();
    } catch (...) {
      platform::detail::reportUnhandledError("GLib main context", std::current_exception());
    }
    return G_SOURCE_REMOVE;
  }

  GMainContext* context_;
};

}  // namespace fluvio
