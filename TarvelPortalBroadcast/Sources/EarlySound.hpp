#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace tarvelportalbroadcast {

// Sound that comes before the publication's first picture: it waits for the
// picture, at most `limit` buffers of it; later ones are dropped. The first
// drop is reported once, so a broadcast that never gets a picture says why
// it carries no sound.
template <class Buffer>
class EarlySound {
 public:
  enum class Outcome { kept, dropped, firstDropped };

  explicit EarlySound(std::size_t limit) : limit_(limit) {}

  Outcome hold(Buffer buffer) {
    if (waiting_.size() < limit_) {
      waiting_.push_back(std::move(buffer));
      return Outcome::kept;
    }
    return std::exchange(hasDropped_, true) ? Outcome::dropped : Outcome::firstDropped;
  }

  // The picture came: what waited, in the order it came; nothing waits after.
  std::vector<Buffer> release() { return std::exchange(waiting_, {}); }

 private:
  const std::size_t limit_;
  std::vector<Buffer> waiting_;
  bool hasDropped_ = false;
};

}  // namespace tarvelportalbroadcast
