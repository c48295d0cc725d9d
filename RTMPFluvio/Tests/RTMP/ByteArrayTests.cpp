#include "RTMPFluvio/Sources/RTMP/ByteArray.hpp"

#include <gtest/gtest.h>

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class Read>
void expectError(ByteArray::Error::Case expected, Read read) {
  try {
    read();
    FAIL() << "no error thrown";
  } catch (const ByteArray::Error& error) {
    EXPECT_EQ(error.errorCase(), expected);
  }
}

TEST(ByteArrayTests, ReadsBigEndianIntegersAndLittleEndianWords) {
  ByteArray buffer(Bytes{0x00, 0x01, 0x00, 0x02});
  EXPECT_EQ(buffer.readUInt16(), 1);
  EXPECT_EQ(buffer.readUInt16(), 2);
  buffer.setPosition(0);
  EXPECT_EQ(buffer.readUInt32(), 65538u);
  buffer.setPosition(0);
  EXPECT_EQ(buffer.readUInt32Array(), std::vector<std::uint32_t>{33554688u});
  EXPECT_EQ(buffer.position(), 0u);

  ByteArray five(Bytes{1, 2, 3, 4, 5});
  EXPECT_TRUE(five.readUInt32Array().empty());

  ByteArray one(Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(one.readDouble(), 1.0);
}

TEST(ByteArrayTests, ShortReadsThrowEofWithoutMoving) {
  ByteArray empty;
  EXPECT_EQ(empty.bytesAvailable(), 0);
  expectError(ByteArray::Error::Case::eof, [&] { empty.readUInt8(); });

  ByteArray buffer(Bytes{1, 2, 3});
  buffer.setPosition(1);
  expectError(ByteArray::Error::Case::eof, [&] { buffer.readUInt32(); });
  expectError(ByteArray::Error::Case::eof, [&] { buffer.readDouble(); });
  expectError(ByteArray::Error::Case::eof, [&] { buffer.readBytes(3); });
  EXPECT_EQ(buffer.position(), 1u);

  // A 16-bit count that promises more than follows leaves the count unread.
  ByteArray shortText(Bytes{0x00, 0x05, 'a'});
  expectError(ByteArray::Error::Case::eof, [&] { shortText.readUTF8(); });
  EXPECT_EQ(shortText.position(), 0u);

  // Beyond the end, reads fail and the available count goes negative.
  buffer.setPosition(5);
  EXPECT_EQ(buffer.bytesAvailable(), -2);
  expectError(ByteArray::Error::Case::eof, [&] { buffer.readUInt8(); });
  expectError(ByteArray::Error::Case::eof, [&] { buffer.readBytes(0); });
  EXPECT_TRUE(buffer.readUInt32Array().empty());
}

TEST(ByteArrayTests, DecodesStrictUTF8) {
  ByteArray text(Bytes{0x00, 0x03, 'a', 'b', 'c'});
  EXPECT_EQ(text.readUTF8(), "abc");
  EXPECT_EQ(text.position(), 5u);

  ByteArray invalid(Bytes{0xC3, 0x28});
  expectError(ByteArray::Error::Case::parse, [&] { invalid.readUTF8Bytes(2); });
  EXPECT_EQ(invalid.position(), 2u);

  const std::vector<Bytes> rejected = {
      {0xC0, 0xAF},              // overlong "/"
      {0xED, 0xA0, 0x80},        // surrogate half
      {0xF4, 0x90, 0x80, 0x80},  // beyond U+10FFFF
      {0xE2, 0x82},              // cut short
      {0xFF},
  };
  for (const Bytes& bytes : rejected) {
    ByteArray buffer(bytes);
    expectError(ByteArray::Error::Case::parse, [&] { buffer.readUTF8Bytes(bytes.size()); });
  }
  ByteArray accepted(Bytes{0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80});
  EXPECT_EQ(accepted.readUTF8Bytes(7), "\u20AC\U0001F600");
}

// ASCII is accepted a word or a few bytes at a time, by sizes; one byte with
// its top bit set, wherever it falls in a text of any size, sends the text
// through the full check, read with its count or without. A valid two-byte
// character there passes and reads back.
TEST(ByteArrayTests, ChecksNonASCIIAtEveryPositionOfEverySize) {
  const auto withCount = [](const Bytes& text) {
    Bytes bytes = {0x00, static_cast<std::uint8_t>(text.size())};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
  };
  for (std::size_t size = 1; size <= 40; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      Bytes lone(size, 'a');
      lone[at] = 0x80;
      ByteArray refused(lone);
      expectError(ByteArray::Error::Case::parse, [&] { refused.readUTF8Bytes(size); });
      EXPECT_EQ(refused.position(), size) << size << " " << at;
      ByteArray counted(withCount(lone));
      expectError(ByteArray::Error::Case::parse, [&] { counted.readUTF8(); });

      if (at + 1 < size) {
        Bytes twoByte(size, 'a');
        twoByte[at] = 0xC3;
        twoByte[at + 1] = 0xA9;
        std::string expected(size, 'a');
        expected.replace(at, 2, "\u00E9");
        ByteArray accepted(twoByte);
        EXPECT_EQ(accepted.readUTF8Bytes(size), expected) << size << " " << at;
        ByteArray acceptedCounted(withCount(twoByte));
        EXPECT_EQ(acceptedCounted.readUTF8(), expected) << size << " " << at;
      }
    }
    ByteArray ascii(withCount(Bytes(size, 'z')));
    EXPECT_EQ(ascii.readUTF8(), std::string(size, 'z'));
  }
}

TEST(ByteArrayTests, WritesOverwriteThenAppend) {
  ByteArray buffer;
  buffer.writeUInt16(258);
  EXPECT_EQ(buffer.data(), (Bytes{1, 2}));
  EXPECT_EQ(buffer.position(), 2u);

  ByteArray inside(Bytes{0, 0, 0, 0});
  inside.setPosition(1);
  inside.writeBytes(Bytes{7, 8});
  EXPECT_EQ(inside.data(), (Bytes{0, 7, 8, 0}));
  EXPECT_EQ(inside.position(), 3u);

  ByteArray across(Bytes{0, 0, 0, 0});
  across.setPosition(2);
  across.writeBytes(Bytes{1, 2, 3, 4, 5});
  EXPECT_EQ(across.data(), (Bytes{0, 0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(across.position(), 7u);

  ByteArray whole(Bytes{9, 9, 9});
  whole.writeBytes(Bytes{1, 2, 3, 4, 5});
  EXPECT_EQ(whole.data(), (Bytes{1, 2, 3, 4, 5}));

  ByteArray beyond(Bytes{1});
  beyond.setPosition(3);
  beyond.writeUInt8(4);
  EXPECT_EQ(beyond.data(), (Bytes{1, 0, 0, 4}));

  ByteArray chained;
  chained.writeUInt8(1).writeUInt32(0x02030405).writeDouble(1.0).writeUTF8Bytes("a");
  EXPECT_EQ(chained.data(), (Bytes{1, 2, 3, 4, 5, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 'a'}));
}

TEST(ByteArrayTests, LengthTruncatesOrZeroExtendsAndKeepsPosition) {
  ByteArray buffer(Bytes{1, 2, 3, 4});
  buffer.setPosition(3);
  buffer.setLength(6);
  EXPECT_EQ(buffer.data(), (Bytes{1, 2, 3, 4, 0, 0}));
  buffer.setLength(2);
  EXPECT_EQ(buffer.data(), (Bytes{1, 2}));
  EXPECT_EQ(buffer.position(), 3u);
}

}  // namespace
}  // namespace rtmpfluvio
