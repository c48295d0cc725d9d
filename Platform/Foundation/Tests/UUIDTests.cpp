#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "Platform/Foundation/UUID.hpp"

namespace platform {
namespace {

TEST(UUID, IsARandomVersionFourIdentifierInItsStandardForm) {
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int count = 0; count < 200; ++count) {
    const std::string text = UUID().uuidString();
    EXPECT_TRUE(std::regex_match(text, form)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(UUID, PrintsItsBytesInOrder) {
  const UUID uuid({0xE6, 0x21, 0xE1, 0xF8, 0xC3, 0x6C, 0x49, 0x5A, 0x93, 0xFC, 0x0C, 0x24, 0x7A, 0x3E, 0x6E, 0x5F});
  EXPECT_EQ(uuid.uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}

}  // namespace
}  // namespace platform
