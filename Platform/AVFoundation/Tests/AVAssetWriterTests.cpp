#include <gtest/gtest.h>

#include <fstream>
#include <future>

#include "Platform/AVFoundation/AVAssetWriter.hpp"
#include "Platform/AVFoundation/Tests/support/WriterMedia.hpp"

namespace platform {
namespace {

using writertest::findStream;
using writertest::readMovie;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char pattern[] = "/tmp/avassetwriter-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TemporaryFolder() { std::filesystem::remove_all(path_); }
  URL url(const std::string& name) const { return URL::fileURL(path_ / name); }

 private:
  std::filesystem::path path_;
};

AVOutputSettings videoSettings(const AVVideoCodecType& codec, int width, int height) {
  return {{AVVideoCodecKey, codec},
          {AVVideoWidthKey, std::int64_t{width}},
          {AVVideoHeightKey, std::int64_t{height}},
          {AVVideoCompressionPropertiesKey, AVOutputSettings{{AVVideoAverageBitRateKey, std::int64_t{500'000}}}}};
}

AVOutputSettings audioSettings() {
  return {{AVFormatIDKey, std::int64_t{kAudioFormatMPEG4AAC}},
          {AVSampleRateKey, 48000.0},
          {AVNumberOfChannelsKey, std::int64_t{2}},
          {AVEncoderBitRateKey, std::int64_t{128'000}}};
}

std::shared_ptr<AVAssetWriterInput> addInput(AVAssetWriter& writer, AVMediaType type, AVOutputSettings settings) {
  auto input = AVAssetWriterInput::make(type, std::move(settings));
  input->setExpectsMediaDataInRealTime(true);
  writer.add(input);
  return input;
}

void finish(AVAssetWriter& writer) {
  std::promise<void> done;
  writer.finishWriting([&done] { done.set_value(); });
  done.get_future().wait();
}

// Audio and video of one second, interleaved as they would arrive.
void appendSecond(AVAssetWriterInput& video, AVAssetWriterInput& audio, const std::vector<CMSampleBuffer>& pictures,
                  const std::vector<CMSampleBuffer>& sound) {
  std::size_t next = 0;
  for (const auto& picture : pictures) {
    while (next < sound.size() && sound[next].presentationTimeStamp() <= picture.presentationTimeStamp()) {
      EXPECT_TRUE(audio.append(sound[next++]));
    }
    EXPECT_TRUE(video.append(picture));
  }
  while (next < sound.size()) EXPECT_TRUE(audio.append(sound[next++]));
}

std::vector<CMSampleBuffer> rawPictures(int width, int height, int count) {
  std::vector<CMSampleBuffer> pictures;
  for (int frame = 0; frame < count; ++frame) pictures.push_back(writertest::rawVideoSample(width, height, frame));
  return pictures;
}

std::vector<CMSampleBuffer> pcmRun(std::int64_t firstFrame, std::int64_t endFrame) {
  std::vector<CMSampleBuffer> run;
  for (std::int64_t frame = firstFrame; frame < endFrame; frame += 960) {
    run.push_back(writertest::pcmSample(
        48000, 2, static_cast<std::uint32_t>(std::min<std::int64_t>(960, endFrame - frame)), frame));
  }
  return run;
}

TEST(AVAssetWriter, EncodesRawPicturesAndPCMIntoAnMPEG4File) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("raw.mp4"), AVFileTypeMPEG4);
  const auto video = addInput(*writer, AVMediaTypeVideo, videoSettings(AVVideoCodecTypeH264, 320, 240));
  const auto audio = addInput(*writer, AVMediaTypeAudio, audioSettings());
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  EXPECT_TRUE(video->isReadyForMoreMediaData());
  appendSecond(*video, *audio, rawPictures(320, 240, 30), pcmRun(0, 48000));
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed) << (writer->error() ? writer->error()->what() : "");

  const auto streams = readMovie(folder.url("raw.mp4").path());
  const auto* h264 = findStream(streams, AVMEDIA_TYPE_VIDEO);
  const auto* aac = findStream(streams, AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(h264 && aac);
  EXPECT_EQ(h264->codec, AV_CODEC_ID_H264);
  EXPECT_EQ(h264->width, 320);
  EXPECT_EQ(h264->height, 240);
  EXPECT_EQ(h264->decodedFrames, 30);
  EXPECT_EQ(h264->decodeErrors, 0);
  EXPECT_NEAR(h264->endTime, 1.0, 0.001);
  EXPECT_EQ(aac->codec, AV_CODEC_ID_AAC);
  EXPECT_EQ(aac->sampleRate, 48000);
  EXPECT_EQ(aac->channels, 2);
  EXPECT_EQ(aac->decodeErrors, 0);
  // The encoder's priming is edited out: the audio starts at 0 and lasts the second.
  EXPECT_NEAR(aac->startTime, 0, 0.001);
  EXPECT_NEAR(aac->endTime, 1.0, 0.03);
}

TEST(AVAssetWriter, ScalesPicturesOfAnotherSizeToTheSettings) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("scaled.mov"), AVFileTypeQuickTimeMovie);
  const auto video = addInput(*writer, AVMediaTypeVideo, videoSettings(AVVideoCodecTypeHEVC, 160, 120));
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  for (const auto& picture : rawPictures(320, 240, 10)) EXPECT_TRUE(video->append(picture));
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed);
  const auto streams = readMovie(folder.url("scaled.mov").path());
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].codec, AV_CODEC_ID_HEVC);
  EXPECT_EQ(streams[0].width, 160);
  EXPECT_EQ(streams[0].height, 120);
  EXPECT_EQ(streams[0].decodedFrames, 10);
}

TEST(AVAssetWriter, WritesEncodedSamplesAsTheyAre) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("encoded.mov"), AVFileTypeQuickTimeMovie);
  const auto video = addInput(*writer, AVMediaTypeVideo, {});
  // Settings that name the sample's codec take it as it is too.
  const auto audio = addInput(*writer, AVMediaTypeAudio, audioSettings());
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  const auto pictures = writertest::encodedVideoSamples(kCMVideoCodecType_H264, 320, 240, 0, 30);
  appendSecond(*video, *audio, pictures, writertest::aacSamples(48000, 2, 47));
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed);

  const auto streams = readMovie(folder.url("encoded.mov").path());
  const auto* h264 = findStream(streams, AVMEDIA_TYPE_VIDEO);
  const auto* aac = findStream(streams, AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(h264 && aac);
  EXPECT_EQ(h264->packets, 30);
  EXPECT_EQ(h264->keyPackets, 2);
  EXPECT_EQ(h264->decodedFrames, 30);
  EXPECT_EQ(h264->decodeErrors, 0);
  EXPECT_EQ(aac->packets, 47);
  EXPECT_EQ(aac->decodeErrors, 0);
  EXPECT_NEAR(aac->endTime, 47 * 1024 / 48000.0, 0.001);
}

