#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPChunkTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::patterned;
using testing::RawMessage;
using testing::ReadMessage;
using Bytes = std::vector<std::uint8_t>;

Bytes written(RTMPChunkWriter& writer, RTMPChunkType type, std::uint32_t chunkStreamId, const RTMPMessage& message) {
  Bytes output;
  writer.write(type, chunkStreamId, message, output);
  return output;
}

// Writer then reader: every field and byte survives, across chunk sizes,
// the three basic header forms and the extended timestamp.
TEST(RTMPChunkTests, WrittenMessagesReadBackWhole) {
  struct Case {
    std::uint32_t chunkSize;
    std::uint32_t chunkStreamId;
    std::uint32_t timestamp;
    std::size_t length;
  };
  const Case cases[] = {
      {1, 2, 0, 5},          {2, 63, 1, 3},          {127, 64, 0xFFFFFE, 300}, {128, 319, 0xFFFFFF, 300},
      {129, 320, 0x1000000, 129}, {4096, 65599, 0xFFFFFFFF, 9000}, {8192, 5, 40, 8192}, {8192, 5, 40, 8193},
      {65536, 4, 7, 70000},  {65536, 8, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "chunk size " << c.chunkSize << ", chunk stream " << c.chunkStreamId
                                      << ", timestamp " << c.timestamp << ", length " << c.length);
    RTMPChunkWriter writer;
    writer.setChunkSize(c.chunkSize);
    const RawMessage message(RTMPMessageType::video, 0x01020304, c.timestamp, patterned(c.length));
    const Bytes bytes = written(writer, RTMPChunkType::zero, c.chunkStreamId, message);
    const auto read = testing::readInPieces(bytes, bytes.size(), c.chunkSize);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0], (ReadMessage{c.chunkStreamId, RTMPChunkType::zero, c.timestamp, 9, 0x01020304, message.payload()}));
  }
}

// Type 1 and 3 headers carry deltas; the reader hands out absolute times,
// wrapping at 2^32 as peers count.
TEST(RTMPChunkTests, DeltasAddUpToAbsoluteTimesAcrossInterleavedChunkStreams) {
  RTMPChunkWriter writer;
  writer.setChunkSize(100);
  Bytes bytes;
  const auto put = [&](RTMPChunkType type, std::uint32_t chunkStreamId, std::uint32_t timestamp, std::size_t length,
                       std::uint8_t seed) {
    const RawMessage message(RTMPMessageType::audio, 1, timestamp, patterned(length, seed));
    writer.write(type, chunkStreamId, message, bytes);
  };
  put(RTMPChunkType::zero, 4, 0xFFFFFFF0, 250, 1);  // absolute, extended
  put(RTMPChunkType::zero, 5, 1000, 90, 2);
  put(RTMPChunkType::one, 4, 0x20, 250, 3);         // wraps past 2^32
  put(RTMPChunkType::one, 5, 0x1000000, 90, 4);     // extended delta
  put(RTMPChunkType::three, 5, 0x1000000, 90, 5);   // same delta, new message
  put(RTMPChunkType::two, 4, 33, 250, 6);

  const auto read = testing::readInPieces(bytes, bytes.size(), 100);
  ASSERT_EQ(read.size(), 6u);
  const std::uint32_t expected[][2] = {{4, 0xFFFFFFF0}, {5, 1000},           {4, 0x10},
                                       {5, 1000 + 0x1000000}, {5, 1000 + 0x2000000}, {4, 0x10 + 33}};
  const std::uint8_t seeds[] = {1, 2, 3, 4, 5, 6};
  for (std::size_t index = 0; index < read.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(read[index].chunkStreamId, expected[index][0]);
    EXPECT_EQ(read[index].timestamp, expected[index][1]);
    EXPECT_EQ(read[index].payload, patterned(read[index].payload.size(), seeds[index]));
  }
  EXPECT_EQ(read[4].chunkType, RTMPChunkType::three);
}

