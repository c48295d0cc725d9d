#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

#include <algorithm>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::size_t kTypicalSize = 16;

}  // namespace

AMFObject::AMFObject() = default;
AMFObject::AMFObject(AMFObject&&) noexcept = default;
AMFObject& AMFObject::operator=(AMFObject&&) noexcept = default;
AMFObject::~AMFObject() = default;

AMFObject::AMFObject(const AMFObject& other) : entries_(other.entries_) {
  if (other.index_) {
    index_ = std::make_unique<std::unordered_map<std::string_view, std::size_t>>();
    index_->reserve(entries_.size());
    for (std::size_t position = 0; position < entries_.size(); ++position) index_->emplace(entries_[position].first, position);
  }
}

AMFObject& AMFObject::operator=(const AMFObject& other) {
  if (this != &other) *this = AMFObject(other);
  return *this;
}

AMFObject::AMFObject(std::initializer_list<Entry> entries) {
  entries_.reserve(entries.size());
  for (const auto& [key, value] : entries) set(key, value);
}

std::size_t AMFObject::size() const noexcept { return entries_.size(); }

bool AMFObject::empty() const noexcept { return entries_.empty(); }

std::vector<AMFObject::Entry>::const_iterator AMFObject::begin() const noexcept { return entries_.begin(); }

std::vector<AMFObject::Entry>::const_iterator AMFObject::end() const noexcept { return entries_.end(); }

bool AMFObject::contains(std::string_view key) const { return find(key) != nullptr; }

std::size_t AMFObject::indexOf(std::string_view key) const {
  if (index_) {
    const auto found = index_->find(key);
    return found == index_->end() ? entries_.size() : found->second;
  }
  const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) { return entry.first == key; });
  return static_cast<std::size_t>(found - entries_.begin());
}

const AMFValue* AMFObject::find(std::string_view key) const {
  const std::size_t position = indexOf(key);
  return position == entries_.size() ? nullptr : &entries_[position].second;
}

AMFValue* AMFObject::find(std::string_view key) {
  return const_cast<AMFValue*>(static_cast<const AMFObject&>(*this).find(key));
}

void AMFObject::set(std::string key, AMFValue value) {
  const std::size_t position = indexOf(key);
  if (position < entries_.size()) {
    entries_[position].second = std::move(value);
    return;
  }
  // The index holds views of the keys, which a reallocation moves: it is
  // rebuilt whenever the entries move.
  // Objects read from the wire come without a count: room for a typical
  // command object at once saves regrowing through every size up to it.
  if (entries_.capacity() == 0) entries_.reserve(kTypicalSize);
  const bool moves = entries_.size() == entries_.capacity();
  entries_.emplace_back(std::move(key), std::move(value));
  if (!index_ && entries_.size() < kIndexedSize) return;
  if (!index_ || moves) {
    index_ = std::make_unique<std::unordered_map<std::string_view, std::size_t>>();
    index_->reserve(entries_.capacity());
    for (std::size_t each = 0; each < entries_.size(); ++each) index_->emplace(entries_[each].first, each);
  } else {
    index_->emplace(entries_.back().first, entries_.size() - 1);
  }
}

bool AMFObject::operator==(const AMFObject& other) const {
  if (size() != other.size()) return false;
  for (const auto& [key, value] : entries_) {
    const AMFValue* otherValue = other.find(key);
    if (otherValue == nullptr || !(*otherValue == value)) return false;
  }
  return true;
}

}  // namespace rtmpfluvio
