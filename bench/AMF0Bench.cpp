// AMF0 throughput of the messages a publishing session exchanges: the
// connect command, the server's onStatus reply and the stream metadata.
// Encoding writes the values of each body, already built, to bytes; decoding
// reads each payload back into a message from a received chunk header.
// librtmp's AMF functions do the same with the same values beside them.

#include <benchmark/benchmark.h>
#include <librtmp/amf.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <optional>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"

namespace {

using rtmpfluvio::AMF0Serializer;
using rtmpfluvio::AMFArray;
using rtmpfluvio::AMFList;
using rtmpfluvio::AMFNull;
using rtmpfluvio::AMFObject;
using rtmpfluvio::RTMPChunkMessageHeader;
using rtmpfluvio::RTMPCommandMessage;
using rtmpfluvio::RTMPDataMessage;
using rtmpfluvio::RTMPMessage;

constexpr auto kAMF0 = rtmpfluvio::RTMPObjectEncoding::amf0;

// The stream metadata of a 720p H.264 and AAC publication.
AMFArray makeMetadata() {
  AMFArray metadata;
  metadata.dict = AMFObject{
      {"duration", 0},
      {"width", 1280.0},
      {"height", 720.0},
      {"videocodecid", 7},
      {"videodatarate", 2200},
      {"framerate", 30.0},
      {"videokeyframe_frequency", 2.0},
      {"audiocodecid", 10},
      {"audiodatarate", 128},
      {"audiosamplerate", 44100.0},
      {"audiosamplesize", 16.0},
      {"audiochannels", 2},
      {"stereo", true},
      {"filesize", 0},
      {"encoder", "Fluvio 1.0"},
  };
  return metadata;
}

// The values of the three message bodies in wire order, as a publisher holds
// them before sending: built once, outside the timed loops.
struct MessageValues {
  AMFList connect{
      "connect",
      1,
      AMFObject{
          {"app", "live"},
          {"flashVer", "Fluvio/1.0 (compatible; RTMP/1.0)"},
          {"tcUrl", "rtmp://127.0.0.1:1935/live"},
          {"fpad", false},
          {"capabilities", 239},
          {"audioCodecs", 1024},
          {"videoCodecs", 128},
          {"videoFunction", 1},
          {"objectEncoding", 0},
      },
  };
  AMFList onStatus{
      "onStatus",
      0,
      AMFNull{},
      AMFObject{
          {"level", "status"},
          {"code", "NetStream.Publish.Start"},
          {"description", "Started publishing stream."},
          {"details", "stream"},
      },
  };
  AMFList setDataFrame{"@setDataFrame", "onMetaData", makeMetadata()};
};

struct Payloads {
  RTMPMessage::Bytes connect;
  RTMPMessage::Bytes onStatus;
  RTMPMessage::Bytes setDataFrame;

  std::size_t size() const { return connect.size() + onStatus.size() + setDataFrame.size(); }
};

RTMPMessage::Bytes encodeBody(const AMFList& body) {
  AMF0Serializer serializer;
  serializer.serializeEach(body);
  return serializer.takeData();
}

Payloads encode(const MessageValues& values) {
  return {encodeBody(values.connect), encodeBody(values.onStatus), encodeBody(values.setDataFrame)};
}

// The messages a publisher sends with these values, whose payloads the
// encoder must reproduce byte for byte.
struct Messages {
  RTMPCommandMessage connect;
  RTMPCommandMessage onStatus;
  RTMPDataMessage setDataFrame;

  explicit Messages(const MessageValues& values)
      : connect(0, 0, kAMF0, "connect", 1, *values.connect[2].as<AMFObject>(), {}),
        onStatus(1, 0, kAMF0, "onStatus", 0, std::nullopt, {values.onStatus[3]}),
        setDataFrame(1, 0, kAMF0, "@setDataFrame", {values.setDataFrame[1], values.setDataFrame[2]}) {}