TEST(AVAssetWriter, LeavesOutWhatComesBeforeTheSessionAndStartsVideoAtAKeyFrame) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("late.mp4"), AVFileTypeMPEG4);
  const auto video = addInput(*writer, AVMediaTypeVideo, {});
  const auto audio = addInput(*writer, AVMediaTypeAudio, audioSettings());
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::make(5, 30));
  // Key frames at 0, 10 and 20: frames 5 to 9 cannot be decoded without 0.
  const auto pictures = writertest::encodedVideoSamples(kCMVideoCodecType_H264, 320, 240, 0, 30, 10);
  appendSecond(*video, *audio, pictures, pcmRun(0, 48000));
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed);

  const auto streams = readMovie(folder.url("late.mp4").path());
  const auto* h264 = findStream(streams, AVMEDIA_TYPE_VIDEO);
  const auto* aac = findStream(streams, AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(h264 && aac);
  EXPECT_EQ(h264->packets, 20);
  EXPECT_EQ(h264->decodeErrors, 0);
  EXPECT_NEAR(h264->startTime, 5 / 30.0, 0.001);
  // The audio is cut at the session's start, a sixth of a second in.
  EXPECT_NEAR(aac->startTime, 0, 0.001);
  EXPECT_NEAR(aac->endTime, 25 / 30.0, 0.03);
}

