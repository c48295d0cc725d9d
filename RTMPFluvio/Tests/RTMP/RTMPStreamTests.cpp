#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <algorithm>
#include <atomic>
#include <future>

#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "Fluvio/Sources/View/PreviewOutput.hpp"
#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/NextWithin.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPCaptureConnection.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"
#include "Tracepost/Tests/Support/RecordingAppender.hpp"

namespace rtmpfluvio {
namespace {

using fluvio::StreamReadyState;
using platform::blockOn;
using platform::testing::nextWithin;
using testing::Captured;
using testing::onStatus;
using testing::RTMPCaptureConnection;
using namespace std::chrono_literals;

// Runs a command on a thread of its own, so the test can answer it meanwhile.
template <class T>
std::future<T> launch(platform::Async<T> body) {
  return std::async(std::launch::async, [body = std::move(body)]() mutable { return blockOn(std::move(body)); });
}

RTMPStream::Error::Case errorOf(std::future<RTMPResponse>& future) {
  try {
    future.get();
  } catch (const RTMPStream::Error& error) {
    return error.errorCase();
  }
  ADD_FAILURE() << "no error";
  return RTMPStream::Error::Case::unsupportedCodec;
}

// A stream on a connected capture connection, with id 1.
struct Fixture {
  explicit Fixture(std::optional<std::string> name = std::nullopt, std::chrono::milliseconds timeout = 3000ms)
      : connection(std::make_shared<RTMPCaptureConnection>(true, timeout)),
        stream(RTMPStream::make(connection, std::move(name))) {
    blockOn(stream->createStream());
  }

  // Sends a command and waits until it has left.
  std::future<RTMPResponse> start(platform::Async<RTMPResponse> command) {
    const auto before = connection->sent().size();
    auto future = launch(std::move(command));
    connection->waitForSent(before + 1);
    return future;
  }
  void answer(const std::string& code, const std::string& level = "status") {
    blockOn(stream->dispatch(onStatus(code, level), RTMPChunkType::zero));
  }
  void publish(const std::string& name = "key") {
    auto published = start(stream->publish(name));
    answer("NetStream.Publish.Start");
    published.get();
  }
  void play(const std::string& name = "key") {
    auto played = start(stream->play({name}));
    answer("NetStream.Play.Start");
    played.get();
  }
  std::vector<Captured> sentNamed(const std::string& name) const {
    std::vector<Captured> named;
    for (auto& sent : connection->sent()) {
      if (sent.name == name) named.push_back(sent);
    }
    return named;
  }

