#include "Platform/VideoToolbox/VTSessionWorker.hpp"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/RuntimeError.hpp"

namespace platform {

namespace {

using Waiters = std::vector<Continuation<void>, detail::BlockAllocator<Continuation<void>>>;

void resumeAll(Waiters waiters) {
  for (const auto& waiter : waiters) waiter.resume();
}

}  // namespace

// Shared with the thread, which may outlive the worker when a job ends its
// own session or the worker ends after its last job.
struct VTSessionWorker::Queue {
  using Jobs = std::deque<Job, detail::BlockAllocator<Job>>;

  std::size_t capacity;
  std::mutex mutex;
  std::condition_variable changed;
  Jobs jobs;
  bool busy = false;
  // No job is taken any more.
  bool stopped = false;
  // No job is accepted any more; the queued ones still run.
  bool ending = false;
  Waiters roomWaiters;
  Waiters idleWaiters;

  bool refuses() const { return stopped || ending; }
  bool hasRoom() const { return refuses() || jobs.size() < capacity; }
  bool isIdle() const { return stopped || (!busy && jobs.empty()); }

  void run() {
    std::unique_lock lock(mutex);
    while (true) {
      changed.wait(lock, [this] { return stopped || ending || !jobs.empty(); });
      if (!stopped && jobs.empty()) stopped = true;
      if (stopped) {
        auto waiters = takeAllWaiters();
        lock.unlock();
        resumeAll(std::move(waiters));
        return;
      }
      Job job = std::move(jobs.front());
      jobs.pop_front();
      busy = true;
      auto roomy = std::exchange(roomWaiters, {});
      changed.notify_all();
      lock.unlock();
      resumeAll(std::move(roomy));
      job();
      job = nullptr;
      lock.lock();
      busy = false;
      Waiters idlers;
      if (jobs.empty()) idlers.swap(idleWaiters);
      changed.notify_all();
      if (!idlers.empty()) {
        lock.unlock();
        resumeAll(std::move(idlers));
        lock.lock();
      }
    }
  }

  Waiters takeAllWaiters() {
    auto waiters = std::exchange(roomWaiters, {});
    for (auto& waiter : idleWaiters) waiters.push_back(std::move(waiter));
    idleWaiters.clear();
    return waiters;
  }

  // Resumes `resume` once `ready` holds, at once when it does already.
  template <class Ready>
  void whenReady(Continuation<void> resume, Waiters& waiters, Ready ready) {
    std::unique_lock lock(mutex);
    if (!ready()) {
      waiters.push_back(std::move(resume));
      return;
    }
    lock.unlock();
    resume.resume();
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

void VTSessionWorker::refuseBlockingOnPool() const {
  if (detail::onPoolThread()) throw RuntimeError(RuntimeError::Case::blockingOnPoolThread);
}

bool VTSessionWorker::post(Job job) {
  // The worker never waits for itself, nor a pool thread for the worker.
  const bool mayWait = !isWorkerThread() && !detail::onPoolThread();
  std::unique_lock lock(queue_->mutex);
  queue_->changed.wait(lock, [&] { return !mayWait || queue_->hasRoom(); });
  if (queue_->refuses()) return false;
  queue_->jobs.push_back(std::move(job));
  queue_->changed.notify_all();
  return true;
}

Async<void> VTSessionWorker::room() {
  if (isWorkerThread()) co_return;
  {
    std::lock_guard lock(queue_->mutex);
    if (queue_->hasRoom()) co_return;
  }
  auto waiting = withContinuation<void>([queue = queue_](Continuation<void> resume) {
    queue->whenReady(std::move(resume), queue->roomWaiters, [&] { return queue->hasRoom(); });
  });
  co_await std::move(waiting);
}

Async<void> VTSessionWorker::idle() {
  if (isWorkerThread()) co_return;
  auto waiting = withContinuation<void>([queue = queue_](Continuation<void> resume) {
    queue->whenReady(std::move(resume), queue->idleWaiters, [&] { return queue->isIdle(); });
  });
  co_await std::move(waiting);
}

void VTSessionWorker::waitUntilIdle() {
  if (isWorkerThread()) return;
  refuseBlockingOnPool();
  std::unique_lock lock(queue_->mutex);
  queue_->changed.wait(lock, [this] { return queue_->isIdle(); });
}

bool VTSessionWorker::postAndWait(Job job) {
  if (isWorkerThread()) {
    job();
    return true;
  }
  refuseBlockingOnPool();
  if (!post(std::move(job))) return false;
  waitUntilIdle();
  return true;
}

void VTSessionWorker::stopAfter(Job last) {
  Waiters roomy;
  {
    std::lock_guard lock(queue_->mutex);
    if (queue_->refuses()) return;
    queue_->jobs.push_back(std::move(last));
    queue_->ending = true;
    // A feeder waits no longer: what it posts now is refused.
    roomy.swap(queue_->roomWaiters);
    queue_->changed.notify_all();
  }
  resumeAll(std::move(roomy));
}

bool VTSessionWorker::isStopped() const {
  std::lock_guard lock(queue_->mutex);
  return queue_->refuses();
}

void VTSessionWorker::stop() {
  Queue::Jobs dropped;
  Waiters waiters;
  bool ending = false;
  {
    std::lock_guard lock(queue_->mutex);
    ending = queue_->ending && !queue_->stopped;
    // An ending worker finishes its queue by itself.
    if (!ending) {
      queue_->stopped = true;
      dropped.swap(queue_->jobs);
      waiters = queue_->takeAllWaiters();
    }
    queue_->changed.notify_all();
  }
  resumeAll(std::move(waiters));
  if (!thread_.joinable()) return;
  // Nor does a pool thread wait for the job running now: the thread holds what it needs.
  if (isWorkerThread() || ending || detail::onPoolThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace platform
