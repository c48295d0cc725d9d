#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

// The thread a session encodes or decodes on: jobs run one at a time in the
// order they were posted. Posting blocks while `capacity` jobs wait, so a
// producer faster than the codec is slowed down instead of piling up frames.
class VTSessionWorker {
 public:
  using Job = std::function<void()>;

  VTSessionWorker(std::string name, std::size_t capacity);
  ~VTSessionWorker();

  VTSessionWorker(const VTSessionWorker&) = delete;
  VTSessionWorker& operator=(const VTSessionWorker&) = delete;

  // False once stopped: the job is not run.
  bool post(Job job);
  // Returns once every job posted before has run, or has been dropped by
  // stop; at once when called from the worker itself.
  void waitUntilIdle();
  // Runs `job` on the worker (at once when called from it) and waits for it
  // and everything posted before; false when stopped.
  bool postAndWait(Job job);
  // Drops the jobs not yet started and lets the running one finish. Called
  // from a job, the thread ends once that job returns.
  void stop();

  bool isStopped() const;
  bool isWorkerThread() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Queue;

  std::shared_ptr<Queue> queue_;
  std::thread thread_;
};

}  // namespace platform