// Two message streams on one chunk stream, each sending deltas to its own
// previous message: where the chunk stream's previous message is the other
// stream's, the header is whole and carries the stream's own absolute time.
TEST(RTMPChunkTests, MessageStreamsSharingAChunkStreamKeepTheirOwnClocks) {
  struct Step {
    std::uint32_t streamId;
    RTMPChunkType requested;
    std::uint32_t timestamp;
    RTMPChunkType written;
    std::uint32_t absolute;
  };
  const Step steps[] = {
      {1, RTMPChunkType::zero, 1000, RTMPChunkType::zero, 1000},
      {1, RTMPChunkType::one, 40, RTMPChunkType::one, 1040},
      {2, RTMPChunkType::zero, 0, RTMPChunkType::zero, 0},
      {1, RTMPChunkType::one, 40, RTMPChunkType::zero, 1080},
      {1, RTMPChunkType::one, 40, RTMPChunkType::one, 1120},
      {2, RTMPChunkType::one, 33, RTMPChunkType::zero, 33},
      {2, RTMPChunkType::three, 33, RTMPChunkType::three, 66},
      {1, RTMPChunkType::two, 0xFFFFF0, RTMPChunkType::zero, 1120 + 0xFFFFF0},
      {2, RTMPChunkType::one, 1, RTMPChunkType::zero, 67},
  };
  RTMPChunkWriter writer;
  Bytes bytes;
  for (const Step& step : steps) {
    const RawMessage message(RTMPMessageType::video, step.streamId, step.timestamp, patterned(10, static_cast<std::uint8_t>(step.absolute)));
    EXPECT_EQ(writer.write(step.requested, 5, message, bytes), step.written) << step.absolute;
  }
  const auto read = testing::readInPieces(bytes, bytes.size(), 128);
  ASSERT_EQ(read.size(), std::size(steps));
  for (std::size_t index = 0; index < read.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(read[index].streamId, steps[index].streamId);
    EXPECT_EQ(read[index].timestamp, steps[index].absolute);
  }
}

// A recorded byte stream cut at every position reads as the whole one.
TEST(RTMPChunkTests, AnySplitOfTheStreamGivesTheSameMessages) {
  RTMPChunkWriter writer;
  writer.setChunkSize(64);
  Bytes bytes;
  const RawMessage messages[] = {
      {RTMPMessageType::amf0Command, 0, 0, patterned(150, 1)},
      {RTMPMessageType::video, 1, 0xFFFFFF, patterned(130, 2)},
      {RTMPMessageType::video, 1, 0x1000000, patterned(130, 3)},
      {RTMPMessageType::audio, 1, 20, patterned(10, 4)},
  };
  writer.write(RTMPChunkType::zero, 3, messages[0], bytes);
  writer.write(RTMPChunkType::zero, 320, messages[1], bytes);
  writer.write(RTMPChunkType::three, 320, messages[2], bytes);  // promoted: the time differs
  writer.write(RTMPChunkType::zero, 70, messages[3], bytes);
  const auto whole = testing::readInPieces(bytes, bytes.size(), 64);
  ASSERT_EQ(whole.size(), 4u);
  for (std::size_t split = 1; split < bytes.size(); ++split) {
    RTMPChunkReader reader;
    reader.setChunkSize(64);
    reader.put(std::span(bytes).first(split));
    auto read = testing::drain(reader);
    reader.put(std::span(bytes).subspan(split));
    for (auto& message : testing::drain(reader)) read.push_back(std::move(message));
    ASSERT_EQ(read, whole) << "split at " << split;
  }
  EXPECT_EQ(testing::readInPieces(bytes, 1, 64), whole);
}

