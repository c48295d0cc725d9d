#pragma once

// A strand small enough for Executor (asio::any_io_executor) to hold in place.
// A plain asio strand over Executor is larger than the type-erased executor's
// inline storage, so every copy, prefer() and require() of it through Executor
// (co_spawn, awaiting, post, defer, timers) went to the heap. This one is a
// counted pointer to the strand plus the properties asked of this handle, and
// keeps the strand's contract: work runs one item at a time in submission
// order, and copies with equal properties compare equal.

#include <asio/execution.hpp>
#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <typeinfo>
#include <utility>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform {

class StrandExecutor;

namespace detail {

// An Executor that answers the blocking query itself. Asked of the erased
// executor, the answer comes back in a block on the heap, and a strand asks
// its inner executor on every submission.
class KnownBlockingExecutor {
 public:
  KnownBlockingExecutor(Executor executor, bool neverBlocks)
      : KnownBlockingExecutor(std::move(executor), neverBlocks, false, nullptr) {}
  static KnownBlockingExecutor asking(Executor executor) {
    const bool neverBlocks = asio::query(executor, asio::execution::blocking) == asio::execution::blocking.never;
    asio::thread_pool* pool = poolOf(executor);
    return KnownBlockingExecutor(std::move(executor), neverBlocks, false, pool);
  }

  const Executor& erased() const noexcept { return executor_; }

  // On a pool, or on a strand of ours below (an actor made on another's
  // strand), the strand's step is queued there directly, in a block of the
  // block pool; through the erased executor it would first be wrapped in a
  // block of the thread's own cache, which a thread that only hands work on
  // (an encoder's worker, a capture thread) never gets back.
  template <class Function>
  void execute(Function&& function) const;

  // The strand wraps each step it queues in a block from here.
  static constexpr BlockAllocator<void> query(asio::execution::allocator_t<void>) noexcept { return {}; }

  friend bool operator==(const KnownBlockingExecutor& a, const KnownBlockingExecutor& b) noexcept {
    return a.executor_ == b.executor_ && a.neverBlocks_ == b.neverBlocks_ && a.continuation_ == b.continuation_;
  }

  asio::execution_context& query(asio::execution::context_t) const noexcept {
    return asio::query(executor_, asio::execution::context);
  }
  asio::execution::blocking_t query(asio::execution::blocking_t) const noexcept {
    if (neverBlocks_) return asio::execution::blocking.never;
    return asio::execution::blocking.possibly;
  }

  KnownBlockingExecutor require(asio::execution::blocking_t::never_t never) const {
    return KnownBlockingExecutor(asio::require(executor_, never), true, continuation_, pool_);
  }
  KnownBlockingExecutor require(asio::execution::blocking_t::possibly_t possibly) const {
    return KnownBlockingExecutor(asio::prefer(executor_, possibly), false, continuation_, pool_);
  }
  KnownBlockingExecutor require(asio::execution::relationship_t::continuation_t continuation) const {
    return KnownBlockingExecutor(asio::prefer(executor_, continuation), neverBlocks_, true, pool_);
  }
  KnownBlockingExecutor require(asio::execution::relationship_t::fork_t fork) const {
    return KnownBlockingExecutor(asio::prefer(executor_, fork), neverBlocks_, false, pool_);
  }
  template <class Property>
    requires std::same_as<Property, asio::execution::outstanding_work_t::tracked_t> ||
             std::same_as<Property, asio::execution::outstanding_work_t::untracked_t>
  KnownBlockingExecutor require(Property property) const {
    return KnownBlockingExecutor(asio::prefer(executor_, property), neverBlocks_, continuation_, pool_);
  }

 private:
  using PoolExecutor = asio::thread_pool::executor_type;
  using TrackedPoolExecutor =
      decltype(asio::prefer(std::declval<PoolExecutor>(), asio::execution::outstanding_work.tracked));

  KnownBlockingExecutor(Executor executor, bool neverBlocks, bool continuation, asio::thread_pool* pool)
      : executor_(std::move(executor)), neverBlocks_(neverBlocks), continuation_(continuation), pool_(pool) {}

  // The pool behind a plain pool executor; none for anything that runs work
  // its own way (another strand over a pool included).
  // (asio's target() casts without looking: the type is checked first.)
  static asio::thread_pool* poolOf(const Executor& executor) {
    if (executor.target_type() == typeid(PoolExecutor)) return &executor.target<PoolExecutor>()->context();
    if (executor.target_type() == typeid(TrackedPoolExecutor)) {
      return &executor.target<TrackedPoolExecutor>()->context();
    }
    return nullptr;
  }

  // A continuation of the running step stays on the thread that runs it.
  template <class Pool, class Function>
  void queueOn(const Pool& pool, Function&& function) const {
    if (continuation_) {
      return asio::execution::execute(asio::require(pool, asio::execution::relationship.continuation),
                                      std::forward<Function>(function));
    }
    asio::execution::execute(pool, std::forward<Function>(function));
  }

  Executor executor_;
  bool neverBlocks_;
  // Queued as the continuation of the step running now.
  bool continuation_;
  // Set when the erased executor is a pool's own.
  asio::thread_pool* pool_;
};

}  // namespace detail

class StrandExecutor {
 public:
  // A new strand over `inner`. Only an Executor converts: a constructor
  // taking any executor would make the check that this type is one
  // depend on itself.
  template <std::same_as<Executor> Inner>
  explicit StrandExecutor(Inner inner) : state_(new State(std::move(inner))), flags_(0) {}

