#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::concatenated;
using testing::errorOf;
constexpr auto written = testing::written<AMF0Serializer>;
constexpr auto read = testing::read<AMF0Serializer>;

const Bytes kOne = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
const Bytes kTwo = {0x40, 0x00, 0, 0, 0, 0, 0, 0};
const Bytes kObjectEnd = {0x00, 0x00, 0x09};

TEST(AMF0SerializerTests, WritesEveryKindByteExact) {
  AMFArray ecma{true};
  AMFArray mixed{1};
  mixed.set("k", AMFNull{});
  const std::pair<AMFValue, Bytes> table[] = {
      {AMFNull{}, {0x05}},
      {true, {0x01, 0x01}},
      {false, {0x01, 0x00}},
      {1, concatenated({{0x00}, kOne})},
      {std::uint64_t{2}, concatenated({{0x00}, kTwo})},
      {1.0f, concatenated({{0x00}, kOne})},
      {"ab", {0x02, 0x00, 0x02, 'a', 'b'}},
      {"", {0x02, 0x00, 0x00}},
      {AMFList{}, {0x0A, 0, 0, 0, 0}},
      {AMFList{true, AMFNull{}}, {0x0A, 0, 0, 0, 2, 0x01, 0x01, 0x05}},
      {AMFObject{{"a", 1}}, concatenated({{0x03, 0x00, 0x01, 'a', 0x00}, kOne, kObjectEnd})},
      {AMFObject{}, concatenated({{0x03}, kObjectEnd})},
      {ecma, concatenated({{0x08, 0, 0, 0, 1, 0x00, 0x01, '0', 0x01, 0x01}, kObjectEnd})},
      {mixed, concatenated({{0x08, 0, 0, 0, 1, 0x00, 0x01, '0', 0x00}, kOne, {0x00, 0x01, 'k', 0x05}, kObjectEnd})},
      {AMFDate(std::chrono::seconds(1)), {0x0B, 0x40, 0x8F, 0x40, 0, 0, 0, 0, 0, 0x00, 0x00}},
      {kAMFUndefined, {0x06}},
      {AMFTypedObject{"T", {}}, {0x06}},
      {AMFXMLDocument{"<a/>"}, {0x06}},
      {AMFByteArray{1, 2}, {0x06}},
      {AMFObject{{"o", AMFObject{{"l", AMFList{"x"}}}}},
       concatenated({{0x03, 0x00, 0x01, 'o', 0x03, 0x00, 0x01, 'l', 0x0A, 0, 0, 0, 1, 0x02, 0x00, 0x01, 'x'},
                     kObjectEnd,
                     kObjectEnd})},
  };
  for (const auto& [value, bytes] : table) EXPECT_EQ(written(value), bytes) << value;
}