// The worked layouts: headers and chunk boundaries byte for byte.
TEST(RTMPChunkTests, WriterLaysOutChunksByteForByte) {
  RTMPChunkWriter writer;
  const RawMessage command(RTMPMessageType::amf0Command, 0, 0, patterned(300));
  const Bytes commandBytes = written(writer, RTMPChunkType::zero, 3, command);
  ASSERT_EQ(commandBytes.size(), 12u + 128 + 1 + 128 + 1 + 44);
  EXPECT_EQ(Bytes(commandBytes.begin(), commandBytes.begin() + 12),
            (Bytes{0x03, 0, 0, 0, 0x00, 0x01, 0x2C, 0x14, 0, 0, 0, 0}));
  EXPECT_EQ(commandBytes[140], 0xC3);
  EXPECT_EQ(commandBytes[269], 0xC3);
  EXPECT_EQ(Bytes(commandBytes.begin() + 12, commandBytes.begin() + 140), Bytes(command.payload().begin(), command.payload().begin() + 128));

  const RawMessage amf3(RTMPMessageType::amf3Command, 0, 0, patterned(10));
  EXPECT_EQ(written(writer, RTMPChunkType::zero, 3, amf3)[7], 0x11);

  RTMPChunkWriter control;
  EXPECT_EQ(written(control, RTMPChunkType::zero, 2, RTMPAcknowledgementMessage(0, 0, 250000)),
            (Bytes{0x02, 0, 0, 0, 0, 0, 0x04, 0x03, 0, 0, 0, 0, 0x00, 0x03, 0xD0, 0x90}));
  const Bytes later = written(control, RTMPChunkType::one, 2, RTMPAcknowledgementMessage(0, 0, 500000));
  EXPECT_EQ(Bytes(later.begin(), later.begin() + 8), (Bytes{0x42, 0, 0, 0, 0, 0, 0x04, 0x03}));
  EXPECT_EQ(later.size(), 12u);

  RTMPChunkWriter media;
  media.setChunkSize(8192);
  written(media, RTMPChunkType::zero, 5, RawMessage(RTMPMessageType::video, 1, 0, patterned(20000)));
  const Bytes video = written(media, RTMPChunkType::one, 5, RawMessage(RTMPMessageType::video, 1, 33, patterned(20000)));
  ASSERT_EQ(video.size(), 8u + 8192 + 1 + 8192 + 1 + 3616);
  EXPECT_EQ(video[0], 0x45);
  EXPECT_EQ(video[8 + 8192], 0xC5);
  EXPECT_EQ(video[8 + 8192 + 1 + 8192], 0xC5);

  const Bytes stream1 = written(media, RTMPChunkType::zero, 6, RawMessage(RTMPMessageType::video, 1, 0, patterned(8192)));
  EXPECT_EQ(Bytes(stream1.begin() + 8, stream1.begin() + 12), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(stream1.size(), 12u + 8192) << "a payload of exactly one chunk has no empty continuation";

  Bytes none;
  EXPECT_EQ(media.write(RTMPChunkType::zero, 5, RawMessage(RTMPMessageType::video, 1, 0, {}), none), std::nullopt);
  EXPECT_TRUE(none.empty());
}

// A shorter header is written only where the peer inherits exactly the
// message's own fields.
TEST(RTMPChunkTests, WriterWritesAFullerHeaderWhereInheritedFieldsWouldDiffer) {
  struct Case {
    const char* name;
    RawMessage previous;
    RTMPChunkType requested;
    RawMessage message;
    RTMPChunkType expected;
  };
  const auto video = [](std::uint32_t streamId, std::uint32_t timestamp, std::size_t length) {
    return RawMessage(RTMPMessageType::video, streamId, timestamp, patterned(length));
  };
  const Case cases[] = {
      {"same fields", video(1, 40, 10), RTMPChunkType::three, video(1, 40, 10), RTMPChunkType::three},
      {"other delta", video(1, 40, 10), RTMPChunkType::three, video(1, 41, 10), RTMPChunkType::two},
      {"other length", video(1, 40, 10), RTMPChunkType::two, video(1, 40, 11), RTMPChunkType::one},
      {"other type", video(1, 40, 10), RTMPChunkType::two,
       RawMessage(RTMPMessageType::audio, 1, 40, patterned(10)), RTMPChunkType::one},
      {"other stream", video(1, 40, 10), RTMPChunkType::one, video(2, 40, 10), RTMPChunkType::zero},
      {"same stream", video(1, 40, 10), RTMPChunkType::one, video(1, 50, 99), RTMPChunkType::one},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RTMPChunkWriter writer;
    Bytes bytes;
    writer.write(RTMPChunkType::zero, 5, c.previous, bytes);
    EXPECT_EQ(writer.write(c.requested, 5, c.message, bytes), c.expected);
    EXPECT_EQ(written(writer, RTMPChunkType::three, 9, c.message)[0] >> 6, 0) << "a new chunk stream starts with type 0";
  }
}

TEST(RTMPChunkTests, WriterRefusesPayloadsTheLengthFieldCannotCarry) {
  RTMPChunkWriter writer;
  Bytes bytes;
  EXPECT_NO_THROW(writer.write(RTMPChunkType::zero, 5, RawMessage(RTMPMessageType::video, 1, 0, Bytes(0xFFFFFF)), bytes));
  bytes.clear();
  EXPECT_THROW(writer.write(RTMPChunkType::zero, 5, RawMessage(RTMPMessageType::video, 1, 0, Bytes(0x1000000)), bytes),
               RTMPChunkError);
  EXPECT_TRUE(bytes.empty());
}

// Reader rules the writer never exercises.
TEST(RTMPChunkTests, ReaderHandlesPeerHeaderForms) {
  {
    SCOPED_TRACE("three-byte basic header, little-endian stream id, extended timestamp");
    RTMPChunkReader reader;
    const Bytes bytes{0x01, 0x10, 0x02, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0x08, 0x01, 0, 0, 0, 0, 0, 1, 0, 0x55};
    reader.put(std::span(bytes).first(bytes.size() - 4));
    EXPECT_FALSE(reader.next()) << "not before the extended timestamp is whole";
    reader.put(std::span(bytes).last(4));
    const auto read = testing::drain(reader);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].chunkStreamId, 592u);
    EXPECT_EQ(read[0].streamId, 1u);
    EXPECT_EQ(read[0].timestamp, 256u);
  }
  {
    SCOPED_TRACE("a type 0 header drops the partial message before it; abort drops one too");
    RTMPChunkReader reader;
    const Bytes bytes{0x04, 0, 0, 1, 0, 0, 200, 0x08, 1, 0, 0, 0, 0xAA,  // 128 of 200 bytes follow
                      };
    Bytes stream = bytes;
    stream.insert(stream.end(), 127, 0xAA);
    stream.insert(stream.end(), {0x04, 0, 0, 2, 0, 0, 2, 0x08, 1, 0, 0, 0, 0xBB, 0xCC});
    reader.put(stream);
    const auto read = testing::drain(reader);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].payload, (Bytes{0xBB, 0xCC}));
    reader.put(Bytes{0x04, 0, 0, 3, 0, 0, 200, 0x08, 1, 0, 0, 0});
    reader.put(Bytes(128, 0xAA));
    reader.abort(4);
    reader.put(Bytes{0xC4, 0xDD});
    EXPECT_TRUE(testing::drain(reader).empty()) << "a type 3 after the abort starts a new 200-byte message";
  }
  {
    SCOPED_TRACE("300 bytes at 128 come out once, after the third chunk");
    RTMPChunkReader reader;
    Bytes bytes{0x03, 0, 0, 0, 0, 0x01, 0x2C, 0x14, 0, 0, 0, 0};
    bytes.insert(bytes.end(), 128, 1);
    reader.put(bytes);
    EXPECT_FALSE(reader.next());
    Bytes second{0xC3};
    second.insert(second.end(), 128, 2);
    reader.put(second);
    EXPECT_FALSE(reader.next());
    Bytes third{0xC3};
    third.insert(third.end(), 44, 3);
    reader.put(third);
    const auto read = testing::drain(reader);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].payload.size(), 300u);
    EXPECT_EQ(read[0].payload[299], 3);
  }
}