TEST(AVAssetWriter, RefusesSamplesItCannotWriteAndGoesOn) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("refusals.mp4"), AVFileTypeMPEG4);
  const auto video = addInput(*writer, AVMediaTypeVideo, videoSettings(AVVideoCodecTypeH264, 320, 240));
  const auto audio = addInput(*writer, AVMediaTypeAudio, {});
  const auto raw = writertest::rawVideoSample(320, 240, 0);
  EXPECT_FALSE(video->append(raw)) << "not writing yet";
  ASSERT_TRUE(writer->startWriting());
  EXPECT_FALSE(video->append(raw)) << "no session yet";
  writer->startSession(CMTime::zero);

  // HEVC into an input whose settings say H.264.
  const auto hevc = writertest::encodedVideoSamples(kCMVideoCodecType_HEVC, 320, 240, 0, 1);
  EXPECT_FALSE(video->append(hevc.at(0)));
  ASSERT_TRUE(writer->error());
  EXPECT_EQ(writer->error()->errorCase(), AVAssetWriterError::Case::mediaNotSupported);
  EXPECT_EQ(writer->status(), AVAssetWriterStatus::writing);

  // PCM into an input without settings: nothing to encode it with.
  EXPECT_FALSE(audio->append(writertest::pcmSample(48000, 2, 960, 0)));
  EXPECT_EQ(writer->error()->errorCase(), AVAssetWriterError::Case::mediaNotSupported);

  EXPECT_TRUE(video->append(writertest::rawVideoSample(320, 240, 1)));
  // A picture from before the last one written cannot follow it.
  EXPECT_FALSE(video->append(writertest::rawVideoSample(320, 240, 1)));
  EXPECT_EQ(writer->error()->errorCase(), AVAssetWriterError::Case::invalidSample);
  EXPECT_TRUE(video->append(writertest::rawVideoSample(320, 240, 2)));

  video->markAsFinished();
  EXPECT_FALSE(video->isReadyForMoreMediaData());
  EXPECT_FALSE(video->append(writertest::rawVideoSample(320, 240, 3)));
  audio->markAsFinished();
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed);
  const auto streams = readMovie(folder.url("refusals.mp4").path());
  ASSERT_EQ(streams.size(), 1u) << "the audio track got no media and is left out";
  EXPECT_EQ(streams[0].decodedFrames, 2);
}

TEST(AVAssetWriter, RefusesAnEncodedTrackWhoseFormatChanges) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("change.mp4"), AVFileTypeMPEG4);
  const auto video = addInput(*writer, AVMediaTypeVideo, {});
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  EXPECT_TRUE(video->append(writertest::encodedVideoSamples(kCMVideoCodecType_H264, 320, 240, 0, 1).at(0)));
  EXPECT_FALSE(video->append(writertest::encodedVideoSamples(kCMVideoCodecType_H264, 160, 120, 1, 1).at(0)));
  EXPECT_EQ(writer->error()->errorCase(), AVAssetWriterError::Case::mediaNotSupported);
}

TEST(AVAssetWriter, TellsWhichOutputSettingsItCanApply) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("settings.mp4"), AVFileTypeMPEG4);
  EXPECT_TRUE(writer->canApply({}, AVMediaTypeAudio));
  EXPECT_TRUE(writer->canApply({}, AVMediaTypeVideo));
  EXPECT_TRUE(writer->canApply(audioSettings(), AVMediaTypeAudio));
  EXPECT_TRUE(writer->canApply(videoSettings(AVVideoCodecTypeHEVC, 640, 360), AVMediaTypeVideo));
  EXPECT_FALSE(writer->canApply(audioSettings(), fourCC("text")));

  auto opus = audioSettings();
  opus.insert_or_assign(AVFormatIDKey, std::int64_t{kAudioFormatOpus});
  EXPECT_FALSE(writer->canApply(opus, AVMediaTypeAudio));
  auto fractionalRate = audioSettings();
  fractionalRate.insert_or_assign(AVSampleRateKey, 44100.5);
  EXPECT_FALSE(writer->canApply(fractionalRate, AVMediaTypeAudio));
  auto noWidth = videoSettings(AVVideoCodecTypeH264, 640, 360);
  noWidth.insert_or_assign(AVVideoWidthKey, std::int64_t{0});
  EXPECT_FALSE(writer->canApply(noWidth, AVMediaTypeVideo));
  auto textHeight = videoSettings(AVVideoCodecTypeH264, 640, 360);
  textHeight.insert_or_assign(AVVideoHeightKey, "360");
  EXPECT_FALSE(writer->canApply(textHeight, AVMediaTypeVideo));
  auto unknownCodec = videoSettings("jpeg", 640, 360);
  EXPECT_FALSE(writer->canApply(unknownCodec, AVMediaTypeVideo));

  const auto input = AVAssetWriterInput::make(AVMediaTypeVideo, {});
  EXPECT_TRUE(writer->canAdd(*input));
  writer->add(input);
  EXPECT_FALSE(writer->canAdd(*input)) << "added already";
  ASSERT_TRUE(writer->startWriting());
  EXPECT_FALSE(writer->canApply({}, AVMediaTypeAudio)) << "inputs come before writing starts";
  EXPECT_EQ(writer->inputs().size(), 1u);
}

