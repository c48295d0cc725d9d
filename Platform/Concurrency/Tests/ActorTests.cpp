#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// The shape the RTMP connection has: a request parks a continuation in a table
// keyed by transaction id; the reply arrives through another call into the same
// actor, which must be able to run while the request is suspended.
class Transactions : public Actor {
 public:
  Async<std::string> request(int id, std::chrono::milliseconds timeout) { return isolated(requestBody(id, timeout)); }
  Async<bool> reply(int id, std::string value) { return isolated(replyBody(id, std::move(value))); }
  Async<std::vector<int>> record(int value) { return isolated(recordBody(value)); }
  Async<size_t> count() { return isolated(countBody()); }

  // Not isolated: touched only from bodies above, so a data race here would
  // show under ThreadSanitizer.
  std::vector<int> recorded;
  bool onStrandEverywhere = true;

 private:
  Async<std::string> requestBody(int id, std::chrono::milliseconds timeout) {
    onStrandEverywhere &= strand().running_in_this_thread();
    auto value = co_await withContinuation<std::string>([&](Continuation<std::string> c) { pending_.emplace(id, c); },
                                                        timeout);
    onStrandEverywhere &= strand().running_in_this_thread();
    pending_.erase(id);
    co_return value;
  }

  Async<bool> replyBody(int id, std::string value) {
    onStrandEverywhere &= strand().running_in_this_thread();
    auto found = pending_.find(id);
    if (found == pending_.end()) co_return false;
    auto continuation = found->second;
    pending_.erase(found);
    co_return continuation.resume(std::move(value));
  }

  Async<std::vector<int>> recordBody(int value) {
    recorded.push_back(value);
    co_return recorded;
  }

  Async<size_t> countBody() { co_return recorded.size(); }

  std::map<int, Continuation<std::string>> pending_;
};

}  // namespace

TEST(Actor, ReplyThroughTheSameActorResumesAParkedRequest) {
  auto actor = std::make_shared<Transactions>();
  auto answer = blockOn([actor]() -> Async<std::string> {
    auto result = std::make_shared<std::string>();
    std::atomic<bool> done = false;
    spawn(globalExecutor(), [actor, result, &done]() -> Async<void> {
      *result = co_await actor->request(1, 2s);
      done = true;
    });
    // Keep replying until the request has parked its continuation.
    while (!co_await actor->reply(1, "ok")) co_await sleepFor(1ms);
    while (!done) co_await sleepFor(1ms);
    co_return *result;
  });
  EXPECT_EQ(answer, "ok");
  EXPECT_TRUE(actor->onStrandEverywhere);
}

TEST(Actor, ReplyAfterTimeOutFindsNothingAndChangesNothing) {
  auto actor = std::make_shared<Transactions>();
  EXPECT_THROW(blockOn(actor->request(2, 20ms)), ContinuationError);
  EXPECT_FALSE(blockOn(actor->reply(2, "late")));
}

TEST(Actor, WorkSpawnedOntoTheActorFromOneTaskRunsInOrder) {
  auto actor = std::make_shared<Transactions>();
  constexpr int count = 2000;
  blockOn([actor]() -> Async<void> {
    for (int i = 0; i < count; ++i) {
      spawn(actor->strand(), [actor, i]() -> Async<void> { co_await actor->record(i); });
    }
    co_return;
  });
  for (int tries = 0; tries < 1000 && blockOn(actor->count()) < count; ++tries) std::this_thread::sleep_for(2ms);
  auto recorded = blockOn(actor->record(count));
  ASSERT_EQ(recorded.size(), static_cast<size_t>(count + 1));
  for (int i = 0; i <= count; ++i) ASSERT_EQ(recorded[i], i);
}

TEST(Actor, ConcurrentCallersAreSerialised) {
  auto actor = std::make_shared<Transactions>();
  std::vector<std::thread> callers;
  for (int t = 0; t < 8; ++t) {
    callers.emplace_back([actor, t] {
      for (int i = 0; i < 200; ++i) blockOn(actor->record(t * 1000 + i));
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(blockOn(actor->record(0)).size(), 8u * 200u + 1u);
}

namespace {

// A result with no default: the actor and blockOn must still carry it.
struct Ticket {
  explicit Ticket(int n) : number(n) {}
  int number;
};

class Issuer : public Actor {
 public:
  Async<Ticket> issue() { return isolated(issueBody()); }
  Async<Ticket> refuse() { return isolated(refuseBody()); }

 private:
  Async<Ticket> issueBody() { co_return Ticket(++issued_); }
  Async<Ticket> refuseBody() {
    throw std::runtime_error("closed");
    co_return Ticket(0);
  }
  int issued_ = 0;
};

}  // namespace

TEST(Actor, CarriesResultsWithoutADefaultValue) {
  auto issuer = std::make_shared<Issuer>();
  EXPECT_EQ(blockOn(issuer->issue()).number, 1);
  EXPECT_EQ(blockOn([issuer]() -> Async<Ticket> { co_return co_await issuer->issue(); }).number, 2);
  EXPECT_THROW(blockOn(issuer->refuse()), std::runtime_error);
}