// One message as chunks of `chunkSize`, with a type 0 header whose timestamp
// is extended; `repeatExtended` says whether the continuation chunks repeat
// the extended field, as senders differ there.
Bytes extendedChunks(std::uint8_t chunkStreamId, std::uint8_t typeId, std::uint32_t timestamp, const Bytes& payload,
                     std::size_t chunkSize, bool repeatExtended) {
  const auto length = static_cast<std::uint32_t>(payload.size());
  const Bytes extended{static_cast<std::uint8_t>(timestamp >> 24), static_cast<std::uint8_t>(timestamp >> 16),
                       static_cast<std::uint8_t>(timestamp >> 8), static_cast<std::uint8_t>(timestamp)};
  Bytes bytes{chunkStreamId, 0xFF, 0xFF, 0xFF, static_cast<std::uint8_t>(length >> 16),
              static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), typeId, 1, 0, 0, 0};
  bytes.insert(bytes.end(), extended.begin(), extended.end());
  for (std::size_t offset = 0; offset < payload.size(); offset += chunkSize) {
    if (offset > 0) {
      bytes.push_back(static_cast<std::uint8_t>(0xC0 | chunkStreamId));
      if (repeatExtended) bytes.insert(bytes.end(), extended.begin(), extended.end());
    }
    const auto end = payload.begin() + static_cast<std::ptrdiff_t>(std::min(payload.size(), offset + chunkSize));
    bytes.insert(bytes.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset), end);
  }
  return bytes;
}

