#include "stream/storage_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;

const LocalStamp kStamp{2014, 5, 20, 8, 3, 9};

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

TEST(StoragePathTest, NamesFollowTheDayAndSecond) {
  EXPECT_EQ(DayFolder("/media/video/", "alice", kStamp), "/media/video/alice/2014-05-20/");
  // A base without its closing '/' does not run into the user name.
  EXPECT_EQ(DayFolder("/media/video", "alice", kStamp), "/media/video/alice/2014-05-20/");
  EXPECT_EQ(StampedName(kStamp, "CAM0001", "mp4"), "2014-05-20-08-03-09-CAM0001.mp4");
  EXPECT_EQ(StampedName({2015, 12, 31, 23, 59, 58}, "x", "bmp"), "2015-12-31-23-59-58-x.bmp");
}

TEST(StoragePathTest, LocalNowIsAPlausibleDate) {
  LocalStamp now = LocalNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
  EXPECT_LE(now.second, 60);
}

TEST(StoragePathTest, CreatesEveryMissingLevel) {
  test::TempDir dir;
  const std::string folder = dir.str() + "/a/b/c/";
  ASSERT_TRUE(CreateFolderLevels(folder));
  for (const char* level : {"/a", "/a/b", "/a/b/c"}) {
    struct stat info {};
    ASSERT_EQ(stat((dir.str() + level).c_str(), &info), 0) << level;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0755 & ~CurrentUmask()) << level;
  }
  // Existing levels are fine; a last level without '/' is created too.
  EXPECT_TRUE(CreateFolderLevels(folder));
  EXPECT_TRUE(CreateFolderLevels(dir.str() + "/a/b/d"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/d"));
  EXPECT_FALSE(CreateFolderLevels(""));
}

TEST(StoragePathTest, ALevelThatIsAFileFails) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "user", "not a folder");
  EXPECT_FALSE(CreateFolderLevels(dir.str() + "/user/2014-05-20/"));
  EXPECT_EQ(test::ReadFileBytes(dir / "user"), "not a folder");

  fs::create_directory(dir / "locked");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  if (geteuid() != 0) {  // root may write anywhere
    EXPECT_FALSE(CreateFolderLevels(dir.str() + "/locked/x/"));
  }
  fs::permissions(dir / "locked", fs::perms::owner_all);
}

TEST(StoragePathTest, PreparedPathLiesInTheDayFolder) {
  test::TempDir dir;
  std::string path;
  ASSERT_TRUE(PrepareStampedPath(dir.str() + "/", "alice", "CAM1", kStamp, "mp4", path));
  EXPECT_EQ(path, dir.str() + "/alice/2014-05-20/2014-05-20-08-03-09-CAM1.mp4");
  EXPECT_TRUE(fs::is_directory(dir / "alice/2014-05-20"));
  EXPECT_FALSE(fs::exists(path));  // the folder only; the file is the caller's
}

TEST(StoragePathTest, NameThatWouldEscapeTheFolderIsRefused) {
  test::TempDir dir;
  fs::create_directory(dir / "base");
  const std::string base = dir.str() + "/base/";
  std::string path = "untouched";
  for (const char* user : {"../x", "..", ".", "a/b", ""}) {
    EXPECT_FALSE(PrepareStampedPath(base, user, "CAM1", kStamp, "mp4", path)) << user;
  }
  for (const char* sid : {"../../x", "..", "a/b", ""}) {
    EXPECT_FALSE(PrepareStampedPath(base, "alice", sid, kStamp, "bmp", path)) << sid;
  }
  EXPECT_FALSE(PrepareStampedPath(base, std::string("a\0b", 3), "CAM1", kStamp, "mp4", path));
  EXPECT_EQ(path, "untouched");
  EXPECT_FALSE(fs::exists(dir / "x"));
  EXPECT_TRUE(fs::is_empty(dir / "base"));
  EXPECT_TRUE(IsSafeNamePart("..."));  // only "." and ".." name other folders
}

}  // namespace
}  // namespace lumivex
