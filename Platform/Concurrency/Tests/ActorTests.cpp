#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/PendingReplies.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::Signal;
using platform::testing::WatchedCount;

namespace {

// The shape the RTMP connection has: a request parks a waiter in a table
// keyed by transaction id; the reply arrives through another call into the
// same actor, which must be able to run while the request is suspended.
class Transactions : public Actor {
 public:
  using Actor::Actor;
  Async<std::string> request(int id, std::chrono::milliseconds timeout) {
    return isolated([this, id, timeout] { return requestBody(id, timeout); });
  }
  Async<bool> reply(int id, std::string value) {
    return isolated([this, id, value = std::move(value)]() mutable { return replyBody(id, std::move(value)); });
  }
  Async<std::vector<int>> record(int value) {
    return isolated([this, value] { return recordBody(value); });
  }

  // Not isolated: touched only from bodies above, so a data race here would
  // show under ThreadSanitizer.
  std::vector<int> recorded;
  WatchedCount recordCount;  // the size of `recorded`, for a test to wait on
  bool onStrandEverywhere = true;
  PendingReplies<int, std::string> pending;

 private:
  Async<std::string> requestBody(int id, std::chrono::milliseconds timeout) {
    onStrandEverywhere &= strand().running_in_this_thread();
    auto waiter = pending.add(id, timeout);
    auto value = co_await std::move(waiter).value();
    onStrandEverywhere &= strand().running_in_this_thread();
    co_return value;
  }

  Async<bool> replyBody(int id, std::string value) {
    onStrandEverywhere &= strand().running_in_this_thread();
    co_return pending.resolve(id, std::move(value));
  }

  Async<std::vector<int>> recordBody(int value) {
    recorded.push_back(value);
    recordCount.add();
    co_return recorded;
  }
};

}  // namespace

TEST(Actor, ReplyThroughTheSameActorResumesAParkedRequest) {
  auto actor = Actor::make<Transactions>();
  auto answer = blockOn([actor]() -> Async<std::string> {
    auto result = std::make_shared<std::string>();
    std::atomic<bool> done = false;
    spawn(globalExecutor(), [actor, result, &done]() -> Async<void> {
      *result = co_await actor->request(1, 2s);
      done = true;
    });
    // Keep replying until the request has parked its waiter.
    while (!co_await actor->reply(1, "ok")) co_await sleepFor(1ms);
    while (!done) co_await sleepFor(1ms);
    co_return *result;
  });
  EXPECT_EQ(answer, "ok");
  EXPECT_TRUE(actor->onStrandEverywhere);
}

TEST(Actor, TimedOutRequestsLeaveNoEntryAndALateReplyFindsNothing) {
  auto actor = Actor::make<Transactions>();
  for (int id = 0; id < 50; ++id) EXPECT_THROW(blockOn(actor->request(id, 1ms)), ContinuationError);
  EXPECT_EQ(actor->pending.count(), 0u);
  EXPECT_FALSE(blockOn(actor->reply(2, "late")));
}

TEST(Actor, WorkSpawnedOntoTheActorFromOneTaskRunsInOrder) {
  auto actor = Actor::make<Transactions>();
  constexpr int count = 2000;
  blockOn([actor]() -> Async<void> {
    for (int i = 0; i < count; ++i) {
      spawn(actor->strand(), [actor, i]() -> Async<void> { co_await actor->record(i); });
    }
    co_return;
  });
  ASSERT_TRUE(actor->recordCount.reaches(count));
  auto recorded = blockOn(actor->record(count));
  ASSERT_EQ(recorded.size(), static_cast<size_t>(count + 1));
  for (int i = 0; i <= count; ++i) ASSERT_EQ(recorded[i], i);
}