// Continuation chunks of a message with an extended timestamp, with and
// without the repeated field, read the same however the bytes arrive, and the
// reader stays in step for the messages after them.
TEST(RTMPChunkTests, ContinuationChunksReadWithOrWithoutTheRepeatedExtendedTimestamp) {
  const Bytes video = patterned(300, 1);
  const Bytes audio = patterned(200, 2);
  const Bytes ping{0, 6, 0, 0, 0x30, 0x39};
  const std::vector<ReadMessage> expected{
      {6, RTMPChunkType::zero, 0x01234567, 9, 1, video},
      {4, RTMPChunkType::zero, 0xFFFFFF, 8, 1, audio},
      {2, RTMPChunkType::zero, 0, 4, 0, ping},
  };
  Bytes pingChunk{0x02, 0, 0, 0, 0, 0, 6, 0x04, 0, 0, 0, 0};
  pingChunk.insert(pingChunk.end(), ping.begin(), ping.end());
  for (const bool repeated : {true, false}) {
    SCOPED_TRACE(repeated ? "field repeated" : "field left out");
    Bytes bytes = extendedChunks(6, 9, 0x01234567, video, 128, repeated);
    const Bytes audioChunks = extendedChunks(4, 8, 0xFFFFFF, audio, 128, repeated);
    bytes.insert(bytes.end(), audioChunks.begin(), audioChunks.end());
    bytes.insert(bytes.end(), pingChunk.begin(), pingChunk.end());
    if (repeated) {
      RTMPChunkWriter writer;
      EXPECT_EQ(Bytes(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(audioChunks.size() + pingChunk.size())),
                written(writer, RTMPChunkType::zero, 6, RawMessage(RTMPMessageType::video, 1, 0x01234567, video)))
          << "the form this side writes";
    }
    EXPECT_EQ(testing::readInPieces(bytes, 1, 128), expected) << "one byte at a time";
    for (std::size_t split = 1; split < bytes.size(); ++split) {
      RTMPChunkReader reader;
      reader.put(std::span(bytes).first(split));
      auto read = testing::drain(reader);
      reader.put(std::span(bytes).subspan(split));
      for (auto& message : testing::drain(reader)) read.push_back(std::move(message));
      ASSERT_EQ(read, expected) << "split at " << split;
      EXPECT_EQ(reader.unreadByteCount(), 0u);
    }
  }
}

TEST(RTMPChunkTests, ReaderRefusesChunkSizesOutsideTheWireRange) {
  RTMPChunkReader reader;
  EXPECT_THROW(reader.setChunkSize(0), RTMPChunkError);
  EXPECT_THROW(reader.setChunkSize(0x80000000), RTMPChunkError);
  EXPECT_NO_THROW(reader.setChunkSize(1));
  EXPECT_NO_THROW(reader.setChunkSize(0x7FFFFFFF));
}