  std::shared_ptr<RTMPCaptureConnection> connection;
  std::shared_ptr<RTMPStream> stream;
};

TEST(RTMPStreamTests, SetsItselfUpOncePerConnection) {
  Fixture named("key");
  EXPECT_EQ(named.connection->calls(), (std::vector<std::string>{"releaseStream", "FCPublish", "createStream"}));
  EXPECT_EQ(blockOn(named.stream->id()), 1u);
  blockOn(named.stream->createStream());
  EXPECT_EQ(named.connection->calls().size(), 3u);
  // A closed connection forgets the id: the next connect asks again.
  named.connection->setAnswer("createStream", [](const AMFList&) { return RTMPResponse(std::nullopt, {4.0}); });
  blockOn(named.stream->connectionWillClose());
  blockOn(named.stream->createStream());
  EXPECT_EQ(blockOn(named.stream->id()), 4u);

  auto offline = std::make_shared<RTMPCaptureConnection>(false);
  const auto waiting = RTMPStream::make(offline);
  EXPECT_EQ(blockOn(waiting->id()), 0u);
  EXPECT_TRUE(offline->calls().empty());
}

TEST(RTMPStreamTests, OnlyAnIdInRangeIsTaken) {
  for (const AMFList& answer : std::vector<AMFList>{AMFList{}, AMFList{-1.0}, AMFList{4294967296.0}, AMFList{std::nan("")}, AMFList{"1"},
                                               AMFList{AMFNull()}}) {
    auto connection = std::make_shared<RTMPCaptureConnection>();
    connection->setAnswer("createStream", [answer](const AMFList&) { return RTMPResponse(std::nullopt, answer); });
    const auto stream = RTMPStream::make(connection);
    blockOn(stream->createStream());
    EXPECT_EQ(blockOn(stream->id()), 0u) << answer;
  }
  auto connection = std::make_shared<RTMPCaptureConnection>();
  connection->setAnswer("createStream", [](const AMFList&) { return RTMPResponse(std::nullopt, {4294967295.0}); });
  const auto stream = RTMPStream::make(connection);
  blockOn(stream->createStream());
  EXPECT_EQ(blockOn(stream->id()), 4294967295u);
}

TEST(RTMPStreamTests, PublishSendsTheCommandThenTheMetadataOnce) {
  Fixture fixture("key");
  auto published = fixture.start(fixture.stream->publish("key"));
  EXPECT_EQ(blockOn(fixture.stream->readyState()), StreamReadyState::publish);
  const auto command = fixture.sentNamed("publish");
  ASSERT_EQ(command.size(), 1u);
  EXPECT_EQ(command[0].chunkType, RTMPChunkType::zero);
  EXPECT_EQ(command[0].chunkStreamId, RTMPChunkStreamId::command);
  EXPECT_EQ(command[0].streamId, 1u);
  EXPECT_EQ(command[0].payload,
            (std::vector<std::uint8_t>{0x02, 0x00, 0x07, 'p', 'u', 'b', 'l', 'i', 's', 'h', 0x00, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0x05, 0x02, 0x00, 0x03, 'k', 'e', 'y', 0x02, 0x00, 0x04, 'l', 'i', 'v', 'e'}));
  EXPECT_TRUE(fixture.sentNamed("@setDataFrame").empty());
  fixture.answer("NetStream.Publish.Start");
  EXPECT_EQ(published.get().status()->code(), "NetStream.Publish.Start");
  EXPECT_EQ(blockOn(fixture.stream->readyState()), StreamReadyState::publishing);
  const auto metadata = fixture.sentNamed("@setDataFrame");
  ASSERT_EQ(metadata.size(), 1u);
  EXPECT_EQ(metadata[0].chunkType, RTMPChunkType::zero);
  EXPECT_EQ(metadata[0].chunkStreamId, RTMPChunkStreamId::data);
  EXPECT_EQ(metadata[0].type, RTMPMessageType::amf0Data);
  EXPECT_EQ(metadata[0].arguments.at(0), AMFValue("onMetaData"));
  EXPECT_EQ(blockOn(fixture.stream->info()).resourceName, "key");
}

// Raw video reaches the encoder after the publication began: the metadata
// goes out again, with the video keys, before the first video message.
TEST(RTMPStreamTests, MetadataGainsTheMediaKeysBeforeTheMediaTheyDescribe) {
  Fixture fixture("key");
  blockOn(fixture.stream->setVideoSettings(fluvio::VideoCodecSettings({640, 360}, 1'000'000)));
  fixture.publish();
  const auto widthOf = [](const Captured& sent) {
    const auto* metadata = sent.arguments.at(1).as<AMFArray>();
    const auto* width = metadata ? metadata->dict.find("width") : nullptr;
    const auto* number = width ? width->as<double>() : nullptr;
    return number ? *number : -1.0;
  };
  ASSERT_EQ(fixture.sentNamed("@setDataFrame").size(), 1u);
  EXPECT_EQ(widthOf(fixture.sentNamed("@setDataFrame")[0]), -1.0) << "no width yet";

  blockOn(fixture.stream->append(fluvio::testing::rawVideoFrame(0, platform::CMTime::make(1, 30), 640, 360)));
  blockOn(fixture.stream->append(testing::encodedFrameAt(1.0)));
  blockOn(fixture.stream->append(testing::encodedFrameAt(1.04)));
  const auto metadata = fixture.sentNamed("@setDataFrame");
  ASSERT_EQ(metadata.size(), 2u) << "once more, not per frame";
  EXPECT_EQ(metadata[1].chunkType, RTMPChunkType::one);
  EXPECT_EQ(widthOf(metadata[1]), 640.0);
  const auto sent = fixture.connection->sent();
  const auto position = [&](auto predicate) { return std::find_if(sent.begin(), sent.end(), predicate) - sent.begin(); };
  EXPECT_LT(position([](const Captured& c) { return c.name == "@setDataFrame" && c.chunkType == RTMPChunkType::one; }),
            position([](const Captured& c) { return c.type == RTMPMessageType::video; }));
}

TEST(RTMPStreamTests, StatusAnswersResolveTheWaitingCommandByCodeAndLevel) {
  struct Row {
    const char* code;
    const char* level;
    bool completes;
    bool fails;
  };
  const Row rows[] = {
      {"NetStream.Publish.Start", "status", true, false},
      {"NetStream.Play.Reset", "status", false, false},
      {"NetStream.Publish.BadName", "error", false, true},
      {"NetStream.Play.InsufficientBW", "warning", false, true},
  };
  for (const auto& row : rows) {
    Fixture fixture;
    auto status = blockOn(fixture.stream->status());
    auto published = fixture.start(fixture.stream->publish("key"));
    fixture.answer(row.code, row.level);
    auto yielded = blockOn(status.next());
    ASSERT_TRUE(yielded) << row.code;
    EXPECT_EQ(yielded->code(), row.code);
    if (row.completes) {
      EXPECT_NO_THROW(published.get());
      EXPECT_EQ(blockOn(fixture.stream->readyState()), StreamReadyState::publishing);
    } else if (row.fails) {
      EXPECT_EQ(errorOf(published), RTMPStream::Error::Case::requestFailed) << row.code;
      EXPECT_EQ(blockOn(fixture.stream->readyState()), StreamReadyState::idle);
    } else {
      EXPECT_EQ(published.wait_for(50ms), std::future_status::timeout) << row.code;
      fixture.answer("NetStream.Publish.Start");
      EXPECT_NO_THROW(published.get());
    }
  }
}

TEST(RTMPStreamTests, AnAnswerWithoutStatusFailsTheCommandAndIsNotYielded) {
  Fixture fixture;
  auto status = blockOn(fixture.stream->status());
  auto published = fixture.start(fixture.stream->publish("key"));
  const RTMPCommandMessage bare(1, 0, RTMPObjectEncoding::amf0, "onStatus", 0, std::nullopt, {"no object"});
  blockOn(fixture.stream->dispatch(bare, RTMPChunkType::zero));
  EXPECT_EQ(errorOf(published), RTMPStream::Error::Case::requestFailed);
  // Other commands are only logged, their names as text safe for one line.
  const auto recorder = std::make_shared<tracepost::testing::RecordingAppender>();
  const auto previous = logger().appender();
  logger().setAppender(recorder);
  const std::string name = "on\nFake\x1b[2J" + std::string(70, 'x');
  const RTMPCommandMessage other(1, 0, RTMPObjectEncoding::amf0, name, 0, std::nullopt, {});
  blockOn(fixture.stream->dispatch(other, RTMPChunkType::zero));
  logger().setAppender(previous);
  std::vector<tracepost::testing::RecordingAppender::Record> lines;
  for (const auto& record : recorder->records()) {
    if (record.message.find("dispatch(_:type:)") != std::string::npos) lines.push_back(record);
  }
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, tracepost::TPLoggerLevel::info);
  EXPECT_NE(lines[0].message.find(peerText(name)), std::string::npos) << lines[0].message;
  EXPECT_NE(lines[0].message.find("on\\x0aFake\\x1b[2J"), std::string::npos) << lines[0].message;
  EXPECT_EQ(lines[0].message.find_first_of("\n\x1b"), std::string::npos);
  EXPECT_EQ(lines[0].message.find(std::string(70, 'x')), std::string::npos) << "capped";
  blockOn(fixture.stream->dispatch(RTMPUserControlMessage::Event::bufferFull));
  auto yielded = blockOn(status.next());
  ASSERT_TRUE(yielded);
  EXPECT_EQ(yielded->code(), "NetStream.Buffer.Full");
}

TEST(RTMPStreamTests, ANewStatusSequenceFinishesTheOldOne) {
  Fixture fixture;
  auto first = blockOn(fixture.stream->status());
  auto second = blockOn(fixture.stream->status());
  EXPECT_FALSE(blockOn(first.next()));
  blockOn(fixture.stream->dispatch(RTMPUserControlMessage::Event::bufferEmpty));
  EXPECT_EQ(blockOn(second.next())->code(), "NetStream.Buffer.Empty");
}

// On a manual clock: whatever a time-out does reaches the stream's strand
// before the next call into the stream does.
TEST(RTMPStreamTests, TimeOutsBelongToTheirOwnCommand) {
  // Unanswered: fails at the time-out, not before.
  Fixture silent(std::nullopt, 300ms);
  silent.connection->useManualClock();
  auto unanswered = silent.start(silent.stream->publish("key"));
  silent.connection->advance(299ms);
  EXPECT_EQ(blockOn(silent.stream->readyState()), StreamReadyState::publish) << "still waiting";
  silent.connection->advance(1ms);
  EXPECT_EQ(errorOf(unanswered), RTMPStream::Error::Case::requestTimedOut);
  EXPECT_EQ(blockOn(silent.stream->readyState()), StreamReadyState::idle);

  // Answered: its time-out, passing while the next command waits, cannot fail it.
  Fixture fixture(std::nullopt, 300ms);
  fixture.connection->useManualClock();
  fixture.publish();
  fixture.connection->advance(200ms);
  auto closing = fixture.start(fixture.stream->close());
  fixture.connection->advance(200ms);
  EXPECT_EQ(blockOn(fixture.stream->readyState()), StreamReadyState::idle);
  fixture.answer("NetStream.Unpublish.Success");
  EXPECT_EQ(closing.get().status()->code(), "NetStream.Unpublish.Success");
}

TEST(RTMPStreamTests, ASecondCommandFailsTheWaitingOne) {
  Fixture fixture;
  fixture.play();
  auto pausing = fixture.start(fixture.stream->pause(true));
  auto closing = fixture.start(fixture.stream->close());
  EXPECT_EQ(errorOf(pausing), RTMPStream::Error::Case::invalidState);
  fixture.answer("NetStream.Play.Stop");
  EXPECT_NO_THROW(closing.get());
}

TEST(RTMPStreamTests, PauseWaitsForTheStatusOfTheRequestedState) {
  Fixture fixture;
  fixture.play();
  auto pausing = fixture.start(fixture.stream->pause(true));
  EXPECT_EQ(fixture.sentNamed("pause").back().arguments.at(0), AMFValue(true));
  fixture.answer("NetStream.Unpause.Notify");
  EXPECT_EQ(pausing.wait_for(50ms), std::future_status::timeout);
  fixture.answer("NetStream.Pause.Notify");
  EXPECT_NO_THROW(pausing.get());
  EXPECT_TRUE(blockOn(fixture.stream->isPaused()));
  auto resuming = fixture.start(fixture.stream->togglePause());
  EXPECT_EQ(fixture.sentNamed("pause").back().arguments.at(0), AMFValue(false));
  fixture.answer("NetStream.Pause.Notify");
  EXPECT_EQ(resuming.wait_for(50ms), std::future_status::timeout);
  fixture.answer("NetStream.Unpause.Notify");
  EXPECT_NO_THROW(resuming.get());
  EXPECT_FALSE(blockOn(fixture.stream->isPaused()));
}

TEST(RTMPStreamTests, CommandsAreRefusedOutsideTheirStates) {
  Fixture fixture;
  const auto refused = [&](platform::Async<void> command) {
    try {
      blockOn(std::move(command));
    } catch (const RTMPStream::Error& error) {
      return error.errorCase() == RTMPStream::Error::Case::invalidState;
    }
    return false;
  };
  EXPECT_TRUE(refused(fixture.stream->seek(10)));
  EXPECT_TRUE(refused(fixture.stream->send("@setDataFrame", {})));
  const auto refusedResponse = [&](platform::Async<RTMPResponse> command) {
    auto future = launch(std::move(command));
    return errorOf(future) == RTMPStream::Error::Case::invalidState;
  };
  EXPECT_TRUE(refusedResponse(fixture.stream->close()));
  EXPECT_TRUE(refusedResponse(fixture.stream->publish(std::nullopt)));
  EXPECT_TRUE(refusedResponse(fixture.stream->pause(true)));
  fixture.publish();
  EXPECT_TRUE(refusedResponse(fixture.stream->publish("again")));
  EXPECT_TRUE(refusedResponse(fixture.stream->play({"other"})));
  EXPECT_TRUE(refused(fixture.stream->receiveVideo(false)));

  Fixture playing;
  playing.play();
  blockOn(playing.stream->seek(10));
  const auto seek = playing.sentNamed("seek");
  ASSERT_EQ(seek.size(), 1u);
  EXPECT_EQ(seek[0].arguments, (AMFList{10.0}));
  EXPECT_EQ(seek[0].chunkType, RTMPChunkType::zero);
}

TEST(RTMPStreamTests, DataMessagesKeepOneTimeLineOnTheirChunkStream) {
  Fixture fixture;
  EXPECT_ANY_THROW(blockOn(fixture.stream->send("onCuePoint", {})));
  fixture.publish();
  // The stream stamps data with the steady clock it reads itself: this lets
  // a measurable time pass between two messages; it waits for no event.
  std::this_thread::sleep_for(20ms);
  blockOn(fixture.stream->send("onCuePoint", {1}));
  blockOn(fixture.stream->send("onTextData", {2}, true));
  const auto sent = fixture.connection->sent();
  ASSERT_GE(sent.size(), 3u);
  const auto& metadata = sent[sent.size() - 3];
  const auto& cue = sent[sent.size() - 2];
  const auto& text = sent.back();
  EXPECT_EQ(metadata.chunkType, RTMPChunkType::zero);
  EXPECT_LT(metadata.timestamp, 20u);
  // A delta from the previous data message, whatever its handler.
  EXPECT_EQ(cue.chunkType, RTMPChunkType::one);
  EXPECT_GE(cue.timestamp, 20u);
  EXPECT_LT(cue.timestamp, 2000u);
  // Reset: whole again, counted from the start of the publication.
  EXPECT_EQ(text.chunkType, RTMPChunkType::zero);
  EXPECT_GE(text.timestamp, cue.timestamp);
}

TEST(RTMPStreamTests, EncodedMediaLeaveInOrderAndASecondPublicationStartsAtZero) {
  Fixture fixture;
  fixture.publish();
  for (int frame = 0; frame < 100; ++frame) blockOn(fixture.stream->append(testing::encodedFrameAt(1.0 + frame / 30.0)));
  // An audio sample buffer is no video.
  const auto audioTime = platform::CMTime::make(5, 1);
  blockOn(fixture.stream->append(
      testing::encodedFrame(testing::aacPacket(48000, 2)->format()->formatDescription(), audioTime, audioTime)));
  auto sent = fixture.connection->sent();
  std::vector<Captured> video;
  for (auto& message : sent) {
    if (message.chunkStreamId == RTMPChunkStreamId::video) video.push_back(message);
  }
  ASSERT_EQ(video.size(), 101u);
  EXPECT_EQ(video[0].payload[1], 0x00);
  std::uint32_t total = 0;
  for (std::size_t index = 1; index < video.size(); ++index) {
    EXPECT_EQ(video[index].payload[1], 0x01);
    total += video[index].timestamp;
  }
  EXPECT_NEAR(total, 3300u, 1);
  blockOn(fixture.stream->dispatch(fluvio::NetworkMonitorEvent::reset()));
  EXPECT_EQ(blockOn(fixture.stream->currentFPS()), 100);

  auto closing = fixture.start(fixture.stream->close());
  fixture.answer("NetStream.Unpublish.Success");
  closing.get();
  // The same format again, at times before the end of the first publication:
  // a new sequence header and a clock from zero.
  fixture.publish();
  const std::size_t firstPublication = fixture.connection->sent().size();
  blockOn(fixture.stream->append(testing::encodedFrameAt(0.5)));
  blockOn(fixture.stream->append(testing::encodedFrameAt(0.75)));
  sent = fixture.connection->sent();
  video.clear();
  for (std::size_t index = firstPublication; index < sent.size(); ++index) {
    if (sent[index].chunkStreamId == RTMPChunkStreamId::video) video.push_back(sent[index]);
  }
  ASSERT_EQ(video.size(), 3u);
  EXPECT_EQ(video[0].chunkType, RTMPChunkType::zero);
  EXPECT_EQ(video[0].payload[1], 0x00);
  EXPECT_EQ(video[0].timestamp, 0u);
  EXPECT_EQ(video[1].payload[1], 0x01);
  EXPECT_EQ(video[1].timestamp, 0u);
  EXPECT_EQ(video[2].payload[1], 0x01);
  EXPECT_EQ(video[2].timestamp, 250u);
}

// While a body waits to be written the rest wait in the stream, where the
// backlog's bound applies; frames count as sent once the server has them.
TEST(RTMPStreamTests, FramesCountAsSentOnlyOnceTheServerAcknowledgedThem) {
  Fixture fixture;
  // Raw frames wait for the encoder, which does not run before a publication.
  for (int frame = 0; frame < 3; ++frame) {
    blockOn(fixture.stream->append(fluvio::testing::rawVideoFrame(frame, platform::CMTime::make(frame, 30))));
  }
  EXPECT_EQ(blockOn(fixture.stream->info()).videoFramesSent, 0);
  fixture.publish();
  fixture.connection->holdWrites();
  for (const double time : {1.0, 1.1, 1.1, 1.2}) blockOn(fixture.stream->append(testing::encodedFrameAt(time)));
  blockOn(fixture.stream->append(testing::aacPacket(48000, 2), testing::audioTimeAt(1.0)));
  const auto bodies = [&] {
    std::size_t count = 0;
    for (const auto& message : fixture.connection->sent()) {
      count += message.chunkStreamId == RTMPChunkStreamId::video && message.payload[1] == 0x01;
    }
    return count;
  };
  EXPECT_EQ(bodies(), 1u) << "only one body is handed over while it waits";
  const auto info = blockOn(fixture.stream->info());
  EXPECT_EQ(info.videoFramesSent, 0) << "handed over is not sent";
  EXPECT_EQ(info.videoFramesNotDelivered(), 1);
  // The repeated time is dropped; the sequence header and the sound are no frames.
  fixture.connection->releaseWrites();
  EXPECT_TRUE(platform::testing::eventually([&] { return blockOn(fixture.stream->info()).videoFramesSent == 3; }));
  EXPECT_EQ(bodies(), 3u);
  EXPECT_EQ(blockOn(fixture.stream->info()).videoFramesNotDelivered(), 0);
}

TEST(RTMPStreamTests, ARefusalCarriesTheServersCodeAndDescription) {
  Fixture fixture;
  auto published = fixture.start(fixture.stream->publish("taken"));
  const RTMPCommandMessage refusal(1, 0, RTMPObjectEncoding::amf0, "onStatus", 0, std::nullopt,
                                   {AMFObject{{"level", "error"},
                                              {"code", "NetStream.Publish.BadName"},
                                              {"description", "Already publishing"}}});
  blockOn(fixture.stream->dispatch(refusal, RTMPChunkType::zero));
  try {
    published.get();
    ADD_FAILURE() << "published";
  } catch (const RTMPStream::Error& error) {
    EXPECT_EQ(error.errorCase(), RTMPStream::Error::Case::requestFailed);
    EXPECT_STREQ(error.what(), "RTMPStream.Error.requestFailed: NetStream.Publish.BadName: Already publishing");
  }
  // Without a description the code stands alone; without a status, the case alone.
  fixture.publish();
  auto closing = fixture.start(fixture.stream->close());
  fixture.answer("NetStream.Failed", "error");
  try {
    closing.get();
    ADD_FAILURE() << "closed";
  } catch (const RTMPStream::Error& error) {
    EXPECT_STREQ(error.what(), "RTMPStream.Error.requestFailed: NetStream.Failed");
  }
  EXPECT_STREQ(RTMPStream::Error(RTMPStream::Error::Case::requestTimedOut).what(), "RTMPStream.Error.requestTimedOut");
}

TEST(RTMPStreamTests, ReceivedDataSetsMetadataAndSampleAccess) {
  Fixture fixture;
  AMFArray metadata;
  metadata.dict = {{"width", 640.0}};
  const auto received = [&](std::string handler, AMFList arguments) {
    blockOn(fixture.stream->dispatch(RTMPDataMessage(1, 0, RTMPObjectEncoding::amf0, std::move(handler), std::move(arguments)),
                                     RTMPChunkType::zero));
  };
  received("onMetaData", {metadata});
  EXPECT_EQ(blockOn(fixture.stream->metadata()), metadata);
  received("onMetaData", {"not an array"});
  EXPECT_EQ(blockOn(fixture.stream->metadata()), AMFArray());
  const auto infoBefore = blockOn(fixture.stream->info()).byteCount;
  received("|RtmpSampleAccess", {false, true});
  EXPECT_GT(blockOn(fixture.stream->info()).byteCount, infoBefore);
}

// Every observer gets every change, and a new observer adds nothing to the
// sequences of the others.
TEST(RTMPStreamTests, ReadyStateAndFrameRateArePublishedAsTheyChange) {
  Fixture fixture;
  auto states = blockOn(fixture.stream->readyStatePublisher());
  auto observer = blockOn(fixture.stream->readyStatePublisher());
  for (auto* sequence : {&states, &observer}) {
    EXPECT_EQ(nextWithin(*sequence), StreamReadyState::idle) << "the present state first";
  }
  fixture.publish();
  for (auto* sequence : {&states, &observer}) {
    EXPECT_EQ(nextWithin(*sequence), StreamReadyState::publish);
    EXPECT_EQ(nextWithin(*sequence), StreamReadyState::publishing);
  }
  auto late = blockOn(fixture.stream->readyStatePublisher());
  EXPECT_EQ(nextWithin(late), StreamReadyState::publishing);
  auto closing = fixture.start(fixture.stream->close());
  fixture.answer("NetStream.Unpublish.Success");
  closing.get();
  EXPECT_EQ(blockOn(states.next()), StreamReadyState::idle);
  EXPECT_EQ(nextWithin(observer), StreamReadyState::idle) << "the late observer added nothing here";
  // A refused play goes to play and back.
  auto played = fixture.start(fixture.stream->play({"missing"}));
  fixture.answer("NetStream.Play.StreamNotFound", "error");
  EXPECT_EQ(errorOf(played), RTMPStream::Error::Case::requestFailed);
  EXPECT_EQ(blockOn(states.next()), StreamReadyState::play);
  EXPECT_EQ(blockOn(states.next()), StreamReadyState::idle);

  auto rates = blockOn(fixture.stream->currentFPSPublisher());
  auto rateObserver = blockOn(fixture.stream->currentFPSPublisher());
  for (const double time : {1.0, 1.1, 1.2}) blockOn(fixture.stream->append(testing::encodedFrameAt(time)));
  blockOn(fixture.stream->dispatch(fluvio::NetworkMonitorEvent::reset()));
  for (auto* sequence : {&rates, &rateObserver}) EXPECT_EQ(nextWithin(*sequence), 3) << "the newest value";
  blockOn(fixture.stream->dispatch(fluvio::NetworkMonitorEvent::reset()));
  for (auto* sequence : {&rates, &rateObserver}) EXPECT_EQ(nextWithin(*sequence), 0);
  EXPECT_EQ(blockOn(fixture.stream->currentFPS()), 0);
}

TEST(RTMPStreamTests, HowToPublishIsMadeFromItsRawValueOnly) {
  using HowToPublish = RTMPStream::HowToPublish;
  for (const auto type : {HowToPublish::record, HowToPublish::append, HowToPublish::appendWithGap, HowToPublish::live}) {
    EXPECT_EQ(howToPublishFromRawValue(rawValue(type)), type) << rawValue(type);
  }
  EXPECT_EQ(rawValue(HowToPublish::appendWithGap), "appendWithGap");
  for (const std::string_view other : {"", "Live", "live ", "appendwithgap", "recorded"}) {
    EXPECT_FALSE(howToPublishFromRawValue(other)) << other;
  }
}

// Counts the frames a stream hands it.
class CountingOutput : public fluvio::StreamOutput {
 public:
  void stream(fluvio::StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>&,
              const std::shared_ptr<platform::AVAudioTime>&) override {}
  void stream(fluvio::StreamConvertible&, const platform::CMSampleBuffer&) override { ++frames; }
  std::atomic<int> frames = 0;
};

// A preview whose frames reach `shown` on its own strand.
class PromisingPreview final : public fluvio::PreviewOutput {
 public:
  explicit PromisingPreview(Key key) : PreviewOutput(key, platform::globalExecutor()) {}
  std::promise<void> shown;

