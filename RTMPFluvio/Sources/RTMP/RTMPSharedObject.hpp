#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Concurrency/Actor.hpp"
#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectMessage.hpp"

namespace rtmpfluvio {

class RTMPConnection;

// The client side of a remote shared object: a named dictionary kept on the
// server and mirrored here. Each local change goes to the server as one event;
// the server's events update the mirror.
class RTMPSharedObject final : public platform::Actor, public std::enable_shared_from_this<RTMPSharedObject> {
 public:
  class Error : public std::exception {
   public:
    // The name does not fit the 16-bit count of the wire; the version cannot
    // be raised any further.
    enum class Case { nameTooLong, versionExhausted };

    explicit Error(Case errorCase) noexcept : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  RTMPSharedObject(Key key, std::string name, std::string path, bool persistence);
  // The one object for this name, path and persistence in the process, made
  // on first use. Throws Error nameTooLong for a name over 65,535 bytes.
  static std::shared_ptr<RTMPSharedObject> getRemote(const std::string& name, const std::string& remotePath,
                                                     bool persistence);
  // The object getRemote made for this name, path and persistence, or null:
  // a server's messages reach only objects this process asked for.
  static std::shared_ptr<RTMPSharedObject> findRemote(const std::string& name, const std::string& remotePath,
                                                      bool persistence);

  const std::string& name() const noexcept { return name_; }
  const std::string& path() const noexcept { return path_; }
  bool persistence() const noexcept { return persistence_; }

  // A copy of the local mirror.
  platform::Async<AMFObject> data();
  // Stores the value (null for an absent one); once the server has accepted
  // the object, also asks it to change the property.
  platform::Async<void> setProperty(std::string name, AMFValue value);
  // Attaches to `connection`, releasing an earlier attachment first; tells
  // the server when the connection is up.
  platform::Async<void> connect(std::shared_ptr<RTMPConnection> connection);
  platform::Async<void> clear();
  platform::Async<void> close();
  // Applies one message from the server.
  platform::Async<void> on(RTMPSharedObjectMessage message);

  // The message of `events` as the next outgoing one; raises the version.
  // Throws Error versionExhausted once the version is at its maximum.
  platform::Async<RTMPSharedObjectMessage> makeMessage(std::vector<RTMPSharedObjectEvent> events);

 private:
  struct Registry;

  platform::Async<AMFObject> dataBody() const;
  platform::Async<void> setPropertyBody(std::string name, AMFValue value);
  platform::Async<void> connectBody(std::shared_ptr<RTMPConnection> connection);
  platform::Async<void> clearBody();
  platform::Async<void> closeBody();
  platform::Async<void> onBody(RTMPSharedObjectMessage message);
  platform::Async<std::optional<RTMPSharedObjectMessage>> makeMessageBody(std::vector<RTMPSharedObjectEvent> events);

  RTMPSharedObjectMessage nextMessage(std::vector<RTMPSharedObjectEvent> events);
  // Sends one event on the attached connection; a message that cannot be
  // made is logged and not sent.
  void send(RTMPSharedObjectType type, std::optional<std::string> name = std::nullopt,
            std::optional<AMFValue> value = std::nullopt);
  void detach();

  const RTMPObjectEncoding objectEncoding_ = RTMPObjectEncoding::amf0;
  AMFObject data_;
  bool succeeded_ = false;
  const std::string name_;
  const std::string path_;
  // When the last outgoing message was made; none before the first.
  std::optional<std::chrono::steady_clock::time_point> timestamp_;
  const bool persistence_;
  std::uint32_t currentVersion_ = 0;
  // Weak: an attachment does not keep a connection its owner has dropped.
  std::weak_ptr<RTMPConnection> connection_;
  bool isAttached_ = false;
};

}  // namespace rtmpfluvio
