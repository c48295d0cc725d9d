#include "RTMPFluvio/Sources/RTMP/RTMPSharedObject.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "Platform/Concurrency/Task.hpp"
#include "RTMPFluvio/Sources/AMF/AMFSerializerError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

namespace {

constexpr std::size_t kMaxNameBytes = std::numeric_limits<std::uint16_t>::max();

std::string registryKey(const std::string& name, const std::string& remotePath, bool persistence) {
  return remotePath + "/" + name + "?persistence=" + (persistence ? "true" : "false");
}

// Milliseconds since the previous message, clamped to what the field holds.
std::uint32_t elapsedMilliseconds(std::chrono::steady_clock::time_point since,
                                  std::chrono::steady_clock::time_point now) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count();
  if (elapsed <= 0) return 0;
  if (elapsed >= std::numeric_limits<std::uint32_t>::max()) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(elapsed);
}

AMFObject without(const AMFObject& object, const std::string& key) {
  AMFObject kept;
  for (const auto& [entryKey, value] : object) {
    if (entryKey != key) kept.set(entryKey, value);
  }
  return kept;
}

}  // namespace

const char* RTMPSharedObject::Error::what() const noexcept {
  return case_ == Case::nameTooLong ? "RTMPSharedObject.Error.nameTooLong" : "RTMPSharedObject.Error.versionExhausted";
}

struct RTMPSharedObject::Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<RTMPSharedObject>> objects;

  static Registry& shared() {
    static Registry registry;
    return registry;
  }
};

std::shared_ptr<RTMPSharedObject> RTMPSharedObject::getRemote(const std::string& name, const std::string& remotePath,
                                                              bool persistence) {
  if (name.size() > kMaxNameBytes) throw Error(Error::Case::nameTooLong);
  // Lookup and insert in one locked step, so two callers never make two objects.
  Registry& registry = Registry::shared();
  const std::lock_guard lock(registry.mutex);
  auto& object = registry.objects[registryKey(name, remotePath, persistence)];
  if (!object) object = Actor::make<RTMPSharedObject>(name, remotePath, persistence);
  return object;
}

std::shared_ptr<RTMPSharedObject> RTMPSharedObject::findRemote(const std::string& name, const std::string& remotePath,
                                                               bool persistence) {
  Registry& registry = Registry::shared();
  const std::lock_guard lock(registry.mutex);
  const auto found = registry.objects.find(registryKey(name, remotePath, persistence));
  return found == registry.objects.end() ? nullptr : found->second;
}

RTMPSharedObject::RTMPSharedObject(Key key, std::string name, std::string path, bool persistence)
    : Actor(key), name_(std::move(name)), path_(std::move(path)), persistence_(persistence) {}

platform::Async<AMFObject> RTMPSharedObject::data() {
  return isolated([this] { return dataBody(); });
}

platform::Async<void> RTMPSharedObject::setProperty(std::string name, AMFValue value) {
  return isolated([this, name = std::move(name), value = std::move(value)]() mutable {
    return setPropertyBody(std::move(name), std::move(value));
  });
}

platform::Async<void> RTMPSharedObject::connect(std::shared_ptr<RTMPConnection> connection) {
  return isolated([this, connection = std::move(connection)]() mutable { return connectBody(std::move(connection)); });
}

platform::Async<void> RTMPSharedObject::clear() {
  return isolated([this] { return clearBody(); });
}

platform::Async<void> RTMPSharedObject::close() {
  return isolated([this] { return closeBody(); });
}

platform::Async<void> RTMPSharedObject::on(RTMPSharedObjectMessage message) {
  return isolated([this, message = std::move(message)]() mutable { return onBody(std::move(message)); });
}

platform::Async<RTMPSharedObjectMessage> RTMPSharedObject::makeMessage(std::vector<RTMPSharedObjectEvent> events) {
  // Made outside the co_await: g++ frees a lambda's captures twice when the
  // lambda is a temporary there.
  auto message = isolated([this, events = std::move(events)]() mutable { return makeMessageBody(std::move(events)); });
  co_return std::move(*co_await std::move(message));
}

