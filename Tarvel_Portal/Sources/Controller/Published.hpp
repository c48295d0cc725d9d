#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace tarvelportal {

// A value that tells its observers when it changes (not when it is set to the
// value it already has).
template <class Value>
class Published {
 public:
  explicit Published(Value initial) : value_(std::move(initial)) {}

  const Value& value() const noexcept { return value_; }
  void set(Value value) {
    if (value == value_) return;
    value_ = std::move(value);
    for (const auto& observer : observers_) observer(value_);
  }
  void observe(std::function<void(const Value&)> observer) { observers_.push_back(std::move(observer)); }

 private:
  Value value_;
  std::vector<std::function<void(const Value&)>> observers_;
};

}  // namespace tarvelportal
