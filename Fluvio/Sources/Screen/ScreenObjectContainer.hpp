#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Fluvio/Sources/Screen/ScreenObject.hpp"

namespace fluvio {

// What takes children: a container, or the screen (its root).
class ScreenObjectContainerConvertible {
 public:
  virtual ~ScreenObjectContainerConvertible() = default;
  virtual void addChild(const std::shared_ptr<ScreenObject>& child) = 0;
  virtual void removeChild(const std::shared_ptr<ScreenObject>& child) = 0;
};

// A screen object that holds children, drawn in order (the last on top).
// Adding, removing, layout and drawing throw ScreenActor::Error off ScreenActor.
class ScreenObjectContainer : public ScreenObject, public ScreenObjectContainerConvertible {
 public:
  class Error : public std::exception {
   public:
    enum class Case {
      // The child already has a parent.
      alreadyExists,
      // The child is this container's ancestor: the tree would contain itself.
      wouldContainItself,
    };
    explicit Error(Case value) : case_(value) {}
    Case value() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  static std::shared_ptr<ScreenObjectContainer> make() { return std::make_shared<ScreenObjectContainer>(); }

  std::size_t childCounts() const noexcept { return children_.size(); }
  const std::vector<std::shared_ptr<ScreenObject>>& children() const noexcept { return children_; }

  // Ignores null and the container itself; throws Error otherwise when refused.
  void addChild(const std::shared_ptr<ScreenObject>& child) override;
  // Ignores null and children of other containers.
  void removeChild(const std::shared_ptr<ScreenObject>& child) override;

  void layout(ScreenRenderer& renderer) override;
  void draw(ScreenRenderer& renderer) override;

 private:
  std::vector<std::shared_ptr<ScreenObject>> children_;
};

}  // namespace fluvio