  bool sends(const Payloads& payloads) const {
    return connect.payload() == payloads.connect && onStatus.payload() == payloads.onStatus &&
           setDataFrame.payload() == payloads.setDataFrame;
  }
  std::size_t payloadSize() const {
    return connect.payload().size() + onStatus.payload().size() + setDataFrame.payload().size();
  }
};

RTMPChunkMessageHeader receivedHeader(const RTMPMessage& message) {
  RTMPChunkMessageHeader header;
  header.messageTypeId = rawValue(message.type());
  header.messageStreamId = message.streamId();
  header.timestamp = message.timestamp();
  header.messageLength = message.payload().size();
  header.position = message.payload().size();
  header.payload = message.payload();
  return header;
}

// Whether every value of the mix comes back, so that a decoder giving up early
// cannot pass for a fast one.
bool decodesCompletely(const Messages& sent, const RTMPChunkMessageHeader& connect,
                       const RTMPChunkMessageHeader& onStatus, const RTMPChunkMessageHeader& setDataFrame) {
  const auto connectMessage = RTMPCommandMessage::decode(connect, kAMF0);
  const auto statusMessage = RTMPCommandMessage::decode(onStatus, kAMF0);
  const auto dataMessage = RTMPDataMessage::decode(setDataFrame, kAMF0);
  if (!connectMessage || !statusMessage || !dataMessage || dataMessage->arguments().size() != 2) return false;
  const AMFArray* metadata = dataMessage->arguments()[1].as<AMFArray>();
  return connectMessage->commandObject()->size() == sent.connect.commandObject()->size() &&
         statusMessage->arguments() == sent.onStatus.arguments() && metadata &&
         metadata->dict.size() == sent.setDataFrame.arguments()[1].as<AMFArray>()->dict.size();
}

void encodeMix(benchmark::State& state) {
  const MessageValues values;
  const Payloads payloads = encode(values);
  if (!Messages(values).sends(payloads)) {
    state.SkipWithError("the encoder's bytes differ from the messages' payloads");
    return;
  }
  const std::size_t bytesPerMix = payloads.size();
  for (auto _ : state) {
    Payloads encoded = encode(values);
    benchmark::DoNotOptimize(encoded.connect.data());
    benchmark::DoNotOptimize(encoded.onStatus.data());
    benchmark::DoNotOptimize(encoded.setDataFrame.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerMix));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 3));
  state.counters["bytes_per_mix"] = static_cast<double>(bytesPerMix);
}

void decodeMix(benchmark::State& state) {
  const Messages sent(MessageValues{});
  const RTMPChunkMessageHeader connect = receivedHeader(sent.connect);
  const RTMPChunkMessageHeader onStatus = receivedHeader(sent.onStatus);
  const RTMPChunkMessageHeader setDataFrame = receivedHeader(sent.setDataFrame);

  if (!decodesCompletely(sent, connect, onStatus, setDataFrame)) {
    state.SkipWithError("the mix does not decode back to its messages");
    return;
  }

  for (auto _ : state) {
    auto connectMessage = RTMPCommandMessage::decode(connect, kAMF0);
    auto statusMessage = RTMPCommandMessage::decode(onStatus, kAMF0);
    auto dataMessage = RTMPDataMessage::decode(setDataFrame, kAMF0);
    benchmark::DoNotOptimize(connectMessage);
    benchmark::DoNotOptimize(statusMessage);
    benchmark::DoNotOptimize(dataMessage);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sent.payloadSize()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 3));
}

// The floor beside them: the mix's payloads copied into new buffers, as
// little as any encoder or decoder that hands out owned bytes must do.
void copyMixReference(benchmark::State& state) {
  const Messages sent(MessageValues{});
  for (auto _ : state) {
    std::vector<std::uint8_t> connect(sent.connect.payload());
    std::vector<std::uint8_t> onStatus(sent.onStatus.payload());
    std::vector<std::uint8_t> setDataFrame(sent.setDataFrame.payload());
    benchmark::DoNotOptimize(connect.data());
    benchmark::DoNotOptimize(onStatus.data());
    benchmark::DoNotOptimize(setDataFrame.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sent.payloadSize()));
}

// librtmp's form of the same values: properties that point at strings kept
// alive beside them, built once, outside the timed loops.
class LibrtmpBody {
 public:
  explicit LibrtmpBody(const AMFList& values) {
    for (const auto& value : values) body_.push_back(property(value));
  }
  ~LibrtmpBody() {
    for (auto& prop : body_) AMFProp_Reset(&prop);
  }
  LibrtmpBody(const LibrtmpBody&) = delete;
  LibrtmpBody& operator=(const LibrtmpBody&) = delete;

  // Writes the body into `buffer`; the bytes written, or 0 when it overflows.
  std::size_t encode(char* buffer, std::size_t capacity) {
    char* at = buffer;
    char* const end = buffer + capacity;
    for (auto& prop : body_) {
      at = AMFProp_Encode(&prop, at, end);
      if (!at) return 0;
    }
    return static_cast<std::size_t>(at - buffer);
  }

 private:
  AVal text(const std::string& value) {
    const std::string& kept = texts_.emplace_back(value);
    return AVal{const_cast<char*>(kept.data()), static_cast<int>(kept.size())};
  }

  ::AMFObject object(const AMFObject& entries) {
    ::AMFObject result{0, nullptr};
    for (const auto& [key, value] : entries) {
      AMFObjectProperty prop = property(value);
      prop.p_name = text(key);
      AMF_AddProp(&result, &prop);
    }
    return result;
  }

