#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Sources/View/MTFVView.hpp"
#include "Fluvio/Sources/View/PiPFVView.hpp"
#include "Fluvio/Sources/View/PreviewViewRepresentable.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace fluvio {
namespace {

using namespace platform;
using testing::Argb;
using testing::frameAt;
using testing::pixel;
using testing::solidFrame;

constexpr Argb black{255, 0, 0, 0}, red{255, 255, 0, 0};

// Views on a main actor that runs only when the test turns it.
class PreviewViewTest : public ::testing::Test {
 protected:
  template <class View>
  std::shared_ptr<View> make() {
    auto view = View::make(main.get_executor());
    view->setNeedsDisplayHandler([this] { ++redraws; });
    return view;
  }
  void runMain() {
    main.restart();
    main.run();
  }
  template <class T>
  T onMain(Async<T> body) {
    auto future = asio::co_spawn(main, std::move(body), asio::use_future);
    runMain();
    return future.get();
  }

  asio::io_context main;
  std::shared_ptr<MediaMixer> mixer = MediaMixer::make();
  int redraws = 0;
};

std::shared_ptr<CVPixelBuffer> drawable(int width, int height) {
  return CVPixelBuffer::make(width, height, kCVPixelFormatType_32ARGB).value;
}

// The colour of each row at column `x`, top to bottom.
std::vector<Argb> column(const CVPixelBuffer& buffer, std::size_t x) {
  std::vector<Argb> result;
  for (std::size_t y = 0; y < buffer.height(); ++y) result.push_back(pixel(buffer, x, y));
  return result;
}

TEST_F(PreviewViewTest, MetalStandInDrawsTheNewestFrameOnlyOnceItReachesTheMainActor) {
  auto view = make<MTFVView>();
  auto target = drawable(8, 8);
  view->draw(*target);
  EXPECT_EQ(column(*target, 4), std::vector<Argb>(8, black));

  view->mixer(*mixer, frameAt(solidFrame(4, 2, {255, 0, 0, 255}), 1));
  view->mixer(*mixer, frameAt(solidFrame(4, 2, red), 2));
  EXPECT_EQ(redraws, 0);  // not before the main actor has run
  runMain();
  EXPECT_EQ(redraws, 2);
  view->draw(*target);
  // 4x2 fitted inside 8x8: twice the size, two black rows above and below.
  EXPECT_EQ(column(*target, 1), (std::vector<Argb>{black, black, red, red, red, red, black, black}));

  view->setVideoGravity(AVLayerVideoGravity::resizeAspectFill);
  view->draw(*target);
  EXPECT_EQ(column(*target, 1), std::vector<Argb>(8, red));
}

TEST_F(PreviewViewTest, MetalStandInShowsNothingAfterAFrameWithoutAPicture) {
  auto view = make<MTFVView>();
  view->mixer(*mixer, frameAt(solidFrame(8, 8, red), 1));
  auto format = CMFormatDescription::makeForImageBuffer(*solidFrame(8, 8, red)).value;
  view->mixer(*mixer, *CMSampleBuffer::make(nullptr, false, format, 0, {}, {}).value);
  runMain();
  auto target = drawable(8, 8);
  view->draw(*target);
  EXPECT_EQ(column(*target, 4), std::vector<Argb>(8, black));
}

class Tint final : public VideoEffect {
 public:
  CIImage::Pointer execute(const CIImage::Pointer& image) override {
    return CIImage::color({0, 0, 1, 1})->cropped(image->extent());
  }
};

TEST_F(PreviewViewTest, MetalStandInPassesTheFrameThroughItsEffectsOnce) {
  auto view = make<MTFVView>();
  auto effect = std::make_shared<Tint>();
  EXPECT_TRUE(view->registerVideoEffect(effect));
  EXPECT_FALSE(view->registerVideoEffect(effect));
  view->mixer(*mixer, frameAt(solidFrame(8, 8, red), 1));
  runMain();
  auto target = drawable(8, 8);
  view->draw(*target);
  EXPECT_EQ(pixel(*target, 4, 4), (Argb{255, 0, 0, 255}));

  EXPECT_TRUE(view->unregisterVideoEffect(effect));
  EXPECT_FALSE(view->unregisterVideoEffect(effect));
  view->draw(*target);
  EXPECT_EQ(pixel(*target, 4, 4), red);
}

TEST_F(PreviewViewTest, OnlyVideoSelectsTheTrack) {
  for (auto view : std::vector<std::shared_ptr<PreviewOutput>>{make<MTFVView>(), make<PiPFVView>()}) {
    EXPECT_EQ(onMain(view->videoTrackId()), 255);
    onMain(view->selectTrack(2, kCMMediaType_Audio));
    EXPECT_EQ(onMain(view->audioTrackId()), std::nullopt);
    EXPECT_EQ(onMain(view->videoTrackId()), 255);
    onMain(view->selectTrack(2, kCMMediaType_Video));
    EXPECT_EQ(onMain(view->videoTrackId()), 2);
    onMain(view->selectTrack(std::nullopt, kCMMediaType_Video));
    EXPECT_EQ(onMain(view->videoTrackId()), std::nullopt);
  }
}

TEST_F(PreviewViewTest, PictureInPictureViewTakesTheDefaultColourWhenItWakes) {
  PiPFVView::setDefaultBackgroundColor(CGColor::genericGray(0.5, 1));
  auto early = make<PiPFVView>();
  runMain();
  PiPFVView::setDefaultBackgroundColor(CGColor::white());
  auto late = make<PiPFVView>();
  runMain();
  PiPFVView::setDefaultBackgroundColor(CGColor::black());
  EXPECT_EQ(early->layer().backgroundColor(), CGColor::genericGray(0.5, 1));
  EXPECT_EQ(late->layer().backgroundColor(), CGColor::white());
  EXPECT_EQ(late->backgroundColor(), CGColor::white());
}

TEST_F(PreviewViewTest, PictureInPictureViewHandsFramesToItsLayerAndItsGravityAtOnce) {
  auto view = make<PiPFVView>();
  view->setVideoGravity(AVLayerVideoGravity::resizeAspectFill);
  EXPECT_EQ(view->layer().videoGravity(), AVLayerVideoGravity::resizeAspectFill);
  EXPECT_EQ(redraws, 1);
  runMain();  // the wake applies the view's gravity again, not the first one
  EXPECT_EQ(view->layer().videoGravity(), AVLayerVideoGravity::resizeAspectFill);

  const auto frame = solidFrame(8, 8, red);
  view->mixer(*mixer, frameAt(frame, 1));
  EXPECT_EQ(view->layer().queuedFrames(), 0u);
  runMain();
  EXPECT_EQ(redraws, 2);
  EXPECT_EQ(view->layer().displayedImage(HostClock::seconds(HostClock::now())), frame);
}

class RecordingSource final : public MTFVViewRepresentable::PreviewSource {
 public:
  void connect(MTFVView& view) override { connected = &view; }
  MTFVView* connected = nullptr;
};

TEST_F(PreviewViewTest, RepresentableConnectsItsSourceAndAppliesTheGravity) {
  auto source = std::make_shared<RecordingSource>();
  MTFVViewRepresentable representable(source, AVLayerVideoGravity::resize);
  EXPECT_EQ(source->connected, nullptr);
  const auto view = representable.makeUIView();
  EXPECT_EQ(source->connected, view.get());
  EXPECT_EQ(view->videoGravity(), AVLayerVideoGravity::resizeAspect);  // not before the update
  representable.updateUIView(*view);
  EXPECT_EQ(view->videoGravity(), AVLayerVideoGravity::resize);
  representable.track(3);
  EXPECT_EQ(blockOn(view->videoTrackId()), 3);
}

}  // namespace
}  // namespace fluvio
