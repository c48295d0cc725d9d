#include "Platform/Foundation/FileManager.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace platform {
namespace {

TEST(FileManager, CreatesDirectoriesAndSeesWhatExists) {
  char pattern[] = "/tmp/filemanager-XXXXXX";
  const std::filesystem::path root = mkdtemp(pattern);
  const auto& manager = FileManager::defaultManager();
  const URL nested = URL::fileURL(root / "a/b");
  EXPECT_THROW(manager.createDirectory(nested, false), std::filesystem::filesystem_error);
  manager.createDirectory(nested, true);
  EXPECT_TRUE(manager.fileExists(nested.path()));
  EXPECT_NO_THROW(manager.createDirectory(nested, true)) << "an existing directory is fine";
  std::ofstream(root / "file") << "x";
  EXPECT_THROW(manager.createDirectory(URL::fileURL(root / "file"), true), std::filesystem::filesystem_error);
  EXPECT_THROW(manager.createDirectory(*URL::make("https://example.com/x"), true), std::invalid_argument);
  std::filesystem::remove_all(root);
  EXPECT_FALSE(manager.fileExists(nested.path()));
}

}  // namespace
}  // namespace platform
