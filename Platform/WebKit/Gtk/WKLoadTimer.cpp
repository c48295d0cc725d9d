#include "Platform/WebKit/Gtk/WKLoadTimer.hpp"

#include <glib.h>

namespace platform {
namespace {

class MainLoopLoadTimer final : public WKLoadTimer {
 public:
  ~MainLoopLoadTimer() override { cancel(); }

  void start(std::chrono::milliseconds timeout, std::function<void()> expired) override {
    cancel();
    expired_ = std::move(expired);
    source_ = g_timeout_add(static_cast<guint>(timeout.count()), fire, this);
  }

  void cancel() override {
    if (source_ != 0) g_source_remove(source_);
    source_ = 0;
    expired_ = nullptr;
  }

 private:
  static gboolean fire(gpointer data) {
    auto& self = *static_cast<MainLoopLoadTimer*>(data);
    self.source_ = 0;
    // The callback may start the timer again.
    auto expired = std::move(self.expired_);
    self.expired_ = nullptr;
    expired();
    return G_SOURCE_REMOVE;
  }

  guint source_ = 0;
  std::function<void()> expired_;
};

}  // namespace

std::shared_ptr<WKLoadTimer> makeMainLoopLoadTimer() { return std::make_shared<MainLoopLoadTimer>(); }

}  // namespace platform