 protected:
  void show(const platform::CMSampleBuffer&) override { shown.set_value(); }
};

TEST(RTMPStreamTests, ServerSampleAccessWithholdsRawVideoFromOutputsButNotFromPreviews) {
  for (const bool videoAccess : {false, true}) {
    Fixture fixture;
    const auto output = std::make_shared<CountingOutput>();
    const auto preview = platform::Actor::make<PromisingPreview>();
    blockOn(fixture.stream->addOutput(output));
    blockOn(fixture.stream->addOutput(preview));
    blockOn(fixture.stream->dispatch(
        RTMPDataMessage(1, 0, RTMPObjectEncoding::amf0, "|RtmpSampleAccess", {true, videoAccess}), RTMPChunkType::zero));
    blockOn(fixture.stream->append(fluvio::testing::rawVideoFrame(0, platform::CMTime::make(0, 30))));
    EXPECT_EQ(output->frames, videoAccess ? 1 : 0) << videoAccess;
    EXPECT_EQ(preview->shown.get_future().wait_for(10s), std::future_status::ready) << videoAccess;
  }
}

// Runs `body` on the stream's strand, as the stream's own work runs.
template <class Body>
auto onStrand(RTMPStream& stream, Body body) {
  return blockOn([](RTMPStream& stream, Body body) -> platform::Async<decltype(body(stream.outgoing()))> {
    co_await asio::post(stream.strand(), asio::use_awaitable);
    co_return body(stream.outgoing());
  }(stream, std::move(body)));
}

TEST(RTMPStreamTests, AFailedPlayStopsTheEncodersToo) {
  for (const auto& [code, level] : std::vector<std::pair<std::string, std::string>>{
           {"NetStream.Play.Start", "status"}, {"NetStream.Play.StreamNotFound", "error"}}) {
    Fixture fixture;
    onStrand(*fixture.stream, [](fluvio::OutgoingStream& outgoing) { outgoing.startRunning(); });
    auto played = fixture.start(fixture.stream->play({"name"}));
    fixture.answer(code, level);
    const bool fails = level == "error";
    if (fails) {
      EXPECT_EQ(errorOf(played), RTMPStream::Error::Case::requestFailed);
    } else {
      EXPECT_NO_THROW(played.get());
    }
    EXPECT_EQ(onStrand(*fixture.stream, [](fluvio::OutgoingStream& outgoing) { return outgoing.isRunning(); }), !fails)
        << code;
  }
}

TEST(RTMPStreamTests, SettingsWithoutAnRTMPFormIsRefused) {
  Fixture fixture;
  EXPECT_THROW(blockOn(fixture.stream->setAudioSettings(fluvio::AudioCodecSettings(64000, true, std::nullopt, 0,
                                                                                     fluvio::AudioCodecFormat::pcm))),
               RTMPStream::Error);
  for (const auto format : {fluvio::AudioCodecFormat::aac, fluvio::AudioCodecFormat::opus}) {
    blockOn(fixture.stream->setAudioSettings(fluvio::AudioCodecSettings(96000, true, std::nullopt, 0, format)));
    EXPECT_EQ(blockOn(fixture.stream->audioSettings()).format, format);
  }
}

}  // namespace
}  // namespace rtmpfluvio
