#include "Platform/Foundation/UserDefaults.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace platform {
namespace {

namespace fs = std::filesystem;

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/userdefaults-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path configHome() const { return root_ / "config"; }
  UserDefaults suite(std::string_view name = "group.test") const {
    auto defaults = UserDefaults::make(name, configHome());
    EXPECT_TRUE(defaults);
    return *defaults;
  }
  static std::string contents(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }
  static mode_t mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
  }

  fs::path root_;
};

TEST_F(UserDefaultsTest, StoresValuesPerSuiteAndReadsThemBackInAFreshInstance) {
  auto first = suite("group.first");
  auto second = suite("group.second");
  EXPECT_EQ(first.string("k"), std::nullopt) << "a suite without a file is empty";
  ASSERT_TRUE(first.set("one", "k"));
  ASSERT_TRUE(second.set("two", "k"));
  ASSERT_TRUE(first.set("kept", "other"));
  EXPECT_EQ(suite("group.first").string("k"), "one");
  EXPECT_EQ(suite("group.second").string("k"), "two");

  ASSERT_TRUE(first.removeObject("k"));
  EXPECT_EQ(suite("group.first").string("k"), std::nullopt);
  EXPECT_EQ(suite("group.first").string("other"), "kept");
  EXPECT_EQ(suite("group.second").string("k"), "two");

  ASSERT_TRUE(first.update([](UserDefaults::Values& values) { values["n"] = 3; }));
  EXPECT_EQ(first.string("n"), std::nullopt) << "only strings read as strings";
  EXPECT_EQ((*first.dictionaryRepresentation())["n"], 3);
}

TEST_F(UserDefaultsTest, KeepsTheFilePrivateAndLeavesNoTemporaryFiles) {
  auto defaults = suite();
  ASSERT_TRUE(defaults.set("secret", "k"));
  ASSERT_TRUE(defaults.set("again", "k"));
  EXPECT_EQ(mode(defaults.filePath()), 0600u);
  EXPECT_EQ(mode(defaults.filePath().parent_path()), 0700u);
  for (const auto& entry : fs::directory_iterator(defaults.filePath().parent_path())) {
    const auto name = entry.path().filename().string();
    EXPECT_TRUE(name == "group.test.json" || name == "group.test.json.lock") << name;
  }
}

TEST_F(UserDefaultsTest, OpensOnlyPlainSuiteNames) {
  for (const std::string_view name : {"", ".hidden", "a/b", "../escape"}) {
    EXPECT_FALSE(UserDefaults::make(name, configHome())) << name;
  }
  EXPECT_FALSE(UserDefaults::make(std::string(201, 'a'), configHome()));
  EXPECT_TRUE(UserDefaults::make(std::string(200, 'a'), configHome()));
}

// Each case leaves a file or directory that others could have planted or
// changed; the suite must neither read nor write through it.
TEST_F(UserDefaultsTest, RefusesFilesAndDirectoriesThatAreNotSafelyOurs) {
  struct Case {
    std::string name;
    std::function<void(const fs::path& file, const fs::path& planted)> plant;
    bool needsRoot = false;
  };
  const std::vector<Case> cases = {
      {"symlinked file", [](const fs::path& file, const fs::path& planted) { fs::create_symlink(planted, file); }},
      {"group-writable file",
       [](const fs::path& file, const fs::path& planted) {
         fs::copy_file(planted, file);
         ::chmod(file.c_str(), 0620);
       }},
      {"world-writable file",
       [](const fs::path& file, const fs::path& planted) {
         fs::copy_file(planted, file);
         ::chmod(file.c_str(), 0602);
       }},
      {"foreign-owned file",
       [](const fs::path& file, const fs::path& planted) {
         fs::copy_file(planted, file);
         ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
       },
       true},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    if (testCase.needsRoot && ::geteuid() != 0) continue;
    fs::remove_all(configHome());
    auto defaults = suite();
    const fs::path planted = root_ / "planted.json";
    std::ofstream(planted) << R"({"k":"planted"})";
    testCase.plant(defaults.filePath(), planted);

    EXPECT_EQ(defaults.dictionaryRepresentation(), std::nullopt);
    EXPECT_EQ(defaults.string("k"), std::nullopt);
    EXPECT_FALSE(defaults.set("ours", "k"));
    EXPECT_FALSE(defaults.removeObject("k"));
    EXPECT_EQ(contents(planted), R"({"k":"planted"})");
  }

  fs::remove_all(configHome());
  fs::create_directories(configHome() / "defaults");
  ::chmod((configHome() / "defaults").c_str(), 0770);
  EXPECT_FALSE(UserDefaults::make("group.test", configHome())) << "group-writable directory";
  fs::remove_all(configHome() / "defaults");
  fs::create_directory_symlink(root_, configHome() / "defaults");
  EXPECT_FALSE(UserDefaults::make("group.test", configHome())) << "symlinked directory";
}

TEST_F(UserDefaultsTest, ReadsACorruptFileAsEmptyAndReplacesItOnTheNextChange) {
  for (const std::string& text : std::vector<std::string>{"{\"k\": \"v\"", "[1, 2]", "\"k\"", "", "{\"k\":\"\xff\"}"}) {
    SCOPED_TRACE(text);
    auto defaults = suite();
    std::ofstream(defaults.filePath(), std::ios::trunc) << text;
    EXPECT_EQ(defaults.dictionaryRepresentation(), UserDefaults::Values::object());
    ASSERT_TRUE(defaults.set("new", "other"));
    EXPECT_EQ(*suite().dictionaryRepresentation(), (UserDefaults::Values{{"other", "new"}}));
  }
}

TEST(UserDefaultsDecode, AcceptsOneObjectUpToTheSizeBound) {
  const std::size_t bound = 1 << 20;
  std::string largest = R"({"k":")" + std::string(bound - 8, 'x') + R"("})";
  ASSERT_EQ(largest.size(), bound);
  EXPECT_TRUE(UserDefaults::decode(largest));
  largest.insert(6, "x");
  EXPECT_FALSE(UserDefaults::decode(largest));
  EXPECT_FALSE(UserDefaults::decode("{} {}"));
  EXPECT_FALSE(UserDefaults::decode("null"));
}

TEST_F(UserDefaultsTest, StoresTextThatIsNotUTF8WithReplacementCharacters) {
  auto defaults = suite();
  ASSERT_TRUE(defaults.set("a\xff" "b", "k"));
  EXPECT_EQ(suite().string("k"), "a\xef\xbf\xbd" "b");
}

}  // namespace
}  // namespace platform
