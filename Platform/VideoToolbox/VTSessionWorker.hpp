#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/InlineFunction.hpp"

namespace platform {

// The thread a session encodes or decodes on: jobs run one at a time in the
// order they were posted, at most `capacity` waiting. A producer on the
// process pool never waits for the worker: it awaits room() (its coroutine
// is suspended, the thread goes on) or idle(). The blocking waits are for
// threads of their own, and refuse a pool thread with
// RuntimeError::blockingOnPoolThread. A job is held in place and its queue
// comes from the block pool, so posting one costs no heap block; what a job
// needs beyond a few words it shares from a pooled block.
class VTSessionWorker {
 public:
  using Job = InlineFunction<void()>;

  VTSessionWorker(std::string name, std::size_t capacity);
  ~VTSessionWorker();

  VTSessionWorker(const VTSessionWorker&) = delete;
  VTSessionWorker& operator=(const VTSessionWorker&) = delete;

  // Queues `job`; false once stopped or ending: the job is not run. Off the
  // pool it first waits for room; on a pool thread it never waits, so a pool
  // caller that keeps the bound awaits room() before.
  bool post(Job job);
  // Resumes once fewer than `capacity` jobs wait, or the worker has stopped;
  // at once from the worker itself.
  Async<void> room();
  // Resumes once every job posted before has run, or has been dropped by stop.
  Async<void> idle();
  // Returns once every job posted before has run, or has been dropped by
  // stop; at once when called from the worker itself.
  void waitUntilIdle();
  // Runs `job` on the worker (at once when called from it) and waits for it
  // and everything posted before; false when stopped.
  bool postAndWait(Job job);
  // Runs what is queued, then `last`, then ends the thread; later posts are
  // refused. Returns at once.
  void stopAfter(Job last);
  // Drops the jobs not yet started and lets the running one finish. Called
  // from a job, the thread ends once that job returns.
  void stop();

  // True once stop or stopAfter was called.
  bool isStopped() const;
  bool isWorkerThread() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Queue;

  void refuseBlockingOnPool() const;

  std::shared_ptr<Queue> queue_;
  std::thread thread_;
};

}  // namespace platform
