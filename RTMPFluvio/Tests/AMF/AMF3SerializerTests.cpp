#include "RTMPFluvio/Sources/AMF/AMF3Serializer.hpp"

#include <gtest/gtest.h>

#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::concatenated;
using testing::errorOf;
constexpr auto written = testing::written<AMF3Serializer>;
constexpr auto read = testing::read<AMF3Serializer>;

const Bytes kOne = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};

TEST(AMF3SerializerTests, WritesScalarsByteExact) {
  const std::pair<AMFValue, Bytes> table[] = {
      {AMFNull{}, {0x01}},
      {false, {0x02}},
      {true, {0x03}},
      {1, concatenated({{0x05}, kOne})},
      {"", {0x06, 0x01}},
      {kAMFUndefined, {0x00}},
      {AMFXML{"<a/>"}, {0x00}},
      {AMFDate(std::chrono::seconds(1)), {0x08, 0x01, 0x40, 0x8F, 0x40, 0, 0, 0, 0, 0}},
  };
  for (const auto& [value, bytes] : table) EXPECT_EQ(written(value), bytes) << value;
}

TEST(AMF3SerializerTests, WritesRepeatedStringsAndDatesAsReferences) {
  AMF3Serializer serializer;
  serializer.serialize("ab").serialize("ab").serialize("");
  EXPECT_EQ(serializer.data(), (Bytes{0x06, 0x05, 'a', 'b', 0x06, 0x00, 0x06, 0x01}));
  EXPECT_EQ(serializer.reference.strings, std::vector<std::string>{"ab"});

  AMF3Serializer dates;
  const AMFDate date(std::chrono::seconds(1));
  dates.serialize(date).serialize(date);
  const Bytes& bytes = dates.data();
  EXPECT_EQ(Bytes(bytes.end() - 2, bytes.end()), (Bytes{0x08, 0x00}));
}

TEST(AMF3SerializerTests, WritesVariableLengthIntegersAtTheirBoundaries) {
  // A string of n bytes carries the length header 2n + 1.
  const std::pair<std::size_t, Bytes> table[] = {
      {63, {0x7F}},
      {64, {0x81, 0x01}},
      {0x1FFF, {0xFF, 0x7F}},
      {8192, {0x81, 0x80, 0x01}},
      {0xFFFFF, {0xFF, 0xFF, 0x7F}},
      {1048576, {0x80, 0xC0, 0x80, 0x01}},
  };
  for (const auto& [size, header] : table) {
    const Bytes bytes = written(std::string(size, 'x'));
    EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 1 + static_cast<std::ptrdiff_t>(header.size())), header);
    EXPECT_EQ(read(bytes), AMFValue(std::string(size, 'x')));
  }
}

// Distinct strings "0", "1", ... standing in for the ones written before.
std::vector<std::string> stringTable(std::size_t count) {
  std::vector<std::string> strings;
  strings.reserve(count);
  for (std::size_t index = 0; index < count; ++index) strings.push_back(std::to_string(index));
  return strings;
}

TEST(AMF3SerializerTests, WritesReferenceIndexesAtTheVariableLengthBoundaries) {
  // A string reference to index i carries the header 2i.
  const std::pair<std::size_t, Bytes> table[] = {
      {63, {0x7E}},
      {64, {0x81, 0x00}},
      {0x1FFF, {0xFF, 0x7E}},
      {0x2000, {0x81, 0x80, 0x00}},
      {0xFFFFF, {0xFF, 0xFF, 0x7E}},
      {0x100000, {0x80, 0xC0, 0x80, 0x00}},
      {0x100040, {0x80, 0xC0, 0x80, 0x80}},  // the last byte keeps all eight bits
  };
  for (const auto& [index, header] : table) {
    const std::vector<std::string> strings = stringTable(index + 1);
    AMF3Serializer writer;
    writer.reference.strings = strings;
    writer.serialize(strings[index]);
    EXPECT_EQ(writer.data(), concatenated({{0x06}, header})) << index;

    AMF3Serializer reader(writer.data());
    reader.reference.strings = strings;
    EXPECT_EQ(reader.deserialize(), AMFValue(strings[index])) << index;
    EXPECT_EQ(reader.bytesAvailable(), 0) << index;
  }

  // Object references share the encoding.
  AMF3Serializer objects;
  for (int index = 0; index <= 64; ++index) objects.reference.objects.emplace_back(AMFList{index});
  objects.serialize(AMFList{64});
  EXPECT_EQ(objects.data(), (Bytes{0x09, 0x81, 0x00}));
}