  AMFObjectProperty property(const rtmpfluvio::AMFValue& value) {
    AMFObjectProperty prop{};
    if (const auto* number = value.as<double>()) {
      prop.p_type = AMF_NUMBER;
      prop.p_vu.p_number = *number;
    } else if (const auto* integer = value.as<std::int64_t>()) {
      prop.p_type = AMF_NUMBER;
      prop.p_vu.p_number = static_cast<double>(*integer);
    } else if (const auto* flag = value.as<bool>()) {
      prop.p_type = AMF_BOOLEAN;
      prop.p_vu.p_number = *flag;
    } else if (const auto* string = value.as<std::string>()) {
      prop.p_type = AMF_STRING;
      prop.p_vu.p_aval = text(*string);
    } else if (const auto* entries = value.as<AMFObject>()) {
      prop.p_type = AMF_OBJECT;
      prop.p_vu.p_object = object(*entries);
    } else if (const auto* array = value.as<AMFArray>()) {
      prop.p_type = AMF_ECMA_ARRAY;
      prop.p_vu.p_object = object(array->dict);
    } else {
      prop.p_type = AMF_NULL;
    }
    return prop;
  }

  std::vector<AMFObjectProperty> body_;
  std::deque<std::string> texts_;
};

constexpr std::size_t librtmpBufferSize = 4096;

// Where the count of each ECMA array among a body's values lies in its
// bytes: one past the marker that opens the value.
std::vector<std::size_t> ecmaArrayCountOffsets(const AMFList& body) {
  std::vector<std::size_t> offsets;
  std::size_t start = 0;
  for (const auto& value : body) {
    if (value.is<AMFArray>()) offsets.push_back(start + 1);
    start += encodeBody({value}).size();
  }
  return offsets;
}

// Whether librtmp writes the bytes we send, so both encode the same. It
// counts an ECMA array's named entries where we count its dense part (none
// here), so only the four count bytes of each ECMA array may differ.
bool librtmpWritesThePayloads(const MessageValues& values, const Payloads& payloads) {
  const auto writes = [](const AMFList& body, const RTMPMessage::Bytes& payload) {
    LibrtmpBody librtmp(body);
    std::array<char, librtmpBufferSize> buffer;
    if (librtmp.encode(buffer.data(), buffer.size()) != payload.size()) return false;
    std::vector<bool> mayDiffer(payload.size(), false);
    for (const std::size_t offset : ecmaArrayCountOffsets(body)) {
      std::fill_n(mayDiffer.begin() + static_cast<std::ptrdiff_t>(offset), 4, true);
    }
    for (std::size_t at = 0; at < payload.size(); ++at) {
      if (!mayDiffer[at] && payload[at] != static_cast<std::uint8_t>(buffer[at])) return false;
    }
    return true;
  };
  return writes(values.connect, payloads.connect) && writes(values.onStatus, payloads.onStatus) &&
         writes(values.setDataFrame, payloads.setDataFrame);
}

void librtmpEncodeMix(benchmark::State& state) {
  const MessageValues values;
  const Payloads payloads = encode(values);
  if (!librtmpWritesThePayloads(values, payloads)) {
    state.SkipWithError("librtmp's bytes differ from the messages' payloads");
    return;
  }
  LibrtmpBody connect(values.connect), onStatus(values.onStatus), setDataFrame(values.setDataFrame);
  std::array<char, librtmpBufferSize> buffers[3];
  for (auto _ : state) {
    benchmark::DoNotOptimize(connect.encode(buffers[0].data(), librtmpBufferSize));
    benchmark::DoNotOptimize(onStatus.encode(buffers[1].data(), librtmpBufferSize));
    benchmark::DoNotOptimize(setDataFrame.encode(buffers[2].data(), librtmpBufferSize));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloads.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 3));
}

// Decodes a command or data body into librtmp's objects and frees them, as a
// client reading a message does; the number of values read, or -1. Its texts
// and keys point into the payload rather than being copied, so they last only
// as long as the payload does; our messages own their texts and a copy of the
// payload.
int librtmpDecode(const RTMPMessage::Bytes& payload) {
  ::AMFObject body;
  const int read = AMF_Decode(&body, reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), FALSE);
  const int values = read == static_cast<int>(payload.size()) ? body.o_num : -1;
  AMF_Reset(&body);
  return values;
}

void librtmpDecodeMix(benchmark::State& state) {
  const Messages sent(MessageValues{});
  if (librtmpDecode(sent.connect.payload()) != 3 || librtmpDecode(sent.onStatus.payload()) != 4 ||
      librtmpDecode(sent.setDataFrame.payload()) != 3) {
    state.SkipWithError("librtmp does not read the mix back whole");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(librtmpDecode(sent.connect.payload()));
    benchmark::DoNotOptimize(librtmpDecode(sent.onStatus.payload()));
    benchmark::DoNotOptimize(librtmpDecode(sent.setDataFrame.payload()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sent.payloadSize()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 3));
}

BENCHMARK(encodeMix);
BENCHMARK(librtmpEncodeMix);
BENCHMARK(decodeMix);
BENCHMARK(librtmpDecodeMix);
BENCHMARK(copyMixReference);

}  // namespace

BENCHMARK_MAIN();
