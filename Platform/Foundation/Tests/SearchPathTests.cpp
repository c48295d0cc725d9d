#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "Platform/Foundation/SearchPath.hpp"

namespace platform {
namespace {

class UserDirs : public testing::Test {
 protected:
  UserDirs() {
    char pattern[] = "/tmp/searchpath-XXXXXX";
    home_ = mkdtemp(pattern);
    variables_["HOME"] = home_.string();
  }
  ~UserDirs() override { std::filesystem::remove_all(home_); }

  void writeUserDirs(const std::string& text) {
    std::filesystem::create_directories(home_ / ".config");
    std::ofstream(home_ / ".config/user-dirs.dirs") << text;
  }
  std::optional<std::string> resolve() const {
    return documentsDirectoryPath([this](std::string_view name) -> std::optional<std::string> {
      const auto entry = variables_.find(std::string(name));
      if (entry == variables_.end()) return std::nullopt;
      return entry->second;
    });
  }

  std::filesystem::path home_;
  std::map<std::string, std::string> variables_;
};

TEST_F(UserDirs, FallsBackToDocumentsInTheHome) {
  EXPECT_EQ(resolve(), home_.string() + "/Documents");
  writeUserDirs("# only a comment\nXDG_MUSIC_DIR=\"$HOME/Music\"\n");
  EXPECT_EQ(resolve(), home_.string() + "/Documents");
}

TEST_F(UserDirs, TakesTheUserDirsEntryOverTheEnvironment) {
  variables_["XDG_DOCUMENTS_DIR"] = "/elsewhere";
  EXPECT_EQ(resolve(), "/elsewhere");
  writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(resolve(), home_.string() + "/Dokumente");
  writeUserDirs("XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
  EXPECT_EQ(resolve(), "/srv/docs");
}

TEST_F(UserDirs, IgnoresEntriesThatAreNoUsablePath) {
  // Unquoted, relative, or the home itself (the desktop's way of saying "none").
  writeUserDirs("XDG_DOCUMENTS_DIR=$HOME/Docs\nXDG_DOCUMENTS_DIR=\"Docs\"\n");
  EXPECT_EQ(resolve(), home_.string() + "/Documents");
  writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
  EXPECT_EQ(resolve(), home_.string() + "/Documents");
}

TEST_F(UserDirs, ReadsTheConfigurationWhereXdgConfigHomeSays) {
  const auto config = home_ / "cfg";
  std::filesystem::create_directories(config);
  std::ofstream(config / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  variables_["XDG_CONFIG_HOME"] = config.string();
  EXPECT_EQ(resolve(), home_.string() + "/Papers");
}

TEST(SearchPath, GivesTheProcessDocumentsDirectoryWithOrWithoutTilde) {
  const auto expanded = searchPathForDirectoriesInDomains(SearchPathDirectory::documentDirectory,
                                                          SearchPathDomainMask::userDomainMask, true);
  ASSERT_EQ(expanded.size(), 1u);
  EXPECT_TRUE(expanded[0].starts_with("/"));
  const auto tilde = searchPathForDirectoriesInDomains(SearchPathDirectory::documentDirectory,
                                                       SearchPathDomainMask::userDomainMask, false);
  ASSERT_EQ(tilde.size(), 1u);
  if (const char* home = std::getenv("HOME"); home && expanded[0].starts_with(std::string(home) + "/")) {
    EXPECT_EQ(tilde[0], "~" + expanded[0].substr(std::string(home).size()));
  }
}

}  // namespace
}  // namespace platform
