#include <gtest/gtest.h>

#include "Fluvio/Sources/Screen/ScreenObjectContainer.hpp"
#include "Fluvio/Sources/Screen/ScreenRendererByCPU.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using platform::CGRect;
using platform::CGSize;
using HA = ScreenObject::HorizontalAlignment;
using VA = ScreenObject::VerticalAlignment;

namespace {

struct PlacementCase {
  const char* name;
  CGSize size;
  UIEdgeInsets margin;
  HA horizontal;
  VA vertical;
  CGRect expected;
};

}  // namespace

TEST_ON_SCREEN_ACTOR(ScreenObjectTreeTests, PlacesObjectsByMarginsAndAlignments) {
  const PlacementCase cases[] = {
      {"fill", {0, 0}, {}, HA::left, VA::top, {{0, 0}, {1280, 720}}},
      {"bottom right", {100, 50}, {10, 20, 30, 40}, HA::right, VA::bottom, {{1140, 640}, {100, 50}}},
      {"centred ignores margins", {100, 50}, {10, 20, 30, 40}, HA::center, VA::middle, {{590, 335}, {100, 50}}},
      {"top left", {100, 50}, {10, 20, 30, 40}, HA::left, VA::top, {{20, 10}, {100, 50}}},
      {"margins wider than the parent", {0, 0}, {400, 700, 400, 700}, HA::left, VA::top, {{700, 400}, {0, 0}}},
      {"margins just inside", {0, 0}, {359, 639, 360, 640}, HA::left, VA::top, {{639, 359}, {1, 1}}},
  };
  for (const auto& c : cases) {
    auto parent = ScreenObjectContainer::make();
    parent->setSize({1280, 720});
    parent->setBounds(parent->makeBounds(parent->size()));
    auto child = std::make_shared<ScreenObject>();
    parent->addChild(child);
    child->setSize(c.size);
    child->setLayoutMargin(c.margin);
    child->setHorizontalAlignment(c.horizontal);
    child->setVerticalAlignment(c.vertical);
    EXPECT_EQ(child->makeBounds(c.size), c.expected) << c.name;
  }
}

TEST_ON_SCREEN_ACTOR(ScreenObjectTreeTests, AnObjectBelongsToOneContainerAndNeverToItsOwnSubtree) {
  auto first = ScreenObjectContainer::make();
  auto second = ScreenObjectContainer::make();
  auto child = std::make_shared<ScreenObject>();
  first->addChild(child);
  EXPECT_THROW(first->addChild(child), ScreenObjectContainer::Error);
  EXPECT_THROW(second->addChild(child), ScreenObjectContainer::Error);
  EXPECT_EQ(first->childCounts(), 1u);
  EXPECT_EQ(second->childCounts(), 0u);

  second->removeChild(child);  // not its child: nothing happens
  EXPECT_EQ(child->parent(), first);
  first->removeChild(child);
  EXPECT_EQ(child->parent(), nullptr);
  second->addChild(child);
  EXPECT_EQ(child->parent(), second);

  // second inside first, first inside second would loop for ever.
  first->addChild(second);
  first->addChild(first);  // itself: ignored
  EXPECT_EQ(first->childCounts(), 1u);
  auto inner = ScreenObjectContainer::make();
  second->addChild(inner);
  try {
    inner->addChild(first);
    FAIL() << "a container was added below itself";
  } catch (const ScreenObjectContainer::Error& error) {
    EXPECT_EQ(error.value(), ScreenObjectContainer::Error::Case::wouldContainItself);
  }
  EXPECT_EQ(first->parent(), nullptr);
  EXPECT_EQ(inner->childCounts(), 0u);
}

TEST_ON_SCREEN_ACTOR(ScreenObjectTreeTests, SizeChangesAloneInvalidateTheLayout) {
  ScreenObject object;
  object.setShouldInvalidateLayout(false);
  object.setSize({0, 0});
  EXPECT_FALSE(object.shouldInvalidateLayout());
  object.setCornerRadius(4);
  object.setLayoutMargin({1, 1, 1, 1});
  EXPECT_FALSE(object.shouldInvalidateLayout());
  object.setSize({0, 1});
  EXPECT_TRUE(object.shouldInvalidateLayout());
}

// Tree operations refuse to run off ScreenActor and change nothing there;
// on the actor the same calls go through.
TEST(ScreenObjectTreeTests, TreeOperationsRunOnScreenActorOnly) {
  auto container = ScreenObjectContainer::make();
  auto child = std::make_shared<ScreenObject>();
  ScreenRendererByCPU renderer(DynamicRangeMode::sdr);
  const auto refusedOffTheActor = [](auto&& operation) {
    try {
      operation();
      return false;
    } catch (const ScreenActor::Error& error) {
      return error.value() == ScreenActor::Error::Case::notIsolated;
    }
  };
  EXPECT_TRUE(refusedOffTheActor([&] { container->addChild(child); }));
  EXPECT_EQ(container->childCounts(), 0u);
  EXPECT_EQ(child->parent(), nullptr);
  EXPECT_TRUE(refusedOffTheActor([] { Screen::make(); }));

  ScreenActor::shared().run([&] { container->addChild(child); });
  EXPECT_EQ(container->childCounts(), 1u);
  EXPECT_TRUE(refusedOffTheActor([&] { container->removeChild(child); }));
  EXPECT_EQ(child->parent(), container);
  EXPECT_TRUE(refusedOffTheActor([&] { container->layout(renderer); }));
  EXPECT_TRUE(container->shouldInvalidateLayout());
  EXPECT_TRUE(refusedOffTheActor([&] { container->draw(renderer); }));

  ScreenActor::shared().run([&] {
    container->layout(renderer);
    container->draw(renderer);
  });
  EXPECT_FALSE(container->shouldInvalidateLayout());
  ScreenActor::shared().run([&] { container->removeChild(child); });
  EXPECT_EQ(container->childCounts(), 0u);
}