TEST(AMF0SerializerTests, SwitchesToLongStringsAbove65535Bytes) {
  const std::string longest(65535, 'x');
  const Bytes shortForm = written(longest);
  EXPECT_EQ(shortForm.size(), 3u + 65535u);
  EXPECT_EQ(Bytes(shortForm.begin(), shortForm.begin() + 3), (Bytes{0x02, 0xFF, 0xFF}));
  EXPECT_EQ(read(shortForm), AMFValue(longest));
  const std::string shortest(65536, 'y');
  const Bytes firstLong = written(shortest);
  EXPECT_EQ(firstLong.size(), 5u + 65536u);
  EXPECT_EQ(Bytes(firstLong.begin(), firstLong.begin() + 5), (Bytes{0x0C, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(read(firstLong), AMFValue(shortest));

  std::string threeByteCharacters;
  for (int index = 0; index < 30000; ++index) threeByteCharacters += "\u20AC";
  const Bytes longForm = written(threeByteCharacters);
  EXPECT_EQ(longForm.size(), 5u + 90000u);
  EXPECT_EQ(Bytes(longForm.begin(), longForm.begin() + 5), (Bytes{0x0C, 0x00, 0x01, 0x5F, 0x90}));
  EXPECT_EQ(read(longForm), AMFValue(threeByteCharacters));
}

TEST(AMF0SerializerTests, RefusesKeysTheFormatCannotCarry) {
  const std::string tooLong(65536, 'k');
  EXPECT_EQ(errorOf([&] { written(AMFObject{{tooLong, 1}}); }), "AMFSerializerError.serialize");
  EXPECT_EQ(errorOf([&] { written(AMFObject{{"", 1}}); }), "AMFSerializerError.serialize");
  AMFArray array;
  array.set("", 1);
  EXPECT_EQ(errorOf([&] { written(array); }), "AMFSerializerError.serialize");
  AMF0Serializer serializer;
  EXPECT_EQ(errorOf([&] { serializer.serializeUTF8(tooLong, false); }), "AMFSerializerError.serialize");
  serializer.serializeUTF8("ab", true);
  EXPECT_EQ(serializer.data(), (Bytes{0, 0, 0, 2, 'a', 'b'}));

  // A refused value leaves no part of itself behind.
  EXPECT_EQ(errorOf([&] { serializer.serialize(AMFList{"before", AMFObject{{"", 1}}}); }),
            "AMFSerializerError.serialize");
  EXPECT_EQ(serializer.data(), (Bytes{0, 0, 0, 2, 'a', 'b'}));
  EXPECT_EQ(serializer.position(), 6u);
  // Nor do values written in one go with it, even those before it.
  const AMFList values = {"before", AMFObject{{"", 1}}};
  EXPECT_EQ(errorOf([&] { serializer.serializeEach(values); }), "AMFSerializerError.serialize");
  EXPECT_EQ(serializer.data(), (Bytes{0, 0, 0, 2, 'a', 'b'}));
  EXPECT_EQ(serializer.position(), 6u);
}

// Writes at the end grow the buffer as they go; what came before stays, and
// the length and position end right after the last byte written.
TEST(AMF0SerializerTests, AppendsAcrossGrowthByteExact) {
  AMF0Serializer serializer;
  Bytes expected;
  AMFList values;
  for (int index = 0; index < 200; ++index) {
    const std::string text = "value-" + std::to_string(index);
    values.push_back(AMFValue(text));
    serializer.serialize(AMFValue(text));
    expected.insert(expected.end(), {0x02, 0x00, static_cast<std::uint8_t>(text.size())});
    expected.insert(expected.end(), text.begin(), text.end());
    ASSERT_EQ(serializer.length(), expected.size()) << index;
    ASSERT_EQ(serializer.position(), expected.size()) << index;
  }
  EXPECT_EQ(serializer.data(), expected);

  // The same values in one write, and one text far longer than any room
  // claimed at once, read back whole.
  AMF0Serializer together;
  together.serializeEach(values);
  EXPECT_EQ(together.data(), expected);
  const std::string large(5000, 'q');
  together.serializeString(large);
  EXPECT_EQ(together.length(), expected.size() + 3 + large.size());
  together.setPosition(0);
  for (const AMFValue& value : values) ASSERT_EQ(together.deserialize(), value);
  EXPECT_EQ(together.deserialize(), AMFValue(large));
  EXPECT_EQ(together.bytesAvailable(), 0);

  // A refusal after growing cuts off only its own bytes; the next write
  // follows the earlier ones directly.
  const std::size_t before = together.length();
  EXPECT_EQ(errorOf([&] { together.serialize(AMFList{std::string(3000, 'r'), AMFObject{{"", 1}}}); }),
            "AMFSerializerError.serialize");
  EXPECT_EQ(together.length(), before);
  EXPECT_EQ(together.position(), before);
  together.serialize(true);
  EXPECT_EQ(together.length(), before + 2);
  EXPECT_EQ(Bytes(together.data().end() - 2, together.data().end()), (Bytes{0x01, 0x01}));
}

// Inside the buffer, a refused value changes none of the bytes it would
// have covered.
TEST(AMF0SerializerTests, RefusalInsideTheBufferChangesNothing) {
  const Bytes original(16, 9);
  AMF0Serializer serializer(original);
  serializer.setPosition(2);
  EXPECT_EQ(errorOf([&] { serializer.serialize(AMFList{"abc", AMFObject{{"", 1}}}); }),
            "AMFSerializerError.serialize");
  EXPECT_EQ(serializer.data(), original);
  EXPECT_EQ(serializer.position(), 2u);
  serializer.serialize(AMFList{"abc"});
  EXPECT_EQ(serializer.data(), (Bytes{9, 9, 0x0A, 0, 0, 0, 1, 0x02, 0, 3, 'a', 'b', 'c', 9, 9, 9}));
}

// A value written inside the buffer replaces the bytes there and appends what
// reaches past the end; one written past the end follows zero bytes.
TEST(AMF0SerializerTests, WritesAtThePositionLikeAnyOtherWrite) {
  struct Case {
    Bytes before;
    std::size_t position;
    Bytes after;
  };
  const Case cases[] = {
      {{9, 9, 9, 9, 9, 9}, 1, {9, 0x01, 0x01, 9, 9, 9}},
      {{9, 9, 9}, 2, {9, 9, 0x01, 0x01}},
      {{9}, 3, {9, 0, 0, 0x01, 0x01}},
  };
  for (const Case& each : cases) {
    AMF0Serializer serializer(each.before);
    serializer.setPosition(each.position);
    serializer.serialize(true);
    EXPECT_EQ(serializer.data(), each.after) << each.position;
    EXPECT_EQ(serializer.position(), each.position + 2);
  }
}

TEST(AMF0SerializerTests, ReadsWhatPeersSend) {
  // Any non-zero byte is true.
  EXPECT_EQ(read({0x01, 0x02}), AMFValue(true));
  EXPECT_EQ(read({0x01, 0x00}), AMFValue(false));

  AMF0Serializer object(Bytes{0x03, 0x00, 0x01, 'a', 0x05, 0x00, 0x00, 0x09});
  EXPECT_EQ(object.deserialize(), AMFValue(AMFObject{{"a", AMFNull{}}}));
  EXPECT_EQ(object.bytesAvailable(), 0);

  // Index keys fill the pre-filled dense part.
  const Bytes ecma = concatenated({{0x08, 0, 0, 0, 2, 0x00, 0x01, '1', 0x00}, kTwo, kObjectEnd});
  EXPECT_EQ(read(ecma), AMFValue(AMFArray{kAMFUndefined, 2.0}));

  // A later entry replaces an earlier one.
  const Bytes duplicate = concatenated({{0x03, 0x00, 0x01, 'a', 0x01, 0x00, 0x00, 0x01, 'a', 0x01, 0x01}, kObjectEnd});
  EXPECT_EQ(read(duplicate), AMFValue(AMFObject{{"a", true}}));

  // Keys long enough to live outside the string's own room read back too, and
  // replace in place when repeated.
  const std::string longKey = "videokeyframe_frequency";
  Bytes longKeys = {0x03};
  for (const AMFValue& value : {AMFValue(1.0), AMFValue(2.0)}) {
    longKeys.insert(longKeys.end(), {0x00, static_cast<std::uint8_t>(longKey.size())});
    longKeys.insert(longKeys.end(), longKey.begin(), longKey.end());
    longKeys.insert(longKeys.end(), {0x00});
    const Bytes number = value == AMFValue(1.0) ? kOne : kTwo;
    longKeys.insert(longKeys.end(), number.begin(), number.end());
  }
  longKeys.insert(longKeys.end(), kObjectEnd.begin(), kObjectEnd.end());
  EXPECT_EQ(read(longKeys), AMFValue(AMFObject{{longKey, 2.0}}));
  longKeys[0] = 0x08;
  longKeys.insert(longKeys.begin() + 1, {0, 0, 0, 0});
  AMFArray named;
  named.dict = AMFObject{{longKey, 2.0}};
  EXPECT_EQ(read(longKeys), AMFValue(named));

  // The time-zone bytes need not be present.
  AMF0Serializer date(Bytes{0x0B, 0x40, 0x8F, 0x40, 0, 0, 0, 0, 0});
  EXPECT_EQ(date.deserialize(), AMFValue(AMFDate(std::chrono::seconds(1))));
  EXPECT_EQ(date.bytesAvailable(), -2);

  EXPECT_EQ(read({0x0F, 0, 0, 0, 4, '<', 'a', '/', '>'}), AMFValue(AMFXMLDocument{"<a/>"}));
  EXPECT_EQ(read(concatenated({{0x10, 0x00, 0x01, 'T', 0x00, 0x01, 'a', 0x00}, kOne, kObjectEnd})),
            AMFValue(AMFTypedObject{"T", {{"a", 1.0}}}));
}

// Objects and ECMA arrays of every size read back whole and in order, as
// they grow past their first room and past the size where they index their
// keys; a repeated key replaces its value where it stands.
TEST(AMF0SerializerTests, ReadsBackObjectsOfEverySizeInOrder) {
  for (const std::size_t size : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 70u}) {
    AMFObject object;
    for (std::size_t index = 0; index < size; ++index) {
      // Keys and texts both within and beyond a string's own room.
      const std::string key = std::string(1 + index % 30, static_cast<char>('a' + index % 26)) + std::to_string(index);
      const AMFValue kinds[] = {AMFValue(static_cast<double>(index)), AMFValue(index % 2 == 0),
                                AMFValue(std::string(index % 40, 't')), AMFValue(AMFNull{}),
                                AMFValue(AMFObject{{"n", static_cast<double>(index)}})};
      object.set(key, kinds[index % std::size(kinds)]);
    }
    AMFArray array;
    array.dict = object;
    for (const AMFValue& container : {AMFValue(object), AMFValue(array)}) {
      Bytes bytes = written(container);
      const AMFValue back = read(bytes);
      ASSERT_EQ(back, container) << size;
      const AMFObject& entries = back.is<AMFObject>() ? *back.as<AMFObject>() : back.as<AMFArray>()->dict;
      ASSERT_EQ(entries.size(), size);
      for (std::size_t index = 0; index < size; ++index) {
        EXPECT_EQ(entries.begin()[index].first, object.begin()[index].first) << size << " " << index;
      }
      if (size == 0) continue;

      // The first key again, last, with a value of its own.
      const std::string& first = object.begin()->first;
      const Bytes repeat = concatenated({{0x00, static_cast<std::uint8_t>(first.size())},
                                         Bytes(first.begin(), first.end()),
                                         {0x02, 0x00, 0x04, 'l', 'a', 's', 't'}});
      bytes.insert(bytes.end() - 3, repeat.begin(), repeat.end());
      const AMFValue replaced = read(bytes);
      const AMFObject& replacedEntries =
          replaced.is<AMFObject>() ? *replaced.as<AMFObject>() : replaced.as<AMFArray>()->dict;
      EXPECT_EQ(replacedEntries.size(), size);
      EXPECT_EQ(replacedEntries.begin()->first, first);
      EXPECT_EQ(replacedEntries.begin()->second, AMFValue("last"));
    }
  }
}

// Every kind that AMF0 carries reads back as it was written, in two fixtures
// whose values differ everywhere: keys and texts within and beyond a string's
// own room, non-ASCII ones, objects at the usual room and just past it.
TEST(AMF0SerializerTests, RoundTripsEveryKindInTwoFixtures) {
  const auto fixture = [](int seed, const std::string& word) {
    AMFObject usual;
    AMFObject pastUsual;
    for (int index = 0; index < 17; ++index) {
      const std::string key = word + "_key_" + std::to_string(index);
      if (index < 16) usual.set(key, seed * 100.0 + index);
      pastUsual.set(key, index % 2 == 0 ? AMFValue(word + std::to_string(index)) : AMFValue(index % 3 == 0));
    }
    AMFArray ecma{seed * 1.0, word};
    ecma.dict = AMFObject{{word + "été", AMFNull{}}, {"videokeyframe_frequency", seed / 4.0}};
    return AMFList{
        AMFNull{},
        kAMFUndefined,
        seed % 2 == 0,
        seed * 1.5,
        -seed * 1e300,
        word,
        std::string(40 + seed, 'x'),
        word + "€😀",
        AMFDate(std::chrono::milliseconds(1700000000000 + seed)),
        AMFList{word, seed * 1.0, AMFList{}},
        AMFObject{{word, AMFObject{{"inner", word}}}, {"über", seed * 2.0}},
        usual,
        pastUsual,
        ecma,
        AMFObject{},
    };
  };
  for (const auto& [seed, word] : {std::pair{2, std::string("alpha")}, std::pair{7, std::string("Zeta-long-word")}}) {
    const AMFList values = fixture(seed, word);
    AMF0Serializer serializer;
    serializer.serializeEach(values);
    serializer.setPosition(0);
    for (const AMFValue& value : values) EXPECT_EQ(serializer.deserialize(), value) << word << ": " << value;
    EXPECT_EQ(serializer.bytesAvailable(), 0) << word;
  }
  EXPECT_NE(fixture(2, "alpha"), fixture(7, "Zeta-long-word"));
}

// A strict array's count is held to the bytes that could back it: one byte
// per element reads, one element more than the bytes is refused.
TEST(AMF0SerializerTests, StrictArrayCountsAreHeldToTheirBytes) {
  EXPECT_EQ(read({0x0A, 0, 0, 0, 3, 0x05, 0x05, 0x05}), AMFValue(AMFList{AMFNull{}, AMFNull{}, AMFNull{}}));
  EXPECT_EQ(errorOf([] { read({0x0A, 0, 0, 0, 4, 0x05, 0x05, 0x05}); }), "ByteArray.Error.eof");
}

TEST(AMF0SerializerTests, MarkersWithoutAValueYieldNullAfterOneByte) {
  for (const std::uint8_t marker : {0x04, 0x09, 0x0D, 0x0E, 0x12, 0xFF}) {
    AMF0Serializer serializer(Bytes{marker, 0x00});
    EXPECT_TRUE(serializer.deserialize().isNull()) << int(marker);
    EXPECT_EQ(serializer.position(), 1u);
  }
}

TEST(AMF0SerializerTests, RefusesReferencesAndTheAMF3Switch) {
  EXPECT_EQ(errorOf([] { read({0x07, 0x00, 0x00}); }), "AMFSerializerError.deserialize");
  EXPECT_EQ(errorOf([] { read({0x11, 0x02}); }), "AMFSerializerError.deserialize");
}

TEST(AMF0SerializerTests, ReadsCommandFieldsOnTheirOwn) {
  AMF0Serializer null(Bytes{0x05});
  EXPECT_TRUE(null.deserializeObject().empty());
  AMF0Serializer text(Bytes{0x02, 0x00, 0x00});
  EXPECT_EQ(errorOf([&] { text.deserializeObject(); }), "AMFSerializerError.deserialize");

  AMF0Serializer transaction(Bytes{0x00, 0x40, 0x08, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCD});
  EXPECT_EQ(transaction.deserializeInt(), 3);
  AMF0Serializer negative;
  negative.serialize(-2.9);
  negative.setPosition(0);
  EXPECT_EQ(negative.deserializeInt(), -2);

  const double rejected[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 9223372036854775808.0, -1e19};
  for (const double number : rejected) {
    AMF0Serializer serializer;
    serializer.serialize(number);
    serializer.setPosition(0);
    EXPECT_EQ(errorOf([&] { serializer.deserializeInt(); }), "AMFSerializerError.deserialize") << number;
  }
  AMF0Serializer lowest;
  lowest.serialize(-9223372036854775808.0);
  lowest.setPosition(0);
  EXPECT_EQ(lowest.deserializeInt(), std::numeric_limits<std::int64_t>::min());
}

TEST(AMF0SerializerTests, ArrayReadersOnTheirOwnTakeTheirMarkerAndNullOnlyWhereAllowed) {
  const Bytes ecma{0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, '0', 0x01, 0x01, 0x00, 0x00, 0x09};
  const Bytes strict{0x0A, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01};
  struct Case {
    Bytes bytes;
    std::string ecmaResult;    // the dense length read, or the error
    std::string strictResult;  // the element count read, or the error
  };
  const std::string refused = "AMFSerializerError.deserialize";
  const Case cases[] = {
      {ecma, "1", refused},
      {strict, refused, "1"},
      {{0x05}, "0", refused},
      {{0x03, 0x00, 0x00, 0x09}, refused, refused},
  };
  for (const Case& each : cases) {
    const auto ecmaResult = [&] {
      AMF0Serializer serializer(each.bytes);
      try {
        const auto array = serializer.deserializeECMAArray();
        EXPECT_EQ(serializer.bytesAvailable(), 0);
        return std::to_string(array.length());
      } catch (const std::exception& error) {
        return std::string(error.what());
      }
    }();
    const auto strictResult = [&] {
      AMF0Serializer serializer(each.bytes);
      try {
        const auto list = serializer.deserializeStrictArray();
        EXPECT_EQ(serializer.bytesAvailable(), 0);
        return std::to_string(list.size());
      } catch (const std::exception& error) {
        return std::string(error.what());
      }
    }();
    EXPECT_EQ(ecmaResult, each.ecmaResult);
    EXPECT_EQ(strictResult, each.strictResult);
  }
}

TEST(AMF0SerializerTests, RoundTripsACommandInOrder) {
  AMFArray metadata;
  metadata.set("width", 1280);
  metadata.set("duration", 0.0);
  const AMFList command = {
      "connect",
      1,
      AMFObject{{"app", "live"}, {"tcUrl", "rtmp://127.0.0.1/live"}, {"fpad", false}, {"capabilities", 239},
                {"objectEncoding", 0}},
      metadata,
      AMFNull{},
      kAMFUndefined,
      AMFDate(std::chrono::milliseconds(1700000000123)),
  };
  AMF0Serializer serializer;
  for (const AMFValue& value : command) serializer.serialize(value);
  const Bytes bytes = serializer.data();
  serializer.setPosition(0);
  for (const AMFValue& value : command) {
    const AMFValue decoded = serializer.deserialize();
    // Numbers come back as doubles.
    if (const auto* integer = value.as<std::int64_t>()) {
      EXPECT_EQ(decoded, AMFValue(static_cast<double>(*integer)));
    } else if (!value.is<AMFObject>() && !value.is<AMFArray>()) {
      EXPECT_EQ(decoded, value);
    }
  }
  EXPECT_EQ(serializer.bytesAvailable(), 0);
  // Writing them in one go gives the same bytes, and leaves the position
  // behind them.
  AMF0Serializer inOneGo;
  inOneGo.serializeEach(command);
  EXPECT_EQ(inOneGo.data(), bytes);
  EXPECT_EQ(inOneGo.position(), bytes.size());
}

TEST(AMF0SerializerTests, SurvivesHostileInput) {
  // Counts that the remaining bytes cannot back.
  EXPECT_EQ(errorOf([] { read({0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0x05}); }), "ByteArray.Error.eof");
  EXPECT_EQ(errorOf([] { read({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}); }), "ByteArray.Error.eof");
  EXPECT_EQ(errorOf([] { read({0x0F, 0xFF, 0xFF, 0xFF, 0xFF}); }), "ByteArray.Error.eof");
  const AMFValue ecma = read({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x09});
  ASSERT_TRUE(ecma.is<AMFArray>());
  EXPECT_LE(ecma.as<AMFArray>()->length(), 8u / 4);
  const Bytes far = concatenated({{0x08, 0, 0, 0, 0, 0x00, 0x0A, '4', '2', '9', '4', '9', '6', '7', '2', '9', '5', 0x01, 0x01},
                                  kObjectEnd});
  EXPECT_EQ(read(far).as<AMFArray>()->length(), 0u);

  // Pre-fills and gaps of all arrays together stay within a quarter of the
  // input, however many arrays and far keys it holds.
  Bytes manyArrays = {0x0A, 0x00, 0x00, 0x40, 0x00};
  for (int index = 0; index < 0x4000; ++index) manyArrays.insert(manyArrays.end(), {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 9});
  std::size_t slots = 0;
  const AMFValue arrays = read(manyArrays);
  for (const AMFValue& array : *arrays.as<AMFList>()) slots += array.as<AMFArray>()->length();
  EXPECT_LE(slots, manyArrays.size() / 4);
  Bytes gaps = {0x08, 0, 0, 0, 0};
  for (int index = 1; index <= 0x4000; ++index) {
    const std::string key = std::to_string(index * AMFArray::kMaxDenseGap);
    gaps.insert(gaps.end(), {0x00, static_cast<std::uint8_t>(key.size())});
    gaps.insert(gaps.end(), key.begin(), key.end());
    gaps.push_back(0x05);
  }
  gaps.insert(gaps.end(), kObjectEnd.begin(), kObjectEnd.end());
  EXPECT_LE(read(gaps).as<AMFArray>()->length(), gaps.size() / 4 + 0x4000);

  // A nested array that spends the allowance leaves nothing for the gap its
  // own key opens in the outer array; the next pre-fill stays bounded.
  const Bytes overdraw = concatenated({{0x08, 0, 0, 0, 0, 0x00, 0x01, '1', 0x08, 0xFF, 0xFF, 0xFF, 0xFF},
                                       kObjectEnd,
                                       {0x00, 0x01, '2', 0x08, 0xFF, 0xFF, 0xFF, 0xFF},
                                       kObjectEnd,
                                       kObjectEnd});
  const AMFValue outer = read(overdraw);
  std::size_t filled = outer.as<AMFArray>()->length();
  for (const char* key : {"1", "2"}) filled += outer.as<AMFArray>()->get(std::string_view(key))->as<AMFArray>()->length();
  EXPECT_LE(filled, overdraw.size() / 4);

  // Nesting: 64 levels read, 65 do not.
  const auto nested = [](int depth) {
    Bytes bytes;
    for (int level = 0; level < depth; ++level) bytes.insert(bytes.end(), {0x0A, 0, 0, 0, 1});
    bytes.push_back(0x05);
    return bytes;
  };
  EXPECT_NO_THROW(read(nested(AMFSerializer::kMaxDepth)));
  EXPECT_EQ(errorOf([&] { read(nested(AMFSerializer::kMaxDepth + 1)); }), "AMFSerializerError.deserialize");
  EXPECT_EQ(errorOf([&] { read(nested(100000)); }), "AMFSerializerError.deserialize");

  // Text is checked whole, within and after its first eight bytes.
  EXPECT_EQ(errorOf([] { read({0x02, 0x00, 0x02, 0xC3, 0x28}); }), "ByteArray.Error.parse");
  EXPECT_EQ(errorOf([] { read({0x02, 0x00, 0x0A, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xC3, 0x28}); }),
            "ByteArray.Error.parse");
  EXPECT_EQ(errorOf([] { read({0x02, 0x00, 0x09, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x80}); }),
            "ByteArray.Error.parse");
  EXPECT_EQ(read({0x02, 0x00, 0x0B, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xE2, 0x82, 0xAC}),
            AMFValue("abcdefgh\u20AC"));

  AMFArray ecmaValue{1, "two"};
  ecmaValue.set("k", AMFObject{{"d", AMFDate(std::chrono::seconds(5))}});
  const AMFValue value = AMFList{"text", 2.5, true, AMFObject{{"x", AMFList{AMFNull{}}}}, ecmaValue,
                                 AMFTypedObject{"T", {}}};
  const Bytes encoding = written(value);
  testing::expectEveryTruncationFails<AMF0Serializer>(encoding);
  testing::expectEveryTruncationFails<AMF0Serializer>(
      concatenated({{0x10, 0x00, 0x01, 'T', 0x00, 0x01, 'a', 0x00}, kOne, kObjectEnd}));
}

}  // namespace
}  // namespace rtmpfluvio
