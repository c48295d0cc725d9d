#include "Platform/AVFAudio/AudioRenderThread.hpp"

#include <utility>

namespace platform {

bool AudioRenderThread::isRunning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

bool AudioRenderThread::isStopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void AudioRenderThread::start(std::function<bool()> cycle) {
  std::unique_lock lock(mutex_);
  if ((running_ && !stopping_) || thread_.get_id() == std::this_thread::get_id()) return;
  // A thread that ended by itself, or was stopped from inside, is joined here.
  if (thread_.joinable()) {
    auto ended = std::move(thread_);
    lock.unlock();
    ended.join();
    lock.lock();
    // Another start won the race meanwhile.
    if (thread_.joinable()) return;
  }
  stopping_ = false;
  running_ = true;
  thread_ = std::thread([this, cycle = std::move(cycle)] {
    while (!isStopping() && cycle()) {
    }
    std::lock_guard lock(mutex_);
    running_ = false;
  });
}

void AudioRenderThread::stop() {
  std::thread ending;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    ending = std::move(thread_);
  }
  ending.join();
}

bool AudioRenderThread::sleepUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_until(lock, deadline, [this] { return stopping_; });
}

}  // namespace platform
