#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace rtmpfluvio {

class AMFValue;

// A text-keyed map of AMF values that keeps its insertion order, so that
// what we write is deterministic. A key holding AMFNull is present, unlike a
// missing key. Equality compares entries, not their order. The few keys of a
// command or metadata object are searched in place; an index is built only
// once an object grows large (as a peer's can), so lookups stay cheap there.
// A copy owns its entries: objects cross actors and threads, where a body
// shared until written would be read and changed without an order between
// the two.
class AMFObject {
 public:
  using Entry = std::pair<std::string, AMFValue>;

  AMFObject() noexcept = default;
  AMFObject(std::initializer_list<Entry> entries);
  AMFObject(const AMFObject& other);
  AMFObject(AMFObject&& other) noexcept : body_(std::exchange(other.body_, nullptr)) {}
  AMFObject& operator=(const AMFObject& other);
  AMFObject& operator=(AMFObject&& other) noexcept;
  // Inline for the many objects that were moved from or never filled.
  ~AMFObject() {
    if (body_ != nullptr) Body::release(body_);
  }

  std::size_t size() const noexcept { return body_ != nullptr ? body_->size : 0; }
  bool empty() const noexcept { return size() == 0; }
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  // The value under `key`, or nullptr when the key is missing.
  const AMFValue* find(std::string_view key) const;
  AMFValue* find(std::string_view key);
  // Replaces the value of a present key in its place, or appends the entry.
  // The key is viewed, so that a reader makes its text once, in the entry;
  // the value is taken by reference so that readers, which pass it down from
  // the array to here, move it only once, into its entry.
  void set(std::string_view key, AMFValue&& value);
  void set(std::string_view key, const AMFValue& value);
  // The same with the value that `make` returns, built in its entry rather
  // than moved there, as readers build every value they read. `make` runs
  // once, after room for a new entry is made, and must leave this object
  // alone. Defined with AMFValue, which it builds.
  template <class Make>
  void setMade(std::string_view key, Make&& make);

  const Entry* begin() const noexcept;
  const Entry* end() const noexcept;

  bool operator==(const AMFObject& other) const;

 private:
  // An index is built from this many entries on.
  static constexpr std::size_t kIndexedSize = 32;

  // Position of each key in the entries.
  struct Index;

  // A header followed by room for `capacity` entries, of which the first
  // `size` exist: one allocation per object, however it was made. Declared
  // here so that adding an entry, as readers do for every key, is inline.
  struct Body {
    explicit Body(std::size_t capacity) noexcept;
    ~Body();

    static Body* make(std::size_t capacity);
    static void release(Body* body) noexcept;
    // The header and room for `capacity` entries.
    static std::size_t blockSize(std::size_t capacity) noexcept;

    Entry* entries() noexcept { return reinterpret_cast<Entry*>(this + 1); }
    // The entry under `key`, or nullptr.
    Entry* find(std::string_view key);
    // Builds the index afresh: it views the keys, which moving the entries
    // moves.
    void rebuildIndex();

    std::size_t size = 0;
    std::size_t capacity;
    // The bits of every key present: a key whose bit is clear is missing, as
    // the key of each entry read from a peer usually is, without comparing.
    std::uint64_t keyBits = 0;
    // From kIndexedSize entries on.
    std::unique_ptr<Index> index;
  };

  // One of 64 bits for a key, from its length and its two first and two
  // last bytes, multiplied so that keys sharing a prefix or a suffix (as
  // metadata keys do) still spread over the bits.
  static std::uint64_t keyBit(std::string_view key) noexcept {
    std::uint16_t head = 0;
    std::uint16_t tail = 0;
    if (key.size() >= 2) {
      std::memcpy(&head, key.data(), 2);
      std::memcpy(&tail, key.data() + key.size() - 2, 2);
    } else if (!key.empty()) {
      head = tail = static_cast<unsigned char>(key.front());
    }
    const std::uint64_t edges = key.size() ^ std::uint64_t{head} << 32 ^ std::uint64_t{tail} << 48;
    return std::uint64_t{1} << ((edges * 0x9E3779B97F4A7C15u) >> 58);
  }

  // Room for one more entry past the last, grown when full.
  Entry* freeSlot();
  // Counts the entry just built in the free slot, whose key has `bit`.
  void countAdded(std::uint64_t bit) {
    ++body_->size;
    body_->keyBits |= bit;
    // An index exists only from kIndexedSize entries on, and none are removed.
    if (body_->size >= kIndexedSize) indexAdded();
  }
  // Indexes the entry just counted, or builds the index when it is due.
  void indexAdded();
  // Moves the entries into room for `capacity` of them.
  void grow(std::size_t capacity);

  // Null while nothing was ever added.
  Body* body_ = nullptr;
};

}  // namespace rtmpfluvio
