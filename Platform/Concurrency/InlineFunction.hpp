#pragma once

// A move-only callable kept in place. Where std::function puts any target
// that is not a trivially copyable pair of words on the heap (a lambda that
// holds a weak_ptr, say), this keeps targets of up to `Capacity` bytes inside
// the object, so a handler made per message costs no heap block. A target
// that does not fit does not compile.

#include <cstddef>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

namespace platform {

template <class Signature, std::size_t Capacity = 6 * sizeof(void*)>
class InlineFunction;

template <class Result, class... Args, std::size_t Capacity>
class InlineFunction<Result(Args...), Capacity> {
 public:
  InlineFunction() noexcept = default;
  InlineFunction(std::nullptr_t) noexcept {}

  template <class Target>
    requires(!std::is_same_v<std::decay_t<Target>, InlineFunction> &&
             std::is_invocable_r_v<Result, std::decay_t<Target>&, Args...>)
  InlineFunction(Target&& target) {  // NOLINT: converts like std::function
    using Stored = std::decay_t<Target>;
    static_assert(sizeof(Stored) <= Capacity, "the target does not fit: give it a larger capacity");
    static_assert(alignof(Stored) <= alignof(std::max_align_t), "the target is over-aligned");
    static_assert(std::is_nothrow_move_constructible_v<Stored>, "the target must move without throwing");
    new (storage_) Stored(std::forward<Target>(target));
    operations_ = &operationsOf<Stored>;
  }

  InlineFunction(InlineFunction&& other) noexcept { takeFrom(other); }
  InlineFunction& operator=(InlineFunction&& other) noexcept {
    if (this != &other) {
      reset();
      takeFrom(other);
    }
    return *this;
  }
  InlineFunction& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }
  ~InlineFunction() { reset(); }

  explicit operator bool() const noexcept { return operations_ != nullptr; }

  // Throws std::bad_function_call when empty, as std::function does.
  Result operator()(Args... args) const {
    if (!operations_) throw std::bad_function_call();
    return operations_->invoke(storage_, std::forward<Args>(args)...);
  }

 private:
  struct Operations {
    Result (*invoke)(void* target, Args&&... args);
    // Moves the target from `from` into `to` and ends it in `from`.
    void (*relocate)(void* from, void* to) noexcept;
    void (*destroy)(void* target) noexcept;
  };

  template <class Stored>
  static constexpr Operations operationsOf{
      [](void* target, Args&&... args) -> Result {
        return std::invoke(*static_cast<Stored*>(target), std::forward<Args>(args)...);
      },
      [](void* from, void* to) noexcept {
        new (to) Stored(std::move(*static_cast<Stored*>(from)));
        static_cast<Stored*>(from)->~Stored();
      },
      [](void* target) noexcept { static_cast<Stored*>(target)->~Stored(); },
  };

  void takeFrom(InlineFunction& other) noexcept {
    if (!other.operations_) return;
    other.operations_->relocate(other.storage_, storage_);
    operations_ = std::exchange(other.operations_, nullptr);
  }

  void reset() noexcept {
    if (operations_) std::exchange(operations_, nullptr)->destroy(storage_);
  }

  // Calling a const function calls its target, which may change itself.
  alignas(std::max_align_t) mutable unsigned char storage_[Capacity];
  const Operations* operations_ = nullptr;
};

}  // namespace platform
