#include "Platform/Concurrency/TaskGroup.hpp"

#include <asio/async_result.hpp>
#include <asio/use_awaitable.hpp>
#include <list>
#include <variant>
#include <vector>

#include "Platform/Concurrency/PendingResume.hpp"

namespace platform {

namespace detail {

struct TaskGroupState : std::enable_shared_from_this<TaskGroupState> {
  explicit TaskGroupState(Executor e) : executor(std::move(e)) {}

  using Idle = PendingResume<std::monostate>;

  void ended(std::uint64_t id) {
    std::list<std::shared_ptr<std::optional<Idle>>> waiters;
    {
      std::lock_guard lock(mutex);
      children.erase(id);
      if (children.empty()) waiters.swap(idleWaiters);
    }
    for (auto& waiter : waiters) std::move(**waiter)(nullptr, {});
  }

  std::vector<Task> running() {
    std::lock_guard lock(mutex);
    std::vector<Task> tasks;
    for (auto& [id, task] : children) tasks.push_back(task);
    return tasks;
  }

  Async<void> untilIdle() {
    auto waiting = asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, std::monostate)>(
        [self = shared_from_this()](auto handler) {
          std::unique_lock lock(self->mutex);
          if (self->children.empty()) {
            lock.unlock();
            Idle(std::move(handler))(nullptr, {});
            return;
          }
          auto waiter = std::make_shared<std::optional<Idle>>();
          std::weak_ptr<TaskGroupState> weak = self;
          waiter->emplace(std::move(handler), [weak, waiter] {
            if (auto state = weak.lock()) state->withdraw(waiter);
          });
          self->idleWaiters.push_back(waiter);
        },
        asio::use_awaitable);
    co_await std::move(waiting);
  }

  void withdraw(const std::shared_ptr<std::optional<Idle>>& waiter) {
    {
      std::lock_guard lock(mutex);
      auto before = idleWaiters.size();
      idleWaiters.remove(waiter);
      if (idleWaiters.size() == before) return;  // resumed already
    }
    std::move(**waiter)(cancellationError(), {});
  }

  Executor executor;
  mutable std::mutex mutex;
  std::map<std::uint64_t, Task> children;
  std::uint64_t nextId = 0;
  int cancelling = 0;
  std::list<std::shared_ptr<std::optional<Idle>>> idleWaiters;
};

}  // namespace detail

TaskGroup::TaskGroup(Executor executor) : state_(std::make_shared<detail::TaskGroupState>(std::move(executor))) {}

TaskGroup::~TaskGroup() {
  for (auto& task : state_->running()) task.cancel();
}

void TaskGroup::spawn(Async<void> body, std::string name) {
  std::uint64_t id;
  {
    std::lock_guard lock(state_->mutex);
    id = ++state_->nextId;
    state_->children.emplace(id, Task());
  }
  Task task;
  try {
    task = detail::startTask(state_->executor, std::move(body), std::move(name),
                             [state = state_, id] { state->ended(id); });
  } catch (...) {
    state_->ended(id);
    throw;
  }
  std::lock_guard lock(state_->mutex);
  auto child = state_->children.find(id);
  if (child == state_->children.end()) return;  // ended already
  child->second = task;
  if (state_->cancelling > 0) task.cancel();
}

Async<void> TaskGroup::cancelAll() {
  auto state = state_;
  {
    std::lock_guard lock(state->mutex);
    ++state->cancelling;
  }
  struct Done {
    ~Done() {
      std::lock_guard lock(state->mutex);
      --state->cancelling;
    }
    std::shared_ptr<detail::TaskGroupState> state;
  } done{state};
  for (auto& task : state->running()) task.cancel();
  auto idle = state->untilIdle();
  co_await std::move(idle);
}

Async<void> TaskGroup::wait() { return state_->untilIdle(); }

std::size_t TaskGroup::count() const {
  std::lock_guard lock(state_->mutex);
  return state_->children.size();
}

}  // namespace platform
