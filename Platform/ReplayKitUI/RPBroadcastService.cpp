#include "Platform/ReplayKitUI/RPBroadcastService.hpp"

#include <csignal>
#include <cstdio>
#include <optional>

namespace platform {
namespace {

// The error output kept per run: enough for the last lines of a message.
constexpr std::size_t kErrorTailBytes = 4096;

std::string lastLine(const std::string& text) {
  auto end = text.find_last_not_of("\r\n \t");
  if (end == std::string::npos) return {};
  const auto start = text.find_last_of('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace

// One started process: its error output as it arrives and how it ended.
struct RPBroadcastService::Run {
  std::weak_ptr<RPBroadcastService> service;
  GSubprocess* process = nullptr;
  GCancellable* cancellable = g_cancellable_new();
  std::string errorTail;
  bool stopRequested = false;
  bool exited = false;
  bool errorOutputClosed = false;

  ~Run() {
    g_object_unref(cancellable);
    g_object_unref(process);
  }

  static void readErrorOutput(std::shared_ptr<Run> run) {
    auto* stream = g_subprocess_get_stderr_pipe(run->process);
    auto* cancellable = run->cancellable;
    g_input_stream_read_bytes_async(
        stream, 1024, G_PRIORITY_DEFAULT, cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<std::shared_ptr<Run>> owned(static_cast<std::shared_ptr<Run>*>(data));
          auto run = *owned;
          GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, nullptr);
          gsize size = 0;
          const auto* chunk = bytes != nullptr ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
          if (size == 0) {
            if (bytes != nullptr) g_bytes_unref(bytes);
            run->errorOutputClosed = true;
            run->finishIfDone();
            return;
          }
          std::fwrite(chunk, 1, size, stderr);  // the service's log stays visible
          run->errorTail.append(chunk, size);
          if (run->errorTail.size() > kErrorTailBytes) run->errorTail.erase(0, run->errorTail.size() - kErrorTailBytes);
          g_bytes_unref(bytes);
          readErrorOutput(std::move(run));
        },
        new std::shared_ptr<Run>(std::move(run)));
  }

  static void waitForExit(std::shared_ptr<Run> run) {
    auto* process = run->process;
    g_subprocess_wait_async(
        process, nullptr,
        [](GObject*, GAsyncResult* result, gpointer data) {
          std::unique_ptr<std::shared_ptr<Run>> owned(static_cast<std::shared_ptr<Run>*>(data));
          auto run = *owned;
          g_subprocess_wait_finish(run->process, result, nullptr);
          run->exited = true;
          run->finishIfDone();
        },
        new std::shared_ptr<Run>(std::move(run)));
  }

  void finishIfDone() {
    if (!exited || !errorOutputClosed) return;
    if (const auto owner = service.lock()) owner->finish(*this);
  }

  // The failure text, or nothing when the run ended well or was stopped by us.
  std::optional<std::string> failure() const {
    if (stopRequested) return std::nullopt;
    if (g_subprocess_get_if_exited(process) && g_subprocess_get_exit_status(process) == 0) return std::nullopt;
    auto text = lastLine(errorTail);
    if (text.empty()) text = "Die Übertragung wurde unerwartet beendet.";
    return text;
  }
};

std::shared_ptr<RPBroadcastService> RPBroadcastService::make(Configuration configuration) {
  return std::shared_ptr<RPBroadcastService>(new RPBroadcastService(std::move(configuration)));
}

RPBroadcastService::~RPBroadcastService() {
  if (run_) {
    g_cancellable_cancel(run_->cancellable);
    g_subprocess_send_signal(run_->process, SIGTERM);
  }
}

void RPBroadcastService::start() {
  if (run_) return;
  GError* error = nullptr;
  // The picker offers no microphone, so the service captures none.
  GSubprocess* process = g_subprocess_new(G_SUBPROCESS_FLAGS_STDERR_PIPE, &error, configuration_.programPath.c_str(),
                                          "--no-microphone", configuration_.extension.c_str(), nullptr);
  if (process == nullptr) {
    const std::string message = std::string("Die Übertragung konnte nicht gestartet werden: ") + error->message;
    g_error_free(error);
    if (errorHandler_) errorHandler_(message);
    return;
  }
  run_ = std::make_shared<Run>();
  run_->service = weak_from_this();
  run_->process = process;
  process_ = process;
  Run::readErrorOutput(run_);
  Run::waitForExit(run_);
  if (stateHandler_) stateHandler_(true);
}

void RPBroadcastService::stop() {
  if (!run_ || run_->stopRequested) return;
  run_->stopRequested = true;
  g_subprocess_send_signal(run_->process, SIGTERM);
}

void RPBroadcastService::finish(Run& run) {
  if (run_.get() != &run) return;
  const auto keep = std::move(run_);
  process_ = nullptr;
  const auto failure = keep->failure();
  if (stateHandler_) stateHandler_(false);
  if (failure && errorHandler_) errorHandler_(*failure);
}

}  // namespace platform
