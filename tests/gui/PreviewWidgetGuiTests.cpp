// The preview widgets on a private X server: a screen's frame goes to each
// view as the mixer hands it over, and the window as the server shows it
// must hold the picture, fitted by the gravity.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Fluvio/Sources/View/Gtk/GMainContextExecutor.hpp"
#include "Fluvio/Sources/View/Gtk/MTFVViewWidget.hpp"
#include "Fluvio/Sources/View/Gtk/PiPFVViewWidget.hpp"
#include "tests/gui/support/DisplayGrab.hpp"
#include "tests/gui/support/DisplaySession.hpp"

namespace {

using namespace fluvio;
using namespace platform;
using guitesting::DisplayGrab;

class PreviewSession : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const auto failure = guitesting::DisplaySession::start()) {
      reason = *failure;
      return;
    }
    gtk_init();
  }
  void TearDown() override { guitesting::DisplaySession::end(); }

  static inline std::string reason;
};

[[maybe_unused]] const auto* const registered = ::testing::AddGlobalTestEnvironment(new PreviewSession);

struct Colour {
  int red, green, blue;
};

bool near(DisplayGrab::Pixel pixel, Colour colour) {
  return std::abs(pixel.red - colour.red) <= 3 && std::abs(pixel.green - colour.green) <= 3 &&
         std::abs(pixel.blue - colour.blue) <= 3;
}

constexpr Colour black{0, 0, 0}, blue{0, 0, 255}, red{255, 0, 0}, gray{128, 128, 128};

// A 320x180 blue screen with a red 160x90 picture in its top-left quarter: one frame of it.
CMSampleBuffer screenFrame() {
  auto image = CGImage::make(160, 90, CGImagePixelFormat::argb8888);
  for (std::size_t row = 0; row < image->height(); ++row) {
    auto* pixel = image->mutableData() + row * image->bytesPerRow();
    for (std::size_t column = 0; column < image->width(); ++column, pixel += 4) {
      pixel[0] = 255, pixel[1] = 255, pixel[2] = 0, pixel[3] = 0;
    }
  }
  return ScreenActor::shared().run([&] {
    auto screen = Screen::make();
    screen->setSize({320, 180});
    screen->setBackgroundColor(CGColor::genericRGB(0, 0, 1, 1));
    auto object = ImageScreenObject::make();
    object->setCGImage(image);
    screen->addChild(object);
    return *screen->makeSampleBuffer({1.0, 1.0 + 1.0 / 30});
  });
}

// A 400x300 window holding one widget.
class PreviewWindow {
 public:
  explicit PreviewWindow(GtkWidget* content) : window_(gtk_window_new()) {
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
    gtk_window_set_child(GTK_WINDOW(window_), content);
    gtk_window_present(GTK_WINDOW(window_));
  }
  ~PreviewWindow() { gtk_window_destroy(GTK_WINDOW(window_)); }
  PreviewWindow(const PreviewWindow&) = delete;
  PreviewWindow& operator=(const PreviewWindow&) = delete;

  // Waits until the server shows the window with every probe's colour; the last grab.
  DisplayGrab waitForPixels(const std::vector<std::pair<std::pair<int, int>, Colour>>& probes) {
    std::optional<DisplayGrab> grab;
    guitesting::waitUntil(
        [&] {
          grab = DisplayGrab::of(window_);
          if (!grab || grab->width() != 400 || grab->height() != 300) return false;
          for (const auto& [point, colour] : probes) {
            if (!near(grab->at(point.first, point.second), colour)) return false;
          }
          return true;
        },
        std::chrono::seconds(20));
    return grab.value_or(DisplayGrab{});
  }

 private:
  GtkWidget* window_;
};

void expectPixels(const DisplayGrab& grab, const std::vector<std::pair<std::pair<int, int>, Colour>>& probes,
                  const std::string& name) {
  grab.save(std::filesystem::path(PREVIEW_SCREENSHOT_DIR) / (name + ".png"));
  ASSERT_EQ(grab.width(), 400) << name;
  for (const auto& [point, colour] : probes) {
    const auto pixel = grab.at(point.first, point.second);
    EXPECT_TRUE(near(pixel, colour)) << name << " at " << point.first << "," << point.second << ": "
                                     << int(pixel.red) << " " << int(pixel.green) << " " << int(pixel.blue);
  }
}

class PreviewWidgetGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PreviewSession::reason.empty()) GTEST_SKIP() << "no display server: " << PreviewSession::reason;
  }
  std::shared_ptr<MediaMixer> mixer = MediaMixer::make();
};

TEST_F(PreviewWidgetGuiTest, MetalStandInViewDrawsTheNewestFrameFittedInside) {
  auto view = MTFVView::make(GMainContextExecutor());
  PreviewWindow window(makeMTFVViewWidget(view));
  // Before a frame: the cleared drawable only.
  expectPixels(window.waitForPixels({{{200, 150}, black}}), {{{200, 150}, black}, {{100, 90}, black}}, "mtfv-empty");

  // Fitted inside: 1.25 times, 37.5 pixels of black above and below.
  view->mixer(*mixer, screenFrame());
  const std::vector<std::pair<std::pair<int, int>, Colour>> fitted{
      {{200, 20}, black}, {{100, 90}, red}, {{300, 90}, blue}, {{100, 200}, blue}, {{395, 255}, blue},
      {{200, 280}, black}};
  expectPixels(window.waitForPixels(fitted), fitted, "mtfv-resize-aspect");
}

TEST_F(PreviewWidgetGuiTest, PictureInPictureViewShowsTheLayersFrameOnItsBackground) {
  PiPFVView::setDefaultBackgroundColor(CGColor::genericGray(128.0 / 255, 1));
  auto view = PiPFVView::make(GMainContextExecutor());
  view->setVideoGravity(AVLayerVideoGravity::resizeAspectFill);
  PreviewWindow window(makePiPFVViewWidget(view));
  expectPixels(window.waitForPixels({{{200, 150}, gray}}), {{{200, 150}, gray}, {{5, 5}, gray}}, "pipfv-empty");
  PiPFVView::setDefaultBackgroundColor(CGColor::black());

  // Filled: 1.667 times, the sides cropped.
  view->mixer(*mixer, screenFrame());
  const std::vector<std::pair<std::pair<int, int>, Colour>> filled{
      {{5, 5}, red}, {{190, 140}, red}, {{210, 160}, blue}, {{395, 295}, blue}, {{5, 295}, blue}};
  expectPixels(window.waitForPixels(filled), filled, "pipfv-resize-aspect-fill");

  // A new gravity shows at once, without a new frame: the background above and below.
  view->setVideoGravity(AVLayerVideoGravity::resizeAspect);
  const std::vector<std::pair<std::pair<int, int>, Colour>> fitted{
      {{200, 20}, gray}, {{100, 90}, red}, {{300, 200}, blue}, {{200, 280}, gray}};
  expectPixels(window.waitForPixels(fitted), fitted, "pipfv-resize-aspect");
}

}  // namespace