TEST(AMF3SerializerTests, WritesTheLargestVariableLengthIntegerAndRefusesMore) {
  constexpr std::size_t kLongest = 0x0FFFFFFF;  // length header 0x1FFFFFFF
  AMF3Serializer serializer;
  serializer.serialize(std::string(kLongest, 'x'));
  serializer.reference.strings.clear();
  EXPECT_EQ(Bytes(serializer.data().begin(), serializer.data().begin() + 5), (Bytes{0x06, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(serializer.length(), kLongest + 5);
  serializer.setPosition(0);
  EXPECT_EQ(std::get<std::string>(serializer.deserialize().storage()).size(), kLongest);
  serializer.setData({});

  EXPECT_EQ(errorOf([] { written(std::string(kLongest + 1, 'x')); }), "AMFSerializerError.serialize");
}

TEST(AMF3SerializerTests, ReadsSigned29BitIntegers) {
  const std::pair<Bytes, std::int64_t> table[] = {
      {{0x04, 0x7F}, 127},
      {{0x04, 0x81, 0x00}, 128},
      {{0x04, 0xFF, 0x7F}, 16383},
      {{0x04, 0x81, 0x80, 0x00}, 16384},
      {{0x04, 0xFF, 0xFF, 0x7F}, 2097151},
      {{0x04, 0x80, 0xC0, 0x80, 0x00}, 2097152},
      {{0x04, 0xBF, 0xFF, 0xFF, 0xFF}, 268435455},
      {{0x04, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0x04, 0xC0, 0x80, 0x80, 0x00}, -268435456},
  };
  for (const auto& [bytes, value] : table) EXPECT_EQ(read(bytes), AMFValue(value));
}

TEST(AMF3SerializerTests, WritesArraysAndObjectsInThePublishedLayout) {
  EXPECT_EQ(written(AMFObject{}), (Bytes{0x0A, 0x0B, 0x01, 0x01}));
  EXPECT_EQ(written(AMFArray{true}), (Bytes{0x09, 0x03, 0x01, 0x03}));
  EXPECT_EQ(written(AMFList{true}), (Bytes{0x09, 0x03, 0x01, 0x03}));
  AMFArray mixed{1};
  mixed.set("k", "v");
  EXPECT_EQ(written(mixed), concatenated({{0x09, 0x03, 0x03, 'k', 0x06, 0x03, 'v', 0x01, 0x05}, kOne}));

  // The second object reuses the traits, the third repeats the first, and the
  // key "a" is a string reference the second time.
  AMF3Serializer serializer;
  const AMFObject first{{"a", true}};
  serializer.serialize(AMFList{first, AMFObject{{"a", false}}, first});
  EXPECT_EQ(serializer.data(), (Bytes{0x09, 0x07, 0x01,                      // array of 3, index 0
                                      0x0A, 0x0B, 0x01, 0x03, 'a', 0x03, 0x01,  // index 1, traits 0
                                      0x0A, 0x01, 0x00, 0x02, 0x01,            // index 2, traits ref 0
                                      0x0A, 0x02}));                           // reference to index 1
}

TEST(AMF3SerializerTests, ReadsThePublishedLayoutWithItsReferenceTables) {
  // A typed object with one sealed member, then one that refers to its traits,
  // then an anonymous dynamic object, then a reference to the first object.
  const Bytes bytes = {0x09, 0x09, 0x01,
                       0x0A, 0x13, 0x07, 'F', 'o', 'o', 0x03, 'x', 0x04, 0x05,
                       0x0A, 0x01, 0x04, 0x06,
                       0x0A, 0x0B, 0x01, 0x02, 0x04, 0x07, 0x01,
                       0x0A, 0x02};
  const AMFValue value = read(bytes);
  const AMFTypedObject foo{"Foo", {{"x", 5}}};
  EXPECT_EQ(value, AMFValue(AMFArray{foo, AMFTypedObject{"Foo", {{"x", 6}}}, AMFObject{{"x", 7}}, foo}));

  AMF3Serializer strings(Bytes{0x06, 0x07, 'a', 'b', 'c', 0x06, 0x00, 0x06, 0x02});
  EXPECT_EQ(strings.deserialize(), AMFValue("abc"));
  EXPECT_EQ(strings.deserialize(), AMFValue("abc"));
  EXPECT_EQ(strings.reference.strings.size(), 1u);
  EXPECT_EQ(errorOf([&] { strings.deserialize(); }), "AMFSerializerError.outOfIndex");

  AMF3Serializer xml(Bytes{0x0B, 0x07, 'a', 'b', 'c', 0x07, 0x07, 'a', 'b', 'c', 0x0B, 0x00, 0x0B, 0x02});
  EXPECT_EQ(xml.deserialize(), AMFValue(AMFXML{"abc"}));
  EXPECT_EQ(xml.deserialize(), AMFValue(AMFXMLDocument{"abc"}));
  EXPECT_EQ(xml.reference.objects.size(), 2u);
  EXPECT_EQ(xml.deserialize(), AMFValue(AMFXML{"abc"}));
  EXPECT_EQ(errorOf([&] { xml.deserialize(); }), "AMFSerializerError.deserialize");

  EXPECT_EQ(read({0x0C, 0x05, 0xAB, 0xCD}), AMFValue(AMFByteArray{0xAB, 0xCD}));
  EXPECT_EQ(read({0x0D, 0x05, 0x00, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}), AMFValue(std::vector<std::int32_t>{1, -1}));
  EXPECT_EQ(read({0x0E, 0x03, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}), AMFValue(std::vector<std::uint32_t>{0xFFFFFFFF}));
  EXPECT_EQ(read(concatenated({{0x0F, 0x03, 0x00}, kOne})), AMFValue(std::vector<double>{1.0}));
  EXPECT_EQ(read({0x10, 0x05, 0x00, 0x01, 0x03, 0x06, 0x03, 'z'}), AMFValue(AMFList{true, "z"}));
}

TEST(AMF3SerializerTests, RoundTripsNestedValues) {
  AMFArray array{1.5, AMFNull{}, "s"};
  array.set("date", AMFDate(std::chrono::milliseconds(42)));
  const AMFObject inner{{"s", "s"}, {"list", AMFArray{true, false}}};
  array.set("inner", inner);
  array.set("again", inner);
  AMF3Serializer serializer;
  serializer.serialize(array).serialize(inner);
  AMF3Serializer reader(serializer.data());
  EXPECT_EQ(reader.deserialize(), AMFValue(array));
  EXPECT_EQ(reader.deserialize(), AMFValue(inner));
  EXPECT_EQ(reader.bytesAvailable(), 0);
}

TEST(AMF3SerializerTests, RefusesWhatItCannotHold) {
  for (const Bytes& bytes : std::vector<Bytes>{{0x11, 0x01, 0x00}, {0x12}, {0xFF}, {0x0A, 0x07, 0x01}}) {
    EXPECT_EQ(errorOf([&] { read(bytes); }), "AMFSerializerError.deserialize") << int(bytes[0]);
  }
  EXPECT_EQ(errorOf([] { read({0x0A, 0x05}); }), "AMFSerializerError.outOfIndex");
  EXPECT_EQ(errorOf([] { read({0x09, 0x00}); }), "AMFSerializerError.outOfIndex");
  // An array that contains itself.
  EXPECT_EQ(errorOf([] { read({0x09, 0x03, 0x01, 0x09, 0x00}); }), "AMFSerializerError.deserialize");
  // Keys that would end the object early.
  EXPECT_EQ(errorOf([] { written(AMFObject{{"", 1}}); }), "AMFSerializerError.serialize");
}

TEST(AMF3SerializerTests, SurvivesHostileInput) {
  for (const Bytes& bytes : std::vector<Bytes>{{0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0x01},
                                               {0x0A, 0xFF, 0xFF, 0xFF, 0xFB, 0x01},
                                               {0x0D, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0, 0},
                                               {0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01},
                                               {0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}}) {
    EXPECT_EQ(errorOf([&] { read(bytes); }), "ByteArray.Error.eof") << int(bytes[0]);
  }

  Bytes deep;
  for (int level = 0; level <= AMFSerializer::kMaxDepth; ++level) deep.insert(deep.end(), {0x09, 0x03, 0x01});
  deep.push_back(0x01);
  EXPECT_EQ(errorOf([&] { read(deep); }), "AMFSerializerError.deserialize");
  EXPECT_NO_THROW(read(Bytes(deep.begin() + 3, deep.end())));

  // A few bytes of references must not copy out gigabytes.
  const auto references = [](Bytes first, Bytes reference) {
    constexpr std::uint32_t kCount = 100000;
    const std::uint32_t header = kCount << 1 | 1;
    Bytes bytes = {0x09, static_cast<std::uint8_t>(header >> 14 | 0x80),
                   static_cast<std::uint8_t>((header >> 7 & 0x7F) | 0x80), static_cast<std::uint8_t>(header & 0x7F),
                   0x01};
    bytes.insert(bytes.end(), first.begin(), first.end());
    for (std::uint32_t index = 1; index < kCount; ++index) bytes.insert(bytes.end(), reference.begin(), reference.end());
    return bytes;
  };
  Bytes longString = {0x06, 0x83, 0xD4, 0x61};  // 30,000 bytes
  longString.resize(longString.size() + 30000, 'x');
  EXPECT_EQ(errorOf([&] { read(references(longString, {0x06, 0x00})); }), "AMFSerializerError.deserialize");
  Bytes bigArray = {0x09, 0x8F, 0x51, 0x01};  // 1,000 undefined elements
  bigArray.resize(bigArray.size() + 1000, 0x00);
  EXPECT_EQ(errorOf([&] { read(references(bigArray, {0x09, 0x02})); }), "AMFSerializerError.deserialize");

  AMFArray value{"text", 2.5, AMFDate(std::chrono::seconds(3)), AMFObject{{"k", AMFList{AMFNull{}, "text"}}}};
  value.set("key", "text");
  testing::expectEveryTruncationFails<AMF3Serializer>(written(value));
  testing::expectEveryTruncationFails<AMF3Serializer>(
      {0x09, 0x05, 0x01, 0x0A, 0x13, 0x07, 'F', 'o', 'o', 0x03, 'x', 0x04, 0x05, 0x0C, 0x03, 0x01});
}

}  // namespace
}  // namespace rtmpfluvio
