#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Platform/CoreMedia/SharedObjectRecycler.hpp"

using namespace platform;

namespace {

struct Counted {
  static inline std::atomic<int> alive = 0;
  static inline int released = 0;
  std::atomic<bool> held{false};
  int value = 0;

  Counted() { ++alive; }
  ~Counted() { --alive; }
  static void release(Counted& object) noexcept {
    ++released;
    object.value = 0;
  }
};

struct RecyclerTest : ::testing::Test {
  void SetUp() override { Counted::released = 0; }
  void TearDown() override { EXPECT_EQ(Counted::alive, 0) << "every object is freed in the end"; }

  int made = 0;
  std::shared_ptr<Counted> take(SharedObjectRecycler<Counted>& recycler) {
    return recycler.take([this] {
      ++made;
      return std::make_unique<Counted>();
    });
  }
};

}  // namespace

TEST_F(RecyclerTest, HandsAnObjectOutAgainOnlyOnceItsLastHandleIsGone) {
  SharedObjectRecycler<Counted> recycler(&Counted::release);
  auto first = take(recycler);
  first->value = 7;
  auto copy = first;
  const Counted* const address = first.get();
  first.reset();
  EXPECT_EQ(Counted::released, 0) << "a copy still holds it";
  auto second = take(recycler);
  EXPECT_NE(second.get(), address);
  EXPECT_EQ(made, 2);

  const std::weak_ptr<Counted> watcher = copy;
  copy.reset();
  EXPECT_EQ(Counted::released, 1);
  EXPECT_TRUE(watcher.expired()) << "a weak handle never reaches a reused object";
  auto again = take(recycler);
  EXPECT_EQ(again.get(), address);
  EXPECT_EQ(again->value, 0) << "emptied on its way back";
  EXPECT_EQ(made, 2);
  EXPECT_EQ(Counted::alive, 2);
}

TEST_F(RecyclerTest, HandlesOutliveTheRecycler) {
  auto recycler = std::make_unique<SharedObjectRecycler<Counted>>();
  auto kept = take(*recycler);
  take(*recycler);  // let go of at once: kept by the recycler
  EXPECT_EQ(Counted::alive, 2);
  recycler.reset();
  EXPECT_EQ(Counted::alive, 1) << "what it kept goes with it";
  kept->value = 1;
  kept.reset();
  EXPECT_EQ(Counted::alive, 0) << "a handle let go of later frees its object";
}

TEST_F(RecyclerTest, NoObjectHasTwoHoldersAcrossThreads) {
  SharedObjectRecycler<Counted> recycler;
  std::atomic<int> shared{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&] {
      for (int round = 0; round < 2000; ++round) {
        auto object = recycler.take([] { return std::make_unique<Counted>(); });
        ASSERT_NE(object, nullptr);
        if (object->held.exchange(true)) ++shared;
        object->value = round;
        object->held = false;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared, 0);
  EXPECT_LE(Counted::alive, 4) << "no more objects than ever held at once";
}
