#include "RTMPFluvio/Sources/AMF/AMFArray.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {
namespace {

const AMFValue undefinedValue{kAMFUndefined};

TEST(AMFArrayTests, TextKeysThatReadAsIndicesAddressTheDensePart) {
  EXPECT_EQ(AMFArray(3).data, (AMFList{undefinedValue, undefinedValue, undefinedValue}));

  AMFArray array;
  array.set("2", "v");
  EXPECT_EQ(array.data, (AMFList{undefinedValue, undefinedValue, "v"}));
  EXPECT_TRUE(array.dict.empty());

  array.set("+1", 1);
  array.set("01", 2);
  EXPECT_EQ(*array.get(1), AMFValue(2));
  EXPECT_EQ(*array.get("1"), AMFValue(2));

  for (const char* key : {"1.0", " 1", "", "0x1", "1 ", "+", "-", "+-1", "9223372036854775808"}) {
    AMFArray associative;
    associative.set(key, true);
    EXPECT_EQ(associative.length(), 0u) << key;
    ASSERT_NE(associative.get(key), nullptr) << key;
    EXPECT_EQ(*associative.get(key), AMFValue(true)) << key;
  }
}

TEST(AMFArrayTests, TellsIndexKeysFromNames) {
  for (const char* index : {"0", "42", "-1", "+7", "9223372036854775807", "-9223372036854775808"}) {
    EXPECT_TRUE(AMFArray::readsAsIndex(index)) << index;
  }
  for (const char* name : {"", "a1", "1a", "-", "+", "1.5", " 1", "9223372036854775808", "duration"}) {
    EXPECT_FALSE(AMFArray::readsAsIndex(name)) << name;
  }
}

TEST(AMFArrayTests, NegativeAndFarIndicesGoToTheAssociativePart) {
  AMFArray array(2);
  array.set(-1, "negative");
  array.set("-9223372036854775808", "lowest");
  array.set(3 + AMFArray::kMaxDenseGap, "far");
  array.set(2 + AMFArray::kMaxDenseGap, "near");
  EXPECT_EQ(array.length(), 3u + AMFArray::kMaxDenseGap);
  EXPECT_EQ(array.dict.size(), 3u);
  EXPECT_EQ(*array.get(-1), AMFValue("negative"));
  EXPECT_EQ(*array.get(std::numeric_limits<std::int64_t>::min()), AMFValue("lowest"));
  EXPECT_EQ(*array.get(std::to_string(3 + AMFArray::kMaxDenseGap)), AMFValue("far"));
  EXPECT_EQ(*array.get(2 + AMFArray::kMaxDenseGap), AMFValue("near"));

  // A huge index never allocates its gap; a narrower limit sends smaller gaps
  // to the associative part, but appending at the end always works.
  array.set(std::numeric_limits<std::int64_t>::max(), 1);
  EXPECT_EQ(array.length(), 3u + AMFArray::kMaxDenseGap);
  AMFArray limited;
  limited.set(1, "gap", 0);
  limited.set(0, "end", 0);
  EXPECT_EQ(limited.data, AMFList{"end"});
  EXPECT_EQ(*limited.get(1), AMFValue("gap"));
}

TEST(AMFArrayTests, ReadsTellUndefinedNullAndMissingApart) {
  AMFArray array{1.0, AMFNull{}};
  EXPECT_EQ(*array.get(10), undefinedValue);
  EXPECT_TRUE(array.get(1)->isNull());
  EXPECT_EQ(array.get("missing"), nullptr);
  array.set("present", AMFNull{});
  ASSERT_NE(array.get("present"), nullptr);
  EXPECT_TRUE(array.get("present")->isNull());
}

TEST(AMFArrayTests, EqualityIsStructural) {
  AMFArray left{1.0};
  AMFArray right{1.0};
  EXPECT_EQ(left, right);
  right.set(0, 2.0);
  EXPECT_NE(left, right);

  AMFArray ordered;
  ordered.set("a", 1);
  ordered.set("b", 2);
  AMFArray reversed;
  reversed.set("b", 2);
  reversed.set("a", 1);
  EXPECT_EQ(ordered, reversed);

  // Kinds must match: an integer is no double, null is no undefined, and a
  // null entry is no missing one.
  EXPECT_NE(AMFValue(1), AMFValue(1.0));
  EXPECT_NE(AMFValue(AMFNull{}), undefinedValue);
  EXPECT_NE((AMFObject{{"a", AMFNull{}}}), AMFObject());
  EXPECT_NE((AMFValue(AMFList{1})), AMFValue(AMFArray{1}));
}

TEST(AMFArrayTests, ObjectsKeepInsertionOrderAndReplaceInPlace) {
  AMFObject object{{"z", 1}, {"a", 2}};
  object.set("z", 3);
  object.set("m", 4);
  std::vector<std::string> keys;
  for (const auto& [key, value] : object) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"z", "a", "m"}));
  EXPECT_EQ(*object.find("z"), AMFValue(3));

  // A key viewing an entry's own key finds that entry; a new key viewing
  // bytes that change later keeps its own copy.
  object.set(object.begin()->first, 5);
  EXPECT_EQ(object.size(), 3u);
  EXPECT_EQ(*object.find("z"), AMFValue(5));
  char viewed[] = "key";
  object.set(std::string_view(viewed), 6);
  viewed[0] = 'x';
  EXPECT_EQ(*object.find("key"), AMFValue(6));
  EXPECT_EQ(object.find("xey"), nullptr);
}

