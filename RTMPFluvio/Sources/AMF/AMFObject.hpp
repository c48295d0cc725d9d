#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

  AMFObject();
  AMFObject(std::initializer_list<Entry> entries);
  AMFObject(const AMFObject&);
  AMFObject(AMFObject&&) noexcept;
  AMFObject& operator=(const AMFObject&);
  AMFObject& operator=(AMFObject&&) noexcept;
  ~AMFObject();

  std::size_t size() const noexcept;
  bool empty() const noexcept;
  bool contains(std::string_view key) const;
  // The value under `key`, or nullptr when the key is missing.
  const AMFValue* find(std::string_view key) const;
  AMFValue* find(std::string_view key);
  // Replaces the value of a present key in its place, or appends the entry.
  void set(std::string key, AMFValue value);

  std::vector<Entry>::const_iterator begin() const noexcept;
  std::vector<Entry>::const_iterator end() const noexcept;

  bool operator==(const AMFObject& other) const;

 private:
  struct Body;

  std::size_t indexOf(std::string_view key) const;
  // The entries, made this object's own before a change.
  Body& ownBody();

  // Null while empty.
  std::shared_ptr<Body> body_;
};

}  // namespace rtmpfluvio
