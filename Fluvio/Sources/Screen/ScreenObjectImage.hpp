#pragma once

#include <memory>

namespace fluvio {

// What an object hands a renderer at layout: a new picture, "keep the one
// you have" (nothing newer is due), or "nothing to show" (drop it).
template <class Image>
struct ScreenObjectImage {
  enum class State { image, unchanged, empty };

  State state = State::empty;
  std::shared_ptr<const Image> image;

  static ScreenObjectImage unchanged() { return {State::unchanged, nullptr}; }
  static ScreenObjectImage empty() { return {State::empty, nullptr}; }
  // Empty when `image` is null.
  static ScreenObjectImage of(std::shared_ptr<const Image> image) {
    return image ? ScreenObjectImage{State::image, std::move(image)} : empty();
  }
};

}  // namespace fluvio
