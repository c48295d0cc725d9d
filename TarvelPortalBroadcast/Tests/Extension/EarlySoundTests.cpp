#include <gtest/gtest.h>

#include <vector>

#include "TarvelPortalBroadcast/Sources/EarlySound.hpp"

namespace tarvelportalbroadcast {
namespace {

using Outcome = EarlySound<int>::Outcome;

TEST(EarlySound, KeepsUpToItsLimitInOrderAndReportsOnlyTheFirstDrop) {
  for (const std::size_t limit : {1u, 3u}) {
    EarlySound<int> sound(limit);
    for (std::size_t index = 0; index < limit; ++index) {
      EXPECT_EQ(sound.hold(static_cast<int>(index)), Outcome::kept) << limit;
    }
    EXPECT_EQ(sound.hold(100), Outcome::firstDropped) << limit;
    EXPECT_EQ(sound.hold(101), Outcome::dropped) << limit;
    EXPECT_EQ(sound.hold(102), Outcome::dropped) << limit;
    std::vector<int> expected;
    for (std::size_t index = 0; index < limit; ++index) expected.push_back(static_cast<int>(index));
    EXPECT_EQ(sound.release(), expected);
    EXPECT_TRUE(sound.release().empty()) << "released once";
  }
}

TEST(EarlySound, APictureBeforeTheLimitLosesNothingAndWarnsOfNothing) {
  EarlySound<int> sound(4);
  EXPECT_EQ(sound.hold(1), Outcome::kept);
  EXPECT_EQ(sound.hold(2), Outcome::kept);
  EXPECT_EQ(sound.release(), (std::vector<int>{1, 2}));
  // Room again after the release: the bound is on what waits, not on the total.
  for (int index = 0; index < 4; ++index) EXPECT_EQ(sound.hold(index), Outcome::kept);
  EXPECT_EQ(sound.hold(4), Outcome::firstDropped);
}

}  // namespace
}  // namespace tarvelportalbroadcast