TEST(AVAssetWriter, IsMadeOnlyForANewFileInAnExistingFolder) {
  TemporaryFolder folder;
  std::ofstream(folder.url("taken.mp4").path()) << "x";
  const auto caseOf = [](const URL& url) {
    try {
      AVAssetWriter::make(url, AVFileTypeMPEG4);
    } catch (const AVAssetWriterError& error) {
      return std::optional(error.errorCase());
    }
    return std::optional<AVAssetWriterError::Case>();
  };
  EXPECT_EQ(caseOf(folder.url("taken.mp4")), AVAssetWriterError::Case::fileAlreadyExists);
  EXPECT_EQ(caseOf(folder.url("missing/new.mp4")), AVAssetWriterError::Case::invalidOutputURL);
  EXPECT_EQ(caseOf(*URL::make("https://example.com/new.mp4")), AVAssetWriterError::Case::invalidOutputURL);
  EXPECT_EQ(caseOf(folder.url("new.mp4")), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder.url("new.mp4").path())) << "the file comes with startWriting";
}

TEST(AVAssetWriter, FinishingWithoutMediaFails) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("empty.mp4"), AVFileTypeMPEG4);
  addInput(*writer, AVMediaTypeVideo, {});
  bool calledAtOnce = false;
  writer->finishWriting([&calledAtOnce] { calledAtOnce = true; });
  EXPECT_TRUE(calledAtOnce) << "not writing: nothing to finish";
  EXPECT_EQ(writer->status(), AVAssetWriterStatus::unknown);

  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  finish(*writer);
  EXPECT_EQ(writer->status(), AVAssetWriterStatus::failed);
  ASSERT_TRUE(writer->error());
  EXPECT_EQ(writer->error()->errorCase(), AVAssetWriterError::Case::noMediaData);
}

TEST(AVAssetWriter, CancellingRemovesTheFile) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("cancelled.mp4"), AVFileTypeMPEG4);
  const auto video = addInput(*writer, AVMediaTypeVideo, videoSettings(AVVideoCodecTypeH264, 320, 240));
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  EXPECT_TRUE(video->append(writertest::rawVideoSample(320, 240, 0)));
  writer->cancelWriting();
  EXPECT_EQ(writer->status(), AVAssetWriterStatus::cancelled);
  EXPECT_FALSE(std::filesystem::exists(folder.url("cancelled.mp4").path()));
  EXPECT_FALSE(video->append(writertest::rawVideoSample(320, 240, 1)));
}

TEST(AVAssetWriter, WritesAFragmentedMovieWhenGivenAFragmentInterval) {
  TemporaryFolder folder;
  const auto writer = AVAssetWriter::make(folder.url("fragments.mp4"), AVFileTypeMPEG4);
  writer->setMovieFragmentInterval(CMTime::make(1, 1));
  const auto video = addInput(*writer, AVMediaTypeVideo, {});
  ASSERT_TRUE(writer->startWriting());
  writer->startSession(CMTime::zero);
  for (const auto& sample : writertest::encodedVideoSamples(kCMVideoCodecType_H264, 160, 120, 0, 90)) {
    EXPECT_TRUE(video->append(sample));
  }
  finish(*writer);
  ASSERT_EQ(writer->status(), AVAssetWriterStatus::completed);
  std::ifstream file(folder.url("fragments.mp4").path(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("moof"), std::string::npos);
  const auto streams = readMovie(folder.url("fragments.mp4").path());
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].decodedFrames, 90);
}

}  // namespace
}  // namespace platform