TEST(Actor, ConcurrentCallersAreSerialised) {
  auto actor = Actor::make<Transactions>();
  std::vector<std::thread> callers;
  for (int t = 0; t < 8; ++t) {
    callers.emplace_back([actor, t] {
      for (int i = 0; i < 200; ++i) blockOn(actor->record(t * 1000 + i));
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(blockOn(actor->record(0)).size(), 8u * 200u + 1u);
}

TEST(Actor, ACallFromTheActorsOwnWorkRunsAheadOfWorkQueuedThere) {
  auto actor = Actor::make<Transactions>();
  std::promise<std::vector<int>> seen;
  auto recorded = seen.get_future();
  spawn(actor->strand(), [actor, &seen]() -> Async<void> {
    asio::post(actor->strand(), [actor] { actor->recorded.push_back(-1); });
    seen.set_value(co_await actor->record(1));
  });
  EXPECT_EQ(recorded.get(), std::vector<int>{1});
  EXPECT_EQ(blockOn(actor->record(2)), (std::vector<int>{1, -1, 2}));
}

namespace {

// A result with no default: the actor and blockOn must still carry it.
struct Ticket {
  explicit Ticket(int n) : number(n) {}
  int number;
};

class Issuer : public Actor {
 public:
  using Actor::Actor;
  Async<Ticket> issue() {
    return isolated([this] { return issueBody(); });
  }
  Async<Ticket> refuse() {
    return isolated([this] { return refuseBody(); });
  }
  // A capturing lambda passed uncalled: its captures live as long as the body.
  Async<std::string> greet(std::string name) {
    return isolated([this, name]() -> Async<std::string> { co_return prefix_ + name; });
  }

 private:
  Async<Ticket> issueBody() { co_return Ticket(++issued_); }
  Async<Ticket> refuseBody() {
    throw std::runtime_error("closed");
    co_return Ticket(0);
  }
  int issued_ = 0;
  std::string prefix_ = "hello ";
};

}  // namespace

TEST(Actor, CarriesResultsWithoutADefaultValueAndBodiesGivenAsLambdas) {
  auto issuer = Actor::make<Issuer>();
  EXPECT_EQ(blockOn(issuer->issue()).number, 1);
  EXPECT_EQ(blockOn([issuer]() -> Async<Ticket> { co_return co_await issuer->issue(); }).number, 2);
  EXPECT_THROW(blockOn(issuer->refuse()), std::runtime_error);
  for (std::string name : {"a name long enough to live on the heap", "b"}) {
    EXPECT_EQ(blockOn(issuer->greet(name)), "hello " + name);
  }
}

namespace {

// Starts its own loop that waits for a reply: the loop, not the app, keeps it alive.
class Pinger : public Actor {
 public:
  Pinger(Key key, Signal& destroyed) : Actor(key), destroyed_(destroyed) {}
  ~Pinger() override { destroyed_.raise(); }

  void start() {
    spawn(strand(), [this]() -> Async<void> { co_await ping(); });
  }
  Async<bool> answer() {
    return isolated([this] { return answerBody(); });
  }

  PendingReplies<int, int> pending;
  Signal waiting;  // raised once its loop waits for the reply

 private:
  Async<void> ping() {
    return isolated([this] { return pingBody(); });
  }
  Async<void> pingBody() {
    auto waiter = pending.add(1, 10s);
    waiting.raise();
    co_await std::move(waiter).value();
    ++answered_;  // touches the actor after its owner let go
  }
  Async<bool> answerBody() { co_return pending.resolve(1, 7); }

  Signal& destroyed_;
  int answered_ = 0;
};

}  // namespace

TEST(Actor, WorkRunningOnAnActorKeepsItAliveUntilTheWorkEnds) {
  Signal destroyed;
  auto pinger = Actor::make<Pinger>(destroyed);
  std::weak_ptr<Pinger> weak = pinger;
  pinger->start();
  ASSERT_TRUE(pinger->waiting.wait());
  ASSERT_EQ(pinger->pending.count(), 1u);
  // Nothing else holds it: without its waiting loop's hold, this reset would
  // destroy it here and now, so the check needs no window.
  pinger.reset();
  ASSERT_FALSE(destroyed.raised()) << "destroyed while its own loop still waited";
  ASSERT_TRUE(blockOn(weak.lock()->answer()));
  EXPECT_TRUE(destroyed.wait());
}

namespace {

// Notes the thread its destructor ran on.
class Probe : public Actor {
 public:
  Probe(Key key, std::atomic<std::thread::id>& destroyedOn) : Actor(key), destroyedOn_(destroyedOn) {}
  ~Probe() override { destroyedOn_ = std::this_thread::get_id(); }
  Async<int> answer() {
    return isolated([]() -> Async<int> { co_return 42; });
  }

 private:
  std::atomic<std::thread::id>& destroyedOn_;
};

}  // namespace

// A call lets its actor go before its caller resumes, so a caller holding
// the last reference is the one that destroys it: an actor whose destructor
// waits on other work must not end up destroyed on a pool thread.
TEST(Actor, ACallerLettingGoAfterACallDestroysTheActorOnItsOwnThread) {
  for (int round = 0; round < 200; ++round) {
    std::atomic<std::thread::id> destroyedOn;
    auto probe = Actor::make<Probe>(destroyedOn);
    ASSERT_EQ(blockOn(probe->answer()), 42);
    ASSERT_EQ(destroyedOn.load(), std::thread::id()) << "destroyed while its caller still held it";
    probe.reset();
    ASSERT_EQ(destroyedOn.load(), std::this_thread::get_id()) << "round " << round;
  }
}

namespace {

class Pump : public Actor {
 public:
  using Actor::Actor;
  Async<void> run() {
    return isolated([this] { return runBody(); });
  }
  std::atomic<int> cancelledOnStrand = 0;

 private:
  Async<void> runBody() {
    try {
      for (;;) co_await sleepFor(1us);  // a cancellation handler installed and cleared on every turn
    } catch (...) {
      if (isCancellation(std::current_exception()) && strand().running_in_this_thread()) ++cancelledOnStrand;
      throw;
    }
  }
};

}  // namespace

TEST(Actor, CancellingACallerReachesTheBodyOnTheActorsStrand) {
  constexpr int rounds = 100;
  WatchedCount ended;
  std::vector<std::shared_ptr<Pump>> pumps;
  for (int i = 0; i < rounds; ++i) {
    auto pump = Actor::make<Pump>();
    pumps.push_back(pump);
    auto task = spawn(globalExecutor(), [pump, &ended]() -> Async<void> {
      try {
        co_await pump->run();
      } catch (...) {
      }
      ended.add();
    });
    // Lands the cancel at varied points of the call: before it starts, while
    // it hops to the actor, and inside the loop. No outcome waits on this.
    for (int turn = 0; turn < 200 * (i % 5); ++turn) std::this_thread::yield();
    task.cancel();
  }
  ASSERT_TRUE(ended.reaches(rounds));
  for (auto& pump : pumps) EXPECT_EQ(pump->cancelledOnStrand, 1);
}

namespace {

// Moves money between two balances with no suspension in between, so no
// other call may ever see it half done.
class Account : public Actor, public std::enable_shared_from_this<Account> {
 public:
  using Actor::Actor;
  Async<void> transfer() {
    return isolated([this] { return transferBody(); });
  }
  Async<void> audit() {
    return isolated([this] { return auditBody(); });
  }
  std::atomic<bool> auditSawHalfDoneTransfer = false;
  WatchedCount audits;

 private:
  Async<void> transferBody() {
    balanceA_ -= 10;
    spawn(globalExecutor(), [self = shared_from_this()]() -> Async<void> {
      co_await self->audit();
    });
    balanceB_ += 10;
    co_return;
  }
  Async<void> auditBody() {
    if (balanceA_ + balanceB_ != 100) auditSawHalfDoneTransfer = true;
    audits.add();
    co_return;
  }
  int balanceA_ = 100, balanceB_ = 0;
};

}  // namespace

TEST(Spawn, TheBodyNeverRunsInsideTheSpawnersCall) {
  SerialQueue queue("spawner");
  std::promise<bool> ranInside;
  queue.async([&ranInside] {
    // Thread-local: a body running at the same time on another thread is fine.
    static thread_local bool insideSpawn = false;
    auto ranDuringSpawn = std::make_shared<std::atomic<bool>>(false);
    insideSpawn = true;
    spawn(globalExecutor(), [ranDuringSpawn]() -> Async<void> {
      if (insideSpawn) *ranDuringSpawn = true;
      co_return;
    });
    insideSpawn = false;
    ranInside.set_value(ranDuringSpawn->load());
  });
  EXPECT_FALSE(ranInside.get_future().get());

  auto account = Actor::make<Account>();
  for (int i = 0; i < 20; ++i) blockOn(account->transfer());
  ASSERT_TRUE(account->audits.reaches(20));
  EXPECT_FALSE(account->auditSawHalfDoneTransfer);
}

namespace {

class Log : public Actor {
 public:
  using Actor::Actor;
  std::vector<int> entries;  // touched only on the strand
  Async<std::vector<int>> read() { return isolated([this]() -> Async<std::vector<int>> { co_return entries; }); }
};

}  // namespace

TEST(Actor, EnqueuedWorkRunsInCallOrderAndItsErrorsAreReported) {
  WatchedCount reported;
  auto previous = setUnhandledErrorHandler([&](const std::string&, std::exception_ptr) { reported.add(); });
  auto log = Actor::make<Log>();
  constexpr int count = 1000;
  for (int i = 0; i < count; ++i) {
    if (i % 2 == 0) {
      log->enqueue([log, i] { log->entries.push_back(i); });
    } else {
      log->enqueue([log, i]() -> Async<void> {
        log->entries.push_back(i);  // before the first suspension: still in call order
        co_await sleepFor(1ms);
      });
    }
  }
  log->enqueue([] { throw std::runtime_error("bad work"); });
  log->enqueue([]() -> Async<void> {
    co_await sleepFor(1ms);
    throw std::runtime_error("bad coroutine work");
  });
  ASSERT_TRUE(reported.reaches(2));
  EXPECT_EQ(reported.load(), 2);
  auto entries = blockOn(log->read());
  ASSERT_EQ(entries.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) ASSERT_EQ(entries[i], i);
  setUnhandledErrorHandler(previous);
}
