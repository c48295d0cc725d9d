#include <gtest/gtest.h>

#include "Fluvio/Sources/Extension/AVCaptureSessionPresetExtension.hpp"
#include "Fluvio/Sources/Extension/AVLayerVideoGravityExtension.hpp"

namespace fluvio {
namespace {

using platform::AVLayerVideoGravity;
using platform::CGRect;
using platform::CGSize;
using Preset = platform::AVCaptureSession::Preset;

TEST(AVLayerVideoGravityExtensionTests, ScaleFitsFillsOrStretches) {
  const CGSize square{1280, 1280};
  const CGSize fullHD{1920, 1080};
  const auto fit = scale(AVLayerVideoGravity::resizeAspect, square, fullHD);
  EXPECT_DOUBLE_EQ(fit.a, 1280.0 / 1920.0);
  EXPECT_DOUBLE_EQ(fit.d, 1280.0 / 1920.0);
  const auto fill = scale(AVLayerVideoGravity::resizeAspectFill, square, fullHD);
  EXPECT_DOUBLE_EQ(fill.a, 1280.0 / 1080.0);
  EXPECT_DOUBLE_EQ(fill.d, 1280.0 / 1080.0);
  const auto stretch = scale(AVLayerVideoGravity::resize, square, fullHD);
  EXPECT_DOUBLE_EQ(stretch.a, 1280.0 / 1920.0);
  EXPECT_DOUBLE_EQ(stretch.d, 1280.0 / 1080.0);
  EXPECT_EQ(stretch.b, 0);
  EXPECT_EQ(stretch.c, 0);
  EXPECT_EQ(stretch.tx, 0);
  EXPECT_EQ(stretch.ty, 0);
}

TEST(AVLayerVideoGravityExtensionTests, OnlyAspectFillCropsTheRegion) {
  const CGRect destination{{0, 0}, {1280, 720}};
  const CGRect source{{0, 0}, {1920, 1080}};
  EXPECT_EQ(region(AVLayerVideoGravity::resizeAspectFill, destination, source), (CGRect{{320, 180}, {1280, 720}}));
  // A picture smaller than the destination is offset by the same distance.
  EXPECT_EQ(region(AVLayerVideoGravity::resizeAspectFill, source, destination), (CGRect{{320, 180}, {1920, 1080}}));
  EXPECT_EQ(region(AVLayerVideoGravity::resizeAspect, destination, source), source);
  EXPECT_EQ(region(AVLayerVideoGravity::resize, destination, source), source);
}

TEST(AVLayerVideoGravityExtensionTests, PresetsFixSizesOnlyWhereTheyNameThem) {
  EXPECT_EQ(width(Preset::hd1920x1080), 1920);
  EXPECT_EQ(height(Preset::hd1920x1080), 1080);
  EXPECT_EQ(width(defaultCapturePreset), 1280);
  EXPECT_EQ(height(defaultCapturePreset), 720);
  EXPECT_EQ(width(Preset::vga640x480), 640);
  EXPECT_EQ(height(Preset::vga640x480), 480);
  EXPECT_EQ(width(Preset::cif352x288), 352);
  EXPECT_EQ(height(Preset::cif352x288), 288);
  for (const Preset other : {Preset::high, Preset::photo, Preset::iFrame1280x720, Preset::hd4K3840x2160}) {
    EXPECT_EQ(width(other), std::nullopt);
    EXPECT_EQ(height(other), std::nullopt);
  }
}

}  // namespace
}  // namespace fluvio
