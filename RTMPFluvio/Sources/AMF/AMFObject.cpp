#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>

#include "Platform/Concurrency/BlockPool.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {
namespace {

// Room for a usual command object or stream metadata at once, so that
// reading one seldom regrows: moving every entry costs more than the room.
constexpr std::size_t kTypicalSize = 16;

// Growing moves the entries, which must not fail halfway.
static_assert(std::is_nothrow_move_constructible_v<AMFObject::Entry>);

// The kinds of value before text (null, undefined, Boolean and the numbers)
// own nothing, so an entry holding one ends with its key alone: most entries
// of commands and metadata hold one, and the variant's own destructor calls
// through a table for each.
constexpr std::size_t kFirstOwningKind = 5;
static_assert([]<std::size_t... Kind>(std::index_sequence<Kind...>) {
  return (std::is_trivially_destructible_v<std::variant_alternative_t<Kind, AMFValue::Storage>> && ...);
}(std::make_index_sequence<kFirstOwningKind>{}));
static_assert(std::is_same_v<std::variant_alternative_t<kFirstOwningKind, AMFValue::Storage>, std::string>);

void destroyEntry(AMFObject::Entry& entry) noexcept {
  if (entry.second.storage().index() < kFirstOwningKind) {
    std::destroy_at(&entry.first);
  } else {
    std::destroy_at(&entry);
  }
}

}  // namespace

struct AMFObject::Index {
  std::unordered_map<std::string_view, std::size_t> positions;
};

AMFObject::Body::Body(std::size_t capacity) noexcept : capacity(capacity) {}

AMFObject::Body::~Body() = default;

std::size_t AMFObject::Body::blockSize(std::size_t capacity) noexcept { return sizeof(Body) + capacity * sizeof(Entry); }

AMFObject::Body* AMFObject::Body::make(std::size_t capacity) {
  static_assert(sizeof(Body) % alignof(Entry) == 0, "the entries follow the header unpadded");
  // A thread reading messages releases and makes a few bodies per message:
  // recycled blocks spare the allocator's slow path, which a usual body's
  // size takes and which costs more than reading its entries.
  return new (platform::detail::allocateBlock(blockSize(capacity))) Body(capacity);
}

void AMFObject::Body::release(Body* body) noexcept {
  if (body == nullptr) return;
  for (std::size_t each = 0; each < body->size; ++each) destroyEntry(body->entries()[each]);
  const std::size_t size = blockSize(body->capacity);
  body->~Body();
  platform::detail::releaseBlock(body, size);
}

AMFObject::Entry* AMFObject::Body::find(std::string_view key) {
  if ((keyBits & keyBit(key)) == 0) return nullptr;
  if (index) {
    const auto found = index->positions.find(key);
    return found == index->positions.end() ? nullptr : entries() + found->second;
  }
  for (Entry *entry = entries(), *last = entries() + size; entry != last; ++entry) {
    if (entry->first == key) return entry;
  }
  return nullptr;
}

void AMFObject::Body::rebuildIndex() {
  auto rebuilt = std::make_unique<Index>();
  rebuilt->positions.reserve(capacity);
  for (std::size_t each = 0; each < size; ++each) rebuilt->positions.emplace(entries()[each].first, each);
  index = std::move(rebuilt);
}

AMFObject::AMFObject(std::initializer_list<Entry> entries) {
  if (entries.size() > 0) grow(entries.size());
  for (const auto& [key, value] : entries) set(key, value);
}

AMFObject::AMFObject(const AMFObject& other) {
  if (other.empty()) return;
  const auto release = [](Body* body) { Body::release(body); };
  std::unique_ptr<Body, decltype(release)> copy(Body::make(other.size()), release);
  for (const Entry& entry : other) {
    new (copy->entries() + copy->size) Entry(entry);
    ++copy->size;
  }
  copy->keyBits = other.body_->keyBits;
  if (other.body_->index) copy->rebuildIndex();
  body_ = copy.release();
}

AMFObject& AMFObject::operator=(const AMFObject& other) {
  if (this != &other) *this = AMFObject(other);
  return *this;
}

// The other body is taken before this one ends, since it may live inside it.
AMFObject& AMFObject::operator=(AMFObject&& other) noexcept {
  if (this != &other) Body::release(std::exchange(body_, std::exchange(other.body_, nullptr)));
  return *this;
}

const AMFObject::Entry* AMFObject::begin() const noexcept { return body_ != nullptr ? body_->entries() : nullptr; }

const AMFObject::Entry* AMFObject::end() const noexcept { return begin() + size(); }

const AMFValue* AMFObject::find(std::string_view key) const {
  const Entry* entry = body_ != nullptr ? body_->find(key) : nullptr;
  return entry != nullptr ? &entry->second : nullptr;
}

AMFValue* AMFObject::find(std::string_view key) { return const_cast<AMFValue*>(std::as_const(*this).find(key)); }

void AMFObject::set(std::string_view key, const AMFValue& value) { set(key, AMFValue(value)); }

// A key that views one of the entries is present, so nothing moves under it.
void AMFObject::set(std::string_view key, AMFValue&& value) {
  if (Entry* present = body_ != nullptr ? body_->find(key) : nullptr) {
    present->second = std::move(value);
    return;
  }
  if (body_ == nullptr || body_->size == body_->capacity) {
    // Growing moves the entries, and the value may be one of them.
    AMFValue taken = std::move(value);
    new (freeSlot()) Entry(key, std::move(taken));
  } else {
    new (freeSlot()) Entry(key, std::move(value));
  }
  countAdded(keyBit(key));
}

AMFObject::Entry* AMFObject::freeSlot() {
  if (body_ == nullptr || body_->size == body_->capacity) grow(body_ == nullptr ? kTypicalSize : body_->capacity * 2);
  return body_->entries() + body_->size;
}

void AMFObject::indexAdded() {
  if (body_->index == nullptr) return body_->rebuildIndex();
  const std::size_t added = body_->size - 1;
  body_->index->positions.emplace(body_->entries()[added].first, added);
}

void AMFObject::grow(std::size_t capacity) {
  Body* grown = Body::make(capacity);
  if (body_ == nullptr) {
    body_ = grown;
    return;
  }
  std::uninitialized_move_n(body_->entries(), body_->size, grown->entries());
  grown->size = body_->size;
  grown->keyBits = body_->keyBits;
  const bool indexed = body_->index != nullptr;
  Body::release(std::exchange(body_, grown));
  if (indexed) body_->rebuildIndex();
}

bool AMFObject::operator==(const AMFObject& other) const {
  if (size() != other.size()) return false;
  for (const auto& [key, value] : *this) {
    const AMFValue* otherValue = other.find(key);
    if (otherValue == nullptr || !(*otherValue == value)) return false;
  }
  return true;
}

}  // namespace rtmpfluvio