// Readers build values in their entries: a new key gets what `make` returns,
// a present one has it replaced in place, and a `make` that throws leaves
// the object as it was, also when it had to grow for the entry.
TEST(AMFArrayTests, ObjectsTakeMadeValuesInPlace) {
  AMFObject object;
  for (int index = 0; index < 16; ++index) object.setMade("k" + std::to_string(index), [&] { return AMFValue(index); });
  object.setMade("k3", [] { return AMFValue("three"); });
  EXPECT_EQ(object.size(), 16u);
  EXPECT_EQ(*object.find("k3"), AMFValue("three"));
  EXPECT_EQ(object.begin()[3].first, "k3");

  int calls = 0;
  const auto fails = [&]() -> AMFValue {
    ++calls;
    throw std::runtime_error("refused");
  };
  EXPECT_THROW(object.setMade("k16", fails), std::runtime_error);
  EXPECT_THROW(object.setMade("k0", fails), std::runtime_error);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(object.size(), 16u);
  EXPECT_EQ(object.find("k16"), nullptr);
  EXPECT_EQ(*object.find("k0"), AMFValue(0));
  object.setMade("k16", [] { return AMFValue(AMFObject{{"nested", true}}); });
  EXPECT_EQ(object.size(), 17u);
  EXPECT_EQ(*object.find("k16"), AMFValue(AMFObject{{"nested", true}}));
  EXPECT_EQ(*object.find("k15"), AMFValue(15));
}

// A copy owns its entries: a change through either side, by set or through
// find, never shows in the other. Small objects and indexed large ones alike.
TEST(AMFArrayTests, ObjectCopiesChangeIndependently) {
  for (const int size : {3, 40}) {
    AMFObject original;
    for (int index = 0; index < size; ++index) original.set("k" + std::to_string(index), index);
    const AMFObject snapshot = original;

    AMFObject copy = original;
    copy.set("k1", "replaced");
    copy.set("added", true);
    *original.find("k2") = "through find";
    AMFObject second = copy;
    *second.find("k1") = 11;

    EXPECT_EQ(*original.find("k1"), AMFValue(1)) << size;
    EXPECT_EQ(*original.find("k2"), AMFValue("through find")) << size;
    EXPECT_FALSE(original.contains("added")) << size;
    EXPECT_EQ(*copy.find("k1"), AMFValue("replaced")) << size;
    EXPECT_EQ(*copy.find("k2"), AMFValue(2)) << size;
    EXPECT_EQ(copy.size(), static_cast<std::size_t>(size) + 1) << size;
    EXPECT_EQ(*second.find("k1"), AMFValue(11)) << size;
    EXPECT_EQ(*std::as_const(copy).find("k1"), AMFValue("replaced")) << size;
    EXPECT_EQ(snapshot.size(), static_cast<std::size_t>(size)) << size;
    EXPECT_EQ(*snapshot.find("k2"), AMFValue(2)) << size;
    EXPECT_EQ(*snapshot.find(std::string("k") + std::to_string(size - 1)), AMFValue(size - 1)) << size;
  }
}

