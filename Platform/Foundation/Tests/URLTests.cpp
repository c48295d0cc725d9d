#include <gtest/gtest.h>

#include "Platform/Foundation/URL.hpp"

namespace platform {
namespace {

TEST(URL, TellsFileURLsFromOthersAndDecodesThePath) {
  const auto file = URL::make("file:///home/user/My%20Movies/take.mov");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->isFileURL());
  EXPECT_EQ(file->path(), "/home/user/My Movies/take.mov");
  EXPECT_EQ(file->pathExtension(), "mov");
  EXPECT_EQ(file->absoluteString(), "file:///home/user/My%20Movies/take.mov");

  const auto web = URL::make("https://example.com/clips/a.mp4?x=1#t");
  ASSERT_TRUE(web);
  EXPECT_FALSE(web->isFileURL());
  EXPECT_EQ(web->scheme(), "https");
  EXPECT_EQ(web->path(), "/clips/a.mp4");
  EXPECT_EQ(web->absoluteString(), "https://example.com/clips/a.mp4?x=1#t");

  const auto relative = URL::make("clips/take");
  ASSERT_TRUE(relative);
  EXPECT_FALSE(relative->isFileURL());
  EXPECT_EQ(relative->path(), "clips/take");
  EXPECT_EQ(relative->pathExtension(), "");

  EXPECT_FALSE(URL::make(""));
  EXPECT_FALSE(URL::make("file:///a b"));
  EXPECT_EQ(URL::make("a%2")->path(), "a%2") << "a broken escape stays as written";
}

TEST(URL, ReadsTheExtensionOfTheLastComponentOnly) {
  EXPECT_EQ(URL::fileURL("/a.b/c").pathExtension(), "");
  EXPECT_EQ(URL::fileURL("/a/.profile").pathExtension(), "");
  EXPECT_EQ(URL::fileURL("/a/clip.MP4").pathExtension(), "MP4");
  EXPECT_EQ(URL::fileURL("/a/clip.tar.gz").pathExtension(), "gz");
}

TEST(URL, AppendsComponentsAndExtensions) {
  const URL folder = URL::fileURL("/data/movies/");
  EXPECT_EQ(folder.appendingPathComponent("take").path(), "/data/movies/take");
  EXPECT_EQ(URL::fileURL("/data").appendingPathComponent("/nested/take").path(), "/data/nested/take");
  EXPECT_EQ(folder.appendingPathComponent("take").appendingPathExtension("mp4").lastPathComponent(), "take.mp4");
  EXPECT_TRUE(URL::fileURL("relative").path().starts_with("/")) << "file URLs are absolute";
}

}  // namespace
}  // namespace platform
