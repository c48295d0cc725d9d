#pragma once

// A bounded, awaitable queue from any number of producers to its consumers.
// Contract:
// - send(value, delivery) waits while the channel is full (backpressure);
//   trySend(value, delivery) never waits, for producers that must not (platform
//   callbacks), and takes the value only when it reports it taken;
// - the producer chooses per element what may be dropped. When the channel is
//   full, the oldest buffered `droppable` element makes room for the new one
//   (droppedOlder); with none buffered, a `droppable` newcomer is dropped
//   (dropped) and a `reliable` one waits (send) or is refused (trySend: full).
//   A video queue sends inter frames as droppable and key frames as reliable,
//   so inter frames go before any key frame does;
// - receive() gives the elements in order, then nullopt once finished, or
//   throws the error the channel was finished with;
// - finish() / finish(error): the buffered elements are still received;
//   waiting and later sends report `finished` and take nothing;
// - cancelling a waiting send or receive ends it with operation_aborted
//   (isCancellation): the send's element is not queued, and an element on its
//   way to a cancelled receive stays first in the channel.

#include <asio/async_result.hpp>
#include <asio/use_awaitable.hpp>
#include <algorithm>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"
#include "Platform/Concurrency/WaitingConsumers.hpp"

namespace platform {

struct ChannelTypes {
  enum class Delivery { reliable, droppable };
  enum class SendResult { enqueued, droppedOlder, dropped, full, finished };
};

namespace detail {

template <class T>
class ChannelState : public ChannelTypes, public std::enable_shared_from_this<ChannelState<T>> {
 public:
  explicit ChannelState(std::size_t capacity) : capacity_(capacity) {
    if (capacity == 0) throw std::invalid_argument("a channel holds at least one element");
  }

  SendResult trySend(T& value, Delivery delivery) {
    std::unique_lock lock(mutex_);
    return offer(lock, value, delivery);
  }

  Async<SendResult> send(T value, Delivery delivery) {
    return asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, SendResult)>(
        [self = this->shared_from_this(), delivery](auto handler, T value) {
          std::unique_lock lock(self->mutex_);
          auto result = self->offer(lock, value, delivery);
          if (result == SendResult::full) {
            self->parkSender(std::move(handler), std::move(value), delivery);
            return;
          }
          if (lock.owns_lock()) lock.unlock();
          PendingResume<SendResult>(std::move(handler))(nullptr, result);
        },
        asio::use_awaitable, std::move(value));
  }

  Async<std::optional<T>> receive() { return Consumers::next(this->shared_from_this()); }

  void finish(std::exception_ptr error) {
    std::deque<typename Consumers::Handle> consumers;
    std::deque<std::shared_ptr<Sender>> senders;
    {
      std::lock_guard lock(mutex_);
      if (finished_) return;
      finished_ = true;
      error_ = error;
      consumers = consumers_.takeAll();
      senders.swap(senders_);
    }
    for (auto& consumer : consumers) Consumers::hand(this->shared_from_this(), std::move(consumer), std::nullopt, error);
    for (auto& sender : senders) std::move(*sender->resume)(nullptr, SendResult::finished);
  }

  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return buffer_.size();
  }

 private:
  using Consumers = WaitingConsumers<T, ChannelState>;
  friend Consumers;

  // An element leaving makes room for the first waiting sender's.
  std::optional<std::pair<std::exception_ptr, std::optional<T>>> takeNextLocked() {
    if (buffer_.empty()) {
      if (!finished_) return std::nullopt;
      return std::pair<std::exception_ptr, std::optional<T>>(error_, std::nullopt);
    }
    std::optional<T> element(std::move(buffer_.front().value));
    buffer_.pop_front();
    if (!senders_.empty()) {
      auto sender = std::move(senders_.front());
      senders_.pop_front();
      buffer_.push_back({std::move(sender->value), sender->delivery});
      std::move(*sender->resume)(nullptr, SendResult::enqueued);
    }
    return std::pair<std::exception_ptr, std::optional<T>>(nullptr, std::move(element));
  }

  struct Item {
    T value;
    Delivery delivery;
  };

  struct Sender {
    T value;
    Delivery delivery;
    std::optional<PendingResume<SendResult>> resume;
  };

  // Under `lock`, which is released when a waiting consumer takes the value.
  SendResult offer(std::unique_lock<std::mutex>& lock, T& value, Delivery delivery) {
    if (finished_) return SendResult::finished;
    if (!consumers_.empty()) {
      auto waiter = consumers_.takeFirst();
      lock.unlock();
      Consumers::hand(this->shared_from_this(), std::move(waiter), std::move(value));
      return SendResult::enqueued;
    }
    if (buffer_.size() < capacity_) {
      buffer_.push_back({std::move(value), delivery});
      return SendResult::enqueued;
    }
    auto droppable = std::find_if(buffer_.begin(), buffer_.end(),
                                  [](const Item& item) { return item.delivery == Delivery::droppable; });
    if (droppable != buffer_.end()) {
      buffer_.erase(droppable);
      buffer_.push_back({std::move(value), delivery});
      return SendResult::droppedOlder;
    }
    return delivery == Delivery::droppable ? SendResult::dropped : SendResult::full;
  }

  template <class Handler>
  void parkSender(Handler&& handler, T value, Delivery delivery) {
    auto sender = std::make_shared<Sender>(Sender{std::move(value), delivery, std::nullopt});
    std::weak_ptr<ChannelState> weak = this->shared_from_this();
    sender->resume.emplace(std::forward<Handler>(handler), [weak, sender] {
      if (auto self = weak.lock()) self->withdrawSender(sender);
    });
    senders_.push_back(std::move(sender));
  }

  void withdrawSender(const std::shared_ptr<Sender>& sender) {
    std::unique_lock lock(mutex_);
    auto parked = std::find(senders_.begin(), senders_.end(), sender);
    if (parked == senders_.end()) return;  // admitted or finished already
    senders_.erase(parked);
    lock.unlock();
    std::move(*sender->resume)(cancellationError(), SendResult::full);
  }

  void giveBack(T element) { buffer_.push_front({std::move(element), Delivery::reliable}); }

  mutable std::mutex mutex_;
  const std::size_t capacity_;
  bool finished_ = false;
  std::exception_ptr error_;
  std::deque<Item> buffer_;
  std::deque<std::shared_ptr<Sender>> senders_;
  Consumers consumers_;
};

}  // namespace detail

// Copies share one channel.
template <class T>
class Channel : public ChannelTypes {
 public:
  explicit Channel(std::size_t capacity) : state_(std::make_shared<detail::ChannelState<T>>(capacity)) {}

  // Waits for room when full (see the drop rules above); never `full`.
  Async<SendResult> send(T value, Delivery delivery = Delivery::reliable) const {
    return state_->send(std::move(value), delivery);
  }
  // Never waits; `value` is moved from only when the result is enqueued or droppedOlder.
  SendResult trySend(T&& value, Delivery delivery = Delivery::reliable) const {
    return state_->trySend(value, delivery);
  }
  // The next element; nullopt once finished and drained.
  Async<std::optional<T>> receive() const { return state_->receive(); }

  void finish() const { state_->finish(nullptr); }
  void finish(std::exception_ptr error) const { state_->finish(std::move(error)); }

  // Elements buffered now.
  std::size_t count() const { return state_->count(); }

 private:
  std::shared_ptr<detail::ChannelState<T>> state_;
};

}  // namespace platform
