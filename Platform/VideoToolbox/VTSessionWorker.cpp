#include "Platform/VideoToolbox/VTSessionWorker.hpp"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform {

// Shared with the thread, which may outlive the worker when a job ends its own session.
struct VTSessionWorker::Queue {
  std::size_t capacity;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;
  bool busy = false;
  bool stopped = false;

  void run() {
    std::unique_lock lock(mutex);
    while (true) {
      changed.wait(lock, [this] { return stopped || !jobs.empty(); });
      if (stopped) return;
      Job job = std::move(jobs.front());
      jobs.pop_front();
      busy = true;
      changed.notify_all();
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
      busy = false;
      changed.notify_all();
    }
  }
};

VTSessionWorker::VTSessionWorker(std::string name, std::size_t capacity)
    : queue_(std::make_shared<Queue>()) {
  queue_->capacity = capacity == 0 ? 1 : capacity;
  thread_ = std::thread([queue = queue_, name = std::move(name)] {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    queue->run();
  });
}

VTSessionWorker::~VTSessionWorker() { stop(); }

bool VTSessionWorker::post(Job job) {
  // The worker itself never waits for room: it would wait for itself.
  const bool mayWait = !isWorkerThread();
  std::unique_lock lock(queue_->mutex);
  queue_->changed.wait(lock, [&] { return queue_->stopped || !mayWait || queue_->jobs.size() < queue_->capacity; });
  if (queue_->stopped) return false;
  queue_->jobs.push_back(std::move(job));
  queue_->changed.notify_all();
  return true;
}

void VTSessionWorker::waitUntilIdle() {
  if (isWorkerThread()) return;
  std::unique_lock lock(queue_->mutex);
  queue_->changed.wait(lock, [this] { return !queue_->busy && (queue_->stopped || queue_->jobs.empty()); });
}

bool VTSessionWorker::postAndWait(Job job) {
  if (isWorkerThread()) {
    job();
    return true;
  }
  if (!post(std::move(job))) return false;
  waitUntilIdle();
  return true;
}

bool VTSessionWorker::isStopped() const {
  std::lock_guard lock(queue_->mutex);
  return queue_->stopped;
}

void VTSessionWorker::stop() {
  std::deque<Job> dropped;
  {
    std::lock_guard lock(queue_->mutex);
    queue_->stopped = true;
    dropped.swap(queue_->jobs);
    queue_->changed.notify_all();
  }
  if (!thread_.joinable()) return;
  if (isWorkerThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace platform
