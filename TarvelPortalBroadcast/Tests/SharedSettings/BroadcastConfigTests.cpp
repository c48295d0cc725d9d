#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Platform/Foundation/UserDefaults.hpp"

namespace tarvelportalbroadcast {
namespace {

namespace fs = std::filesystem;

// Points the shared suite at a private configuration directory.
class BroadcastConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/broadcastconfig-XXXXXX";
    root_ = mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_);
  }

  fs::path root_;
};

TEST_F(BroadcastConfigTest, ReadsTheSavedPairUntilItIsCleared) {
  EXPECT_FALSE(readBroadcastConfig());
  saveBroadcastConfig("rtmp://a/app", "key-a");
  auto config = readBroadcastConfig();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->url, "rtmp://a/app");
  EXPECT_EQ(config->key, "key-a");

  saveBroadcastConfig("rtmps://b:443/live", " key b ");
  config = readBroadcastConfig();
  ASSERT_TRUE(config);
  EXPECT_EQ(config->url, "rtmps://b:443/live");
  EXPECT_EQ(config->key, " key b ") << "stored unchanged";

  clearBroadcastConfig();
  EXPECT_FALSE(readBroadcastConfig());
}

TEST_F(BroadcastConfigTest, NeedsBothValuesNonEmpty) {
  struct Case {
    std::string url, key;
    bool readable;
  };
  for (const auto& [url, key, readable] : std::vector<Case>{
           {"rtmp://a/app", "", false}, {"", "k", false}, {"", "", false}, {"r", "k", true}}) {
    saveBroadcastConfig(url, key);
    EXPECT_EQ(readBroadcastConfig().has_value(), readable) << url << " / " << key;
  }
  auto defaults = platform::UserDefaults::make(kAppGroupIdentifier);
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->removeObject(kStreamKeyKey));
  EXPECT_FALSE(readBroadcastConfig()) << "key missing";
  ASSERT_TRUE(defaults->update([](auto& values) { values[std::string(kStreamKeyKey)] = 7; }));
  EXPECT_FALSE(readBroadcastConfig()) << "key not a string";
}

TEST_F(BroadcastConfigTest, ASuiteThatCannotBeOpenedIsSkippedSilently) {
  const auto file = root_ / "defaults" / (std::string(kAppGroupIdentifier) + ".json");
  saveBroadcastConfig("rtmp://a/app", "k");
  fs::permissions(file, fs::perms::others_write, fs::perm_options::add);
  EXPECT_FALSE(readBroadcastConfig());
  clearBroadcastConfig();
  saveBroadcastConfig("rtmp://b/app", "k2");
  fs::permissions(file, fs::perms::others_write, fs::perm_options::remove);
  const auto config = readBroadcastConfig();
  ASSERT_TRUE(config) << "neither clear nor save wrote through the unsafe file";
  EXPECT_EQ(config->url, "rtmp://a/app");
}

// Runs `body` in a child process; its exit status is what the child returns.
pid_t runChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

// Writers save pairs whose URL and key carry the same number, another
// clears, readers check every pair they see until the writers are done: a
// torn pair has two different numbers.
TEST_F(BroadcastConfigTest, ConcurrentProcessesNeverSeeATornPair) {
  constexpr int rounds = 60;
  const fs::path done = root_ / "done";
  std::vector<pid_t> writers, readers;
  for (int writer = 0; writer < 3; ++writer) {
    writers.push_back(runChild([writer] {
      for (int round = 0; round < rounds; ++round) {
        const auto tag = std::to_string(writer * rounds + round);
        saveBroadcastConfig("rtmp://ingest/" + tag, "key-" + tag);
      }
      return 0;
    }));
  }
  writers.push_back(runChild([] {
    for (int round = 0; round < rounds; ++round) clearBroadcastConfig();
    return 0;
  }));
  for (int reader = 0; reader < 2; ++reader) {
    readers.push_back(runChild([&done] {
      int pairs = 0;
      while (!fs::exists(done)) {
        const auto config = readBroadcastConfig();
        if (!config) continue;
        if (config->url.substr(std::string("rtmp://ingest/").size()) != config->key.substr(4)) return 1;
        ++pairs;
      }
      return pairs > 0 ? 0 : 2;
    }));
  }
  for (const pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::ofstream(done).put('\n');
  for (const pid_t pid : readers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 1) << "a reader saw a torn pair";
    EXPECT_NE(WEXITSTATUS(status), 2) << "a reader never saw a pair";
  }
  saveBroadcastConfig("rtmp://last/app", "last");
  EXPECT_EQ(readBroadcastConfig()->key, "last") << "the file survived the contention";
}

}  // namespace
}  // namespace tarvelportalbroadcast
