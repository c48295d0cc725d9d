#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// The thread of an output device: runs one render cycle after another until
// stopped or until a cycle returns false.
class AudioRenderThread {
 public:
  AudioRenderThread() = default;
  ~AudioRenderThread() { stop(); }

  AudioRenderThread(const AudioRenderThread&) = delete;
  AudioRenderThread& operator=(const AudioRenderThread&) = delete;

  bool isRunning() const;
  // Nothing when running already.
  void start(std::function<bool()> cycle);
  // Returns once the thread has ended; from the thread itself it only asks
  // the current cycle to be the last.
  void stop();
  // Waits for `deadline`; false when stop() came first.
  bool sleepUntil(std::chrono::steady_clock::time_point deadline);

 private:
  bool isStopping() const;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace platform