// Every key stays found, and none is added twice, while an object grows past
// its first room and past the size where it builds an index; keys outnumber
// the bits that stand for them, so many share one and are still told apart.
TEST(AMFArrayTests, ObjectsFindEveryKeyWhileGrowing) {
  AMFObject object;
  for (int index = 0; index < 100; ++index) {
    object.set("k" + std::to_string(index) + "k", index);
    object.set("k" + std::to_string(index) + "k", -index);
    ASSERT_EQ(object.size(), static_cast<std::size_t>(index) + 1);
    for (const int earlier : {0, index / 2, index}) {
      ASSERT_EQ(*object.find("k" + std::to_string(earlier) + "k"), AMFValue(-earlier)) << index;
    }
    ASSERT_FALSE(object.contains("k" + std::to_string(index + 1) + "k")) << index;
  }
  int expected = 0;
  for (const auto& [key, value] : object) EXPECT_EQ(value, AMFValue(-expected++)) << key;
}

// An object can take over one it holds, since the held one is taken first.
TEST(AMFArrayTests, ObjectsTakeOverObjectsTheyHold) {
  AMFObject outer{{"inner", AMFObject{{"a", 1}, {"b", "long enough to live outside the key"}}}, {"c", 2}};
  outer = std::move(*outer.find("inner")->as<AMFObject>());
  EXPECT_EQ(outer, (AMFObject{{"a", 1}, {"b", "long enough to live outside the key"}}));
  AMFObject copied{{"inner", AMFObject{{"d", 4}}}};
  copied = AMFObject(*copied.find("inner")->as<AMFObject>());
  EXPECT_EQ(copied, (AMFObject{{"d", 4}}));

  // Or take a value moved out of one of its entries, whether or not the new
  // entry makes it grow.
  const std::string text = "long enough to live outside the value";
  AMFObject growing{{"0", text}};
  for (int index = 1; index < 40; ++index) {
    growing.set(std::to_string(index), std::move(*growing.find(std::to_string(index - 1))));
    ASSERT_EQ(*growing.find(std::to_string(index)), AMFValue(text)) << index;
  }
}

TEST(AMFArrayTests, DescribesItself) {
  EXPECT_EQ(kAMFUndefined.description(), "undefined");
  EXPECT_EQ(AMFXMLDocument{"<a/>"}.description(), "<a/>");
  AMFArray array{true, 1.5};
  array.set("k", "v");
  EXPECT_EQ(array.debugDescription(), "[true, 1.5]:{\"k\": \"v\"}");
  std::ostringstream stream;
  stream << AMFValue(AMFObject{{"n", AMFNull{}}, {"u", kAMFUndefined}});
  EXPECT_EQ(stream.str(), "{\"n\": null, \"u\": undefined}");
}

TEST(AMFArrayTests, KeepsEveryIntegerWidthAsANumber) {
  EXPECT_EQ(AMFValue(std::uint8_t{200}), AMFValue(std::int64_t{200}));
  EXPECT_EQ(AMFValue(std::numeric_limits<std::uint64_t>::max()), AMFValue(18446744073709551616.0));
  EXPECT_EQ(AMFValue(2.5f), AMFValue(2.5));
}

}  // namespace
}  // namespace rtmpfluvio
