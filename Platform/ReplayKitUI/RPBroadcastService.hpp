#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The broadcast service as a program of its own: started as
// `PROGRAM EXTENSION_MODULE`, stopped with SIGTERM. When it ends on its own with a failure, the
// last line it wrote to its error output is the broadcast's error text.
class RPBroadcastService : public std::enable_shared_from_this<RPBroadcastService> {
 public:
  struct Configuration {
    std::string programPath;
    std::string extension;
  };
  using StateHandler = std::function<void(bool running)>;
  using ErrorHandler = std::function<void(const std::string& message)>;

  static std::shared_ptr<RPBroadcastService> make(Configuration configuration);
  ~RPBroadcastService();
  RPBroadcastService(const RPBroadcastService&) = delete;
  RPBroadcastService& operator=(const RPBroadcastService&) = delete;

  bool isRunning() const noexcept { return process_ != nullptr; }
  void setStateHandler(StateHandler handler) { stateHandler_ = std::move(handler); }
  void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

  void start();
  void stop();

 private:
  struct Run;
  explicit RPBroadcastService(Configuration configuration) : configuration_(std::move(configuration)) {}

  void finish(Run& run);

  Configuration configuration_;
  StateHandler stateHandler_;
  ErrorHandler errorHandler_;
  GSubprocess* process_ = nullptr;
  std::shared_ptr<Run> run_;
};

}  // namespace platform
