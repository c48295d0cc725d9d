#pragma once

#include <future>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio::testing {

// Connects to `server` and publishes `stream` as "key", the server answering
// from this thread as a live one would.
inline void publishTo(ScriptedRTMPServer& server, RTMPConnection& connection, RTMPStream& stream) {
  auto published = std::async(std::launch::async, [&] {
    platform::blockOn(connection.connect(server.url()));
    return platform::blockOn(stream.publish("key"));
  });
  server.accept();
  server.answerUntilPublishing();
  published.get();
}

}  // namespace rtmpfluvio::testing
