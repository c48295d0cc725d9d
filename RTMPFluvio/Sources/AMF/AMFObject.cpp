#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {

AMFObject::AMFObject() = default;
AMFObject::AMFObject(const AMFObject&) = default;
AMFObject::AMFObject(AMFObject&&) noexcept = default;
AMFObject& AMFObject::operator=(const AMFObject&) = default;
AMFObject& AMFObject::operator=(AMFObject&&) noexcept = default;
AMFObject::~AMFObject() = default;

AMFObject::AMFObject(std::initializer_list<Entry> entries) {
  for (const auto& [key, value] : entries) set(key, value);
}

std::size_t AMFObject::size() const noexcept { return entries_.size(); }

bool AMFObject::empty() const noexcept { return entries_.empty(); }

std::vector<AMFObject::Entry>::const_iterator AMFObject::begin() const noexcept { return entries_.begin(); }

std::vector<AMFObject::Entry>::const_iterator AMFObject::end() const noexcept { return entries_.end(); }

bool AMFObject::contains(std::string_view key) const { return find(key) != nullptr; }

const AMFValue* AMFObject::find(std::string_view key) const {
  const auto found = indexByKey_.find(std::string(key));
  return found == indexByKey_.end() ? nullptr : &entries_[found->second].second;
}

AMFValue* AMFObject::find(std::string_view key) {
  return const_cast<AMFValue*>(static_cast<const AMFObject&>(*this).find(key));
}

void AMFObject::set(std::string key, AMFValue value) {
  const auto [found, inserted] = indexByKey_.try_emplace(key, entries_.size());
  if (inserted) {
    entries_.emplace_back(std::move(key), std::move(value));
  } else {
    entries_[found->second].second = std::move(value);
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
