#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

#include <algorithm>
#include <unordered_map>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {
namespace {

// Room for a usual command object at once, so that reading one seldom
// regrows, and small enough for the allocator's fast path.
constexpr std::size_t kTypicalSize = 11;
constexpr std::size_t kIndexedSize = 32;

const std::vector<AMFObject::Entry> kNoEntries;

}  // namespace

struct AMFObject::Body {
  Body() { entries.reserve(kTypicalSize); }
  Body(const Body& other) : entries(other.entries) {
    if (other.index) rebuildIndex();
  }

  // The index holds views of the keys, which a reallocation moves: it is
  // rebuilt whenever the entries move.
  void rebuildIndex() {
    index = std::make_unique<std::unordered_map<std::string_view, std::size_t>>();
    index->reserve(entries.capacity());
    for (std::size_t each = 0; each < entries.size(); ++each) index->emplace(entries[each].first, each);
  }

  std::vector<Entry> entries;
  // Position of each key in entries, from kIndexedSize entries on.
  std::unique_ptr<std::unordered_map<std::string_view, std::size_t>> index;
};

AMFObject::AMFObject() = default;
AMFObject::AMFObject(const AMFObject& other)
    : body_(other.body_ ? std::make_shared<Body>(*other.body_) : nullptr) {}
AMFObject::AMFObject(AMFObject&&) noexcept = default;
AMFObject& AMFObject::operator=(const AMFObject& other) {
  if (this != &other) body_ = other.body_ ? std::make_shared<Body>(*other.body_) : nullptr;
  return *this;
}
AMFObject& AMFObject::operator=(AMFObject&&) noexcept = default;
AMFObject::~AMFObject() = default;

AMFObject::AMFObject(std::initializer_list<Entry> entries) {
  for (const auto& [key, value] : entries) set(key, value);
}

AMFObject::Body& AMFObject::ownBody() {
  if (!body_) body_ = std::make_shared<Body>();
  return *body_;
}

std::size_t AMFObject::size() const noexcept { return body_ ? body_->entries.size() : 0; }

bool AMFObject::empty() const noexcept { return size() == 0; }

std::vector<AMFObject::Entry>::const_iterator AMFObject::begin() const noexcept {
  return body_ ? body_->entries.begin() : kNoEntries.begin();
}

std::vector<AMFObject::Entry>::const_iterator AMFObject::end() const noexcept {
  return body_ ? body_->entries.end() : kNoEntries.end();
}

bool AMFObject::contains(std::string_view key) const { return find(key) != nullptr; }

std::size_t AMFObject::indexOf(std::string_view key) const {
  if (!body_) return 0;
  const auto& entries = body_->entries;
  if (body_->index) {
    const auto found = body_->index->find(key);
    return found == body_->index->end() ? entries.size() : found->second;
  }
  const auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry) { return entry.first == key; });
  return static_cast<std::size_t>(found - entries.begin());
}

const AMFValue* AMFObject::find(std::string_view key) const {
  const std::size_t position = indexOf(key);
  return position == size() ? nullptr : &body_->entries[position].second;
}

AMFValue* AMFObject::find(std::string_view key) {
  const std::size_t position = indexOf(key);
  return position == size() ? nullptr : &ownBody().entries[position].second;
}

void AMFObject::set(std::string key, AMFValue value) {
  const std::size_t position = indexOf(key);
  Body& body = ownBody();
  if (position < body.entries.size()) {
    body.entries[position].second = std::move(value);
    return;
  }
  const bool moves = body.entries.size() == body.entries.capacity();
  body.entries.emplace_back(std::move(key), std::move(value));
  if (!body.index && body.entries.size() < kIndexedSize) return;
  if (!body.index || moves) {
    body.rebuildIndex();
  } else {
    body.index->emplace(body.entries.back().first, body.entries.size() - 1);
  }
}

bool AMFObject::operator==(const AMFObject& other) const {
  if (size() != other.size()) return false;
  if (body_ == other.body_) return true;
  for (const auto& [key, value] : *this) {
    const AMFValue* otherValue = other.find(key);
    if (otherValue == nullptr || !(*otherValue == value)) return false;
  }
  return true;
}

}  // namespace rtmpfluvio
