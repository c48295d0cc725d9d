#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace platform {

// Per-sample entries of a sample buffer (timings, sizes): none, one that
// stands for every sample, or one a sample. One entry is kept inline, so a
// buffer of one picture is made and copied without the heap.
template <class T>
class CMSampleEntries {
 public:
  void assign(std::span<const T> entries) {
    if (entries.size() == 1) {
      single_ = entries.front();
      many_.clear();
    } else {
      many_.assign(entries.begin(), entries.end());
    }
    hasSingle_ = entries.size() == 1;
  }

  std::span<const T> entries() const noexcept { return hasSingle_ ? std::span<const T>(&single_, 1) : many_; }
  bool empty() const noexcept { return entries().empty(); }
  std::size_t size() const noexcept { return entries().size(); }
  const T& front() const noexcept { return entries().front(); }
  const T& operator[](std::size_t index) const noexcept { return entries()[index]; }
  auto begin() const noexcept { return entries().begin(); }
  auto end() const noexcept { return entries().end(); }

 private:
  T single_{};
  bool hasSingle_ = false;
  std::vector<T> many_;
};

}  // namespace platform