  StrandExecutor(const StrandExecutor& other) noexcept : StrandExecutor(other.state_, other.flags_) {}
  StrandExecutor(StrandExecutor&& other) noexcept
      : state_(std::exchange(other.state_, nullptr)), flags_(other.flags_) {}
  StrandExecutor& operator=(StrandExecutor other) noexcept {
    std::swap(state_, other.state_);
    std::swap(flags_, other.flags_);
    return *this;
  }
  ~StrandExecutor() { release(); }

  // True inside work this strand (or one sharing its queue) is running.
  bool running_in_this_thread() const noexcept { return state_->strand.running_in_this_thread(); }
  Executor get_inner_executor() const noexcept { return state_->strand.get_inner_executor().erased(); }

  template <class Function>
  void execute(Function&& function) const {
    auto strand = has(kNeverBlocks) ? asio::require(state_->strand, asio::execution::blocking.never)
                                    : asio::prefer(state_->strand, asio::execution::blocking.possibly);
    if (has(kContinuation)) {
      asio::prefer(strand, asio::execution::relationship.continuation).execute(std::forward<Function>(function));
    } else {
      asio::prefer(strand, asio::execution::relationship.fork).execute(std::forward<Function>(function));
    }
  }

  friend bool operator==(const StrandExecutor& a, const StrandExecutor& b) noexcept {
    return a.state_ == b.state_ && a.flags_ == b.flags_;
  }

  asio::execution_context& query(asio::execution::context_t) const noexcept {
    return asio::query(state_->strand, asio::execution::context);
  }
  static constexpr std::allocator<void> query(asio::execution::allocator_t<void>) noexcept { return {}; }
  asio::execution::blocking_t query(asio::execution::blocking_t) const noexcept {
    if (has(kNeverBlocks)) return asio::execution::blocking.never;
    return asio::execution::blocking.possibly;
  }
  asio::execution::relationship_t query(asio::execution::relationship_t) const noexcept {
    if (has(kContinuation)) return asio::execution::relationship.continuation;
    return asio::execution::relationship.fork;
  }
  asio::execution::outstanding_work_t query(asio::execution::outstanding_work_t) const noexcept {
    if (has(kTracked)) return asio::execution::outstanding_work.tracked;
    return asio::execution::outstanding_work.untracked;
  }

  StrandExecutor require(asio::execution::blocking_t::never_t) const { return with(kNeverBlocks, true); }
  StrandExecutor require(asio::execution::blocking_t::possibly_t) const { return with(kNeverBlocks, false); }
  StrandExecutor require(asio::execution::relationship_t::continuation_t) const { return with(kContinuation, true); }
  StrandExecutor require(asio::execution::relationship_t::fork_t) const { return with(kContinuation, false); }
  StrandExecutor require(asio::execution::outstanding_work_t::tracked_t) const { return with(kTracked, true); }
  StrandExecutor require(asio::execution::outstanding_work_t::untracked_t) const { return with(kTracked, false); }

 private:
  enum Flag : std::uint8_t { kNeverBlocks = 1, kContinuation = 2, kTracked = 4 };

  struct State {
    explicit State(Executor inner) : strand(detail::KnownBlockingExecutor::asking(std::move(inner))) {}

    // Tracked handles hold one tracked copy of the inner executor between
    // them, so that the inner context counts them as outstanding work.
    void startWork() {
      std::lock_guard lock(workMutex);
      if (trackedHandles++ == 0) {
        work.emplace(asio::prefer(strand.get_inner_executor().erased(), asio::execution::outstanding_work.tracked));
      }
    }
    void finishWork() {
      std::lock_guard lock(workMutex);
      if (--trackedHandles == 0) work.reset();
    }

    std::atomic<std::size_t> references{1};
    asio::strand<detail::KnownBlockingExecutor> strand;
    std::mutex workMutex;
    std::size_t trackedHandles = 0;  // under workMutex
    std::optional<Executor> work;    // under workMutex
  };

  StrandExecutor(State* state, std::uint8_t flags) noexcept : state_(state), flags_(flags) {
    state_->references.fetch_add(1, std::memory_order_relaxed);
    if (has(kTracked)) state_->startWork();
  }

  bool has(Flag flag) const noexcept { return (flags_ & flag) != 0; }

  StrandExecutor with(Flag flag, bool on) const {
    return StrandExecutor(state_, static_cast<std::uint8_t>(on ? flags_ | flag : flags_ & ~flag));
  }

  void release() noexcept {
    if (!state_) return;
    if (has(kTracked)) state_->finishWork();
    if (state_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete state_;
  }

  State* state_;
  std::uint8_t flags_;
};

template <class Function>
void detail::KnownBlockingExecutor::execute(Function&& function) const {
  if (pool_) {
    const auto pool = asio::require(pool_->get_executor(), asio::execution::allocator(BlockAllocator<void>()));
    if (neverBlocks_) return queueOn(asio::require(pool, asio::execution::blocking.never), std::forward<Function>(function));
    return queueOn(pool, std::forward<Function>(function));
  }
  // The erased strand carries the properties asked of this executor.
  if (executor_.target_type() == typeid(StrandExecutor)) {
    return executor_.target<StrandExecutor>()->execute(std::forward<Function>(function));
  }
  executor_.execute(std::forward<Function>(function));
}

}  // namespace platform
