#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {
namespace {

// An object of the usual size, whose entries tell it from one of another seed.
AMFObject filled(int seed) {
  AMFObject object;
  for (int index = 0; index < 12; ++index) object.set("key" + std::to_string(index), seed + index);
  object.set("text", std::string(40, static_cast<char>('a' + seed % 26)));
  return object;
}

void expectHolds(const AMFObject& object, int seed) {
  ASSERT_EQ(object.size(), 13u) << seed;
  for (int index = 0; index < 12; ++index) {
    EXPECT_EQ(*object.find("key" + std::to_string(index)), AMFValue(seed + index)) << seed;
  }
  EXPECT_EQ(*object.find("text"), AMFValue(std::string(40, static_cast<char>('a' + seed % 26)))) << seed;
}

// The room of released objects is handed to the next ones a thread makes.
// Objects made on one thread and released on another, and one released after
// its thread let go of the room it kept, each keep their own entries and free
// their room once; the sanitizer builds check the freeing.
TEST(AMFObjectRoomTests, RoomPassesSafelyBetweenObjectsAndThreads) {
  std::vector<AMFObject> made;
  std::thread maker([&] {
    for (int seed = 0; seed < 20; ++seed) made.push_back(filled(seed));
  });
  maker.join();

  std::thread releaser([&] {
    made.erase(made.begin(), made.begin() + 10);
    std::vector<AMFObject> again;
    for (int seed = 100; seed < 110; ++seed) again.push_back(filled(seed));
    for (int index = 0; index < 10; ++index) expectHolds(again[static_cast<std::size_t>(index)], 100 + index);
    for (int index = 0; index < 10; ++index) expectHolds(made[static_cast<std::size_t>(index)], 10 + index);
  });
  releaser.join();
  for (int index = 0; index < 10; ++index) expectHolds(made[static_cast<std::size_t>(index)], 10 + index);
  made.clear();

  std::thread ending([] {
    // Made before the thread keeps any room, so it ends after that room is
    // let go.
    thread_local const AMFObject outlivesTheRoom = filled(7);
    expectHolds(filled(8), 8);
    expectHolds(outlivesTheRoom, 7);
  });
  ending.join();
}

}  // namespace
}  // namespace rtmpfluvio
