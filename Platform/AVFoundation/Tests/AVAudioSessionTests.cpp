#include <gtest/gtest.h>

#include "Platform/AVFoundation/AVAudioSession.hpp"

namespace platform {
namespace {

TEST(AVAudioSessionTests, RouteIsTheSpeakerUntilStatedAndNeverAbsent) {
  AVAudioSession& session = AVAudioSession::sharedInstance();
  ASSERT_EQ(session.currentRoute()->outputs().size(), 1u);
  EXPECT_EQ(session.currentRoute()->outputs()[0]->portType(), AVAudioSession::Port::builtInSpeaker);

  session.setCurrentRoute(AVAudioSessionRouteDescription::make(
      {AVAudioSessionPortDescription::make(AVAudioSession::Port::headphones), nullptr}));
  ASSERT_EQ(session.currentRoute()->outputs().size(), 1u);
  EXPECT_EQ(session.currentRoute()->outputs()[0]->portType(), AVAudioSession::Port::headphones);

  session.setCurrentRoute(nullptr);
  ASSERT_TRUE(session.currentRoute());
  EXPECT_TRUE(session.currentRoute()->outputs().empty());
}

}  // namespace
}  // namespace platform
