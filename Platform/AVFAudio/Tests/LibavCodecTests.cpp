#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "Platform/AVFAudio/LibavCodec.hpp"
#include "Platform/AVFAudio/Tests/AVAudioConverterTestSignals.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {
namespace {

using namespace converter_testing;

bool codecLibraryMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("/libavcodec.so") != std::string::npos) return true;
  }
  return false;
}

// Run by the test below in a process of its own, where no earlier test has
// opened the codec library.
TEST(LibavCodecTests, DISABLED_EncodeThenDecodeInThisProcess) {
  ASSERT_FALSE(codecLibraryMapped());
  const auto encoder =
      AVAudioConverter::make(AVAudioFormat::makeStandard(48000, 2), aacFormat(48000, 2), std::int64_t{128000});
  ASSERT_TRUE(encoder);
  const auto packets = encodeTone(*encoder, 20, 1024, 1000, 0.5f).packets;
  EXPECT_EQ(packets.size(), 21u);
  EXPECT_FALSE(codecLibraryMapped());

  const auto decoder = AVAudioConverter::make(encoder->outputFormat(), AVAudioFormat::makeStandard(48000, 2));
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decodePackets(*decoder, packets)[0].size(), 21u * 1024);
  EXPECT_TRUE(codecLibraryMapped());
}

TEST(LibavCodecTests, AnAACEncodeLeavesTheCodecLibraryUnmappedAndADecodeMapsIt) {
  const pid_t child = fork();
  if (child == 0) {
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
    execl("/proc/self/exe", "platform_avfaudio_tests", "--gtest_also_run_disabled_tests",
          "--gtest_filter=LibavCodecTests.DISABLED_EncodeThenDecodeInThisProcess", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LibavCodecTests, AMissingLibraryIsReportedAsNothingAndThePresentOneResolvesEveryFunction) {
  EXPECT_FALSE(LibavCodec::open("libavcodec.so.0-absent"));
  // A library without the functions is refused too, not half resolved.
  EXPECT_FALSE(LibavCodec::open("libavutil.so.57"));

  const auto library = LibavCodec::open(libavcodecName);
  ASSERT_TRUE(library);
#define EXPECT_RESOLVED(name) EXPECT_NE(library->name, nullptr) << #name;
  PLATFORM_LIBAVCODEC_FUNCTIONS(EXPECT_RESOLVED)
#undef EXPECT_RESOLVED
  EXPECT_NE(library->avcodec_find_decoder_by_name("aac"), nullptr);
  EXPECT_EQ(libavcodec(), libavcodec());
}

}  // namespace
}  // namespace platform