platform::Async<AMFObject> RTMPSharedObject::dataBody() const { co_return data_; }

platform::Async<void> RTMPSharedObject::setPropertyBody(std::string name, AMFValue value) {
  data_.set(name, value);
  if (isAttached_ && succeeded_) send(RTMPSharedObjectType::requestChange, std::move(name), std::move(value));
  co_return;
}

platform::Async<void> RTMPSharedObject::connectBody(std::shared_ptr<RTMPConnection> connection) {
  if (isAttached_) co_await closeBody();
  connection_ = connection;
  isAttached_ = connection != nullptr;
  if (!connection) co_return;
  auto isConnected = connection->connected();
  if (co_await std::move(isConnected)) send(RTMPSharedObjectType::use);
}

platform::Async<void> RTMPSharedObject::clearBody() {
  data_ = {};
  if (isAttached_) send(RTMPSharedObjectType::clear);
  co_return;
}

platform::Async<void> RTMPSharedObject::closeBody() {
  data_ = {};
  if (isAttached_) send(RTMPSharedObjectType::release);
  detach();
  co_return;
}

platform::Async<void> RTMPSharedObject::onBody(RTMPSharedObjectMessage message) {
  currentVersion_ = message.currentVersion();
  for (const auto& event : message.events()) {
    switch (event.type) {
      case RTMPSharedObjectType::change:
        if (event.name) data_.set(*event.name, event.data.value_or(AMFValue()));
        break;
      case RTMPSharedObjectType::status:
        if (event.name) data_ = without(data_, *event.name);
        break;
      case RTMPSharedObjectType::clear:
        data_ = {};
        break;
      case RTMPSharedObjectType::useSuccess:
        succeeded_ = true;
        // Queued behind this message on the object's strand: every property
        // set so far goes to the server once.
        platform::spawn(
            strand(),
            [self = shared_from_this()]() -> platform::Async<void> {
              const auto snapshot = self->data_;
              for (const auto& [key, value] : snapshot) co_await self->setPropertyBody(key, value);
            },
            "RTMPSharedObject.useSuccess");
        break;
      default:
        break;
    }
  }
  co_return;
}

platform::Async<std::optional<RTMPSharedObjectMessage>> RTMPSharedObject::makeMessageBody(
    std::vector<RTMPSharedObjectEvent> events) {
  co_return nextMessage(std::move(events));
}

RTMPSharedObjectMessage RTMPSharedObject::nextMessage(std::vector<RTMPSharedObjectEvent> events) {
  if (currentVersion_ == std::numeric_limits<std::uint32_t>::max()) throw Error(Error::Case::versionExhausted);
  const auto now = std::chrono::steady_clock::now();
  // The first message has no previous one to count from.
  const std::uint32_t milliseconds = timestamp_ ? elapsedMilliseconds(*timestamp_, now) : 0;
  RTMPSharedObjectMessage message(0, milliseconds, objectEncoding_, name_, succeeded_ ? 0 : currentVersion_,
                                  RTMPSharedObjectMessage::makeFlags(persistence_), std::move(events));
  timestamp_ = now;
  ++currentVersion_;
  return message;
}

void RTMPSharedObject::send(RTMPSharedObjectType type, std::optional<std::string> name,
                            std::optional<AMFValue> value) {
  const auto connection = connection_.lock();
  if (!connection) return;
  try {
    auto message = nextMessage({RTMPSharedObjectEvent{type, std::move(name), std::move(value)}});
    const auto chunkType = type == RTMPSharedObjectType::use ? RTMPChunkType::zero : RTMPChunkType::one;
    // Started in order on this object's strand, so the events leave in order.
    asio::co_spawn(strand(), connection->doOutput(chunkType, RTMPChunkStreamId::command, std::move(message)),
                   asio::detached);
  } catch (const std::exception& error) {
    TP_ERROR(logger(), "shared object ", name_, ": ", error.what());
  }
}

void RTMPSharedObject::detach() {
  connection_.reset();
  isAttached_ = false;
}

}  // namespace rtmpfluvio