Bytes typeZeroHeader(std::uint32_t chunkStreamId, std::uint32_t length) {
  Bytes bytes;
  if (chunkStreamId < 64) {
    bytes.push_back(static_cast<std::uint8_t>(chunkStreamId));
  } else {
    bytes = {0x01, static_cast<std::uint8_t>(chunkStreamId - 64), static_cast<std::uint8_t>((chunkStreamId - 64) >> 8)};
  }
  bytes.insert(bytes.end(), {0, 0, 0, static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                             static_cast<std::uint8_t>(length), 0x09, 1, 0, 0, 0});
  return bytes;
}

TEST(RTMPChunkTests, ReaderBoundsTheChunkStreamsAPeerOpens) {
  RTMPChunkReader reader;
  for (std::uint32_t id = 2; id < 2 + RTMPChunkReader::kMaximumChunkStreams; ++id) {
    reader.put(typeZeroHeader(id, 300));
    reader.put(Bytes(128, 1));
  }
  EXPECT_TRUE(testing::drain(reader).empty());
  EXPECT_EQ(reader.chunkStreamCount(), RTMPChunkReader::kMaximumChunkStreams);
  Bytes continuation{0xC2};
  continuation.insert(continuation.end(), 128, 7);
  reader.put(continuation);
  EXPECT_NO_THROW(testing::drain(reader)) << "a chunk stream already held goes on";
  EXPECT_EQ(reader.unreadByteCount(), 0u);
  reader.put(typeZeroHeader(2 + RTMPChunkReader::kMaximumChunkStreams, 300));
  try {
    reader.next();
    ADD_FAILURE() << "one chunk stream too many was opened";
  } catch (const RTMPChunkError& error) {
    EXPECT_EQ(error.errorCase(), RTMPChunkError::Case::tooManyChunkStreams);
  }
}

// Partial messages and the buffers complete ones keep for the next message
// count together; the largest message the length field carries reads whole.
TEST(RTMPChunkTests, ReaderBoundsWhatAllChunkStreamsBuffer) {
  constexpr std::size_t kLargest = RTMPChunkReader::kMaximumMessageLength;
  static_assert(RTMPChunkReader::kMaximumBufferedBytes == 4 * kLargest);
  RTMPChunkReader reader;
  reader.setChunkSize(65536);
  const Bytes payload = patterned(kLargest);
  for (std::uint32_t id = 4; id < 8; ++id) {
    RTMPChunkWriter writer;
    writer.setChunkSize(65536);
    reader.put(written(writer, RTMPChunkType::zero, id, RawMessage(RTMPMessageType::video, 1, 0, payload)));
    const auto message = reader.next();
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->header.payload == payload);
    EXPECT_FALSE(reader.next());
  }
  EXPECT_EQ(reader.bufferedByteCount(), RTMPChunkReader::kMaximumBufferedBytes);

  // A smaller message gives back what its chunk stream kept beyond it.
  reader.put(typeZeroHeader(4, 10));
  reader.put(Bytes(10, 2));
  ASSERT_TRUE(reader.next());
  EXPECT_EQ(reader.bufferedByteCount(), 3 * kLargest + 10);

  // Up to the bound exactly, then one byte past it.
  RTMPChunkWriter writer;
  writer.setChunkSize(65536);
  reader.put(written(writer, RTMPChunkType::zero, 8, RawMessage(RTMPMessageType::video, 1, 0, Bytes(kLargest - 10, 3))));
  ASSERT_TRUE(reader.next());
  EXPECT_EQ(reader.bufferedByteCount(), RTMPChunkReader::kMaximumBufferedBytes);
  reader.put(typeZeroHeader(9, 1));
  reader.put(Bytes{4});
  try {
    reader.next();
    ADD_FAILURE() << "buffered past the bound";
  } catch (const RTMPChunkError& error) {
    EXPECT_EQ(error.errorCase(), RTMPChunkError::Case::bufferLimitExceeded);
  }
  reader.reset();
  EXPECT_EQ(reader.bufferedByteCount(), 0u);
}

}  // namespace
}  // namespace rtmpfluvio
