#include "Fluvio/Sources/Screen/ScreenObjectContainer.hpp"

#include <algorithm>

#include "Fluvio/Sources/Screen/ScreenActor.hpp"

namespace fluvio {

const char* ScreenObjectContainer::Error::what() const noexcept {
  switch (case_) {
    case Case::alreadyExists: return "ScreenObjectContainer.Error.alreadyExists";
    case Case::wouldContainItself: return "ScreenObjectContainer.Error.wouldContainItself";
  }
  return "ScreenObjectContainer.Error";
}

void ScreenObjectContainer::addChild(const std::shared_ptr<ScreenObject>& child) {
  ScreenActor::shared().assertIsolated();
  if (!child || child.get() == this) return;
  if (child->parent()) throw Error(Error::Case::alreadyExists);
  for (auto ancestor = parent(); ancestor; ancestor = ancestor->parent()) {
    if (ancestor.get() == child.get()) throw Error(Error::Case::wouldContainItself);
  }
  child->parent_ = std::static_pointer_cast<ScreenObjectContainer>(shared_from_this());
  children_.push_back(child);
  invalidateLayout();
}

void ScreenObjectContainer::removeChild(const std::shared_ptr<ScreenObject>& child) {
  ScreenActor::shared().assertIsolated();
  if (!child || child->parent().get() != this) return;
  const auto found = std::find(children_.begin(), children_.end(), child);
  if (found == children_.end()) return;
  child->parent_.reset();
  children_.erase(found);
  invalidateLayout();
}

void ScreenObjectContainer::layout(ScreenRenderer& renderer) {
  ScreenActor::shared().assertIsolated();
  setBounds(makeBounds(size()));
  for (const auto& child : children_) {
    if (child->shouldInvalidateLayout() || shouldInvalidateLayout()) child->layout(renderer);
  }
  setShouldInvalidateLayout(false);
}

void ScreenObjectContainer::draw(ScreenRenderer& renderer) {
  ScreenActor::shared().assertIsolated();
  if (!isVisible()) return;
  for (const auto& child : children_) {
    if (child->isVisible()) child->draw(renderer);
  }
}

}  // namespace fluvio
