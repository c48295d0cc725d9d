// Compiled as it is, this file holds the right ways to make an actor and to
// call into it, and a test that runs them. CTest also compiles it once per
// misuse below, with that misuse's macro defined, and expects the compiler to
// refuse each: an actor not made through Actor::make is freed under its own
// work, and a coroutine made before isolated() takes it reads a dead
// temporary.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"

using namespace platform;

namespace {

class Greeter : public Actor {
 public:
  using Actor::Actor;

  Async<std::string> greet(std::string name) {
    return isolated([this, name = std::move(name)]() mutable { return greetBody(std::move(name)); });
  }

#if defined(MISUSE_ISOLATED_ASYNC_VALUE)
  Async<std::string> eager(std::string name) { return isolated(greetBody(std::move(name))); }
#elif defined(MISUSE_ISOLATED_INVOKED_LAMBDA)
  Async<std::string> eager(std::string name) {
    return isolated([&]() -> Async<std::string> { co_return prefix_ + name; }());
  }
#elif defined(MISUSE_ISOLATED_CALLABLE_TAKING_ARGUMENTS)
  Async<std::string> eager() {
    return isolated([this](std::string n) { return greetBody(std::move(n)); });
  }
#endif

 private:
  Async<std::string> greetBody(std::string name) { co_return prefix_ + name; }

  std::string prefix_ = "hello ";
};

class Named : public Actor {
 public:
  Named(Key key, std::string name) : Actor(key), name(std::move(name)) {}
  const std::string name;
};

#if defined(MISUSE_MAKE_SHARED)
[[maybe_unused]] const auto misuse = std::make_shared<Greeter>();
#elif defined(MISUSE_MAKE_SHARED_WITH_ARGUMENTS)
[[maybe_unused]] const auto misuse = std::make_shared<Named>("a");
#elif defined(MISUSE_MADE_KEY)
[[maybe_unused]] const auto misuse = std::make_shared<Named>(Actor::Key(), "a");
#elif defined(MISUSE_BRACED_KEY)
[[maybe_unused]] const auto misuse = std::make_shared<Named>(Actor::Key{}, "a");
#elif defined(MISUSE_ON_THE_STACK)
void misuse() { [[maybe_unused]] Greeter greeter; }
#elif defined(MISUSE_NEW)
[[maybe_unused]] const auto* misuse = new Greeter();
#endif

}  // namespace

TEST(ActorMisuse, TheFormsTheRefusedMisusesShouldTakeWork) {
  const auto greeter = Actor::make<Greeter>();
  // The body runs after greet() has returned; a name long enough to live on
  // the heap shows a capture freed before then under the address sanitizer.
  auto greeting = greeter->greet(std::string(64, 'x'));
  EXPECT_EQ(blockOn(std::move(greeting)), "hello " + std::string(64, 'x'));

  const auto named = Actor::make<Named>("first");
  const auto other = Actor::make<Named>("second");
  EXPECT_EQ(named->name, "first");
  EXPECT_EQ(other->name, "second");
}
