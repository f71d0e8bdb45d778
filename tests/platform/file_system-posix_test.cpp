// What the POSIX translation of paths adds: the drive root, '/'-paths that
// stand as they are, names that differ only in case, and a directory index
// that follows changes made by this process and by others.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using test_support::Exists;
using test_support::ListNames;
using test_support::MakeDirs;
using test_support::ReadFile;
using test_support::ScopedEnv;
using test_support::TempDir;
using test_support::WriteFile;

bool Touch(const std::string& path) {
  FILE* stream = OpenStream(path, "wb");
  return stream && std::fclose(stream) == 0;
}

std::string ReadThroughStream(const std::string& path) {
  FILE* stream = OpenStream(path, "rb");
  if (!stream) return "<cannot open>";
  std::string text;
  int c;
  while ((c = std::fgetc(stream)) != EOF) text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

TEST(PlatformPosixPathTest, DriveAndBackslashPathsLandUnderTheDriveRoot) {
  TempDir temp;
  MakeDirs("Root/Game");
  MakeDirs("Work");
  ScopedEnv root("MUNGE_DRIVE_ROOT", temp.Path() + "/Root/");
  ASSERT_EQ(chdir("Work"), 0);

  EXPECT_TRUE(Touch("c:\\game\\drive.txt"));
  EXPECT_TRUE(Touch("D:/game/other-drive.txt"));
  EXPECT_TRUE(Touch("\\game\\rooted.txt"));
  EXPECT_TRUE(Touch("c:relative-to-drive.txt"));
  EXPECT_TRUE(Touch("cwd.txt"));

  EXPECT_EQ(ListNames(temp.Path() + "/Root/Game"),
            (std::vector<std::string>{"drive.txt", "other-drive.txt", "rooted.txt"}));
  EXPECT_EQ(ListNames(temp.Path() + "/Root"),
            (std::vector<std::string>{"Game", "relative-to-drive.txt"}));
  EXPECT_EQ(ListNames(temp.Path() + "/Work"), std::vector<std::string>{"cwd.txt"});
  EXPECT_EQ(NativePath("c:\\GAME\\Drive.TXT"), temp.Path() + "/Root/Game/drive.txt");
  EXPECT_EQ(NativePath("\\"), temp.Path() + "/Root");
}

TEST(PlatformPosixPathTest, SlashPathsStandAsTheyAre) {
  TempDir temp;
  MakeDirs("Root");
  ScopedEnv root("MUNGE_DRIVE_ROOT", temp.Path() + "/Root");
  std::string outside = temp.Path() + "/outside.txt";
  EXPECT_TRUE(Touch(outside));
  EXPECT_TRUE(Exists(outside));
  EXPECT_TRUE(ListNames(temp.Path() + "/Root").empty());
  EXPECT_EQ(NativePath(outside), outside);

  // The program's own path, as the system reports it, is found as it is.
  std::string self = GetExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  EXPECT_TRUE(FileExists(self));
  EXPECT_EQ(NativePath(self), self);
}

TEST(PlatformPosixPathTest, WithoutADriveRootTheRootIsSlash) {
  TempDir temp;
  ScopedEnv root("MUNGE_DRIVE_ROOT", std::nullopt);
  EXPECT_EQ(NativePath("\\tolscript-missing\\x"), "/tolscript-missing/x");
  EXPECT_EQ(NativePath("c:\\tolscript-missing"), "/tolscript-missing");
}

TEST(PlatformPosixPathTest, NativePathResolvesTheComponentsThatExist) {
  TempDir temp;
  MakeDirs("Data/Scripts");
  WriteFile("Data/Scripts/Foo.lua", "");
  EXPECT_EQ(NativePath("data\\scripts\\foo.lua"), "Data/Scripts/Foo.lua");
  EXPECT_EQ(NativePath("data\\scripts\\New.lua"), "Data/Scripts/New.lua");
  EXPECT_EQ(NativePath("data\\Missing\\Sub\\x"), "Data/Missing/Sub/x");
  EXPECT_EQ(NativePath(".\\DATA\\..\\data\\SCRIPTS"), "./Data/../Data/Scripts");
  EXPECT_EQ(NativePath("data\\\\scripts//"), "Data/Scripts/");
  EXPECT_EQ(NativePath("c:\\DATA"), temp.Path() + "/Data");
  EXPECT_EQ(NativePath("."), ".");
}

TEST(PlatformPosixPathTest, ExactNameWinsOverOtherCaseVariants) {
  TempDir temp;
  WriteFile("foo", "lower");
  WriteFile("Foo", "capital");
  WriteFile("FOO", "upper");
  EXPECT_EQ(ReadThroughStream("foo"), "lower");
  EXPECT_EQ(ReadThroughStream("Foo"), "capital");
  EXPECT_EQ(ReadThroughStream("FOO"), "upper");
  // No exact match: the first in listing order ("FOO" < "Foo" < "foo").
  EXPECT_EQ(ReadThroughStream("fOO"), "upper");
  EXPECT_EQ(NativePath("fOo"), "FOO");

  WriteFile("Dir/a", "");
  WriteFile("DIR/b", "");
  EXPECT_EQ(NativePath("dir\\b"), "DIR/b");  // "DIR" is first, and holds "b"
  EXPECT_EQ(NativePath("dir\\a"), "DIR/a");  // ... but not "a": stays as given
  EXPECT_EQ(NativePath("Dir\\A"), "Dir/a");
}

TEST(PlatformPosixPathTest, IndexFollowsChangesMadeByOthers) {
  TempDir temp;
  MakeDirs("Data");
  // Each lookup misses first, so the index is read before the change.
  for (int i = 0; i < 20; ++i) {
    std::string name = "File" + std::to_string(i) + ".TXT";
    std::string lower = "data\\file" + std::to_string(i) + ".txt";
    ASSERT_FALSE(FileExists(lower));
    WriteFile("Data/" + name, "x");
    ASSERT_TRUE(FileExists(lower)) << "after creating " << name;
    fs::rename("Data/" + name, "Data/Renamed" + std::to_string(i));
    ASSERT_FALSE(FileExists(lower)) << "after renaming " << name;
    ASSERT_TRUE(FileExists("data\\RENAMED" + std::to_string(i)));
    fs::remove("Data/Renamed" + std::to_string(i));
    ASSERT_FALSE(FileExists("data\\renamed" + std::to_string(i)));
  }
}

TEST(PlatformPosixPathTest, IndexSeesAChangeEvenWhenTheDirectoryTimeIsPutBack) {
  TempDir temp;
  MakeDirs("Data");
  WriteFile("Data/Old.txt", "");
  ASSERT_TRUE(test_support::Exists("Data"));
  fs::file_time_type before = fs::last_write_time("Data");
  ASSERT_FALSE(FileExists("data\\new.txt"));  // reads the index
  WriteFile("Data/New.TXT", "");
  fs::last_write_time("Data", before);
  EXPECT_TRUE(FileExists("data\\new.txt"));
  EXPECT_TRUE(FileExists("data\\old.TXT"));
}

TEST(PlatformPosixPathTest, IndexFollowsChangesMadeThroughThePlatform) {
  TempDir temp;
  MakeDirs("Out");
  ASSERT_FALSE(FileExists("out\\a.txt"));
  ASSERT_TRUE(Touch("out\\A.txt"));
  EXPECT_TRUE(FileExists("out\\a.TXT"));
  std::string error;
  ASSERT_TRUE(RenameFile("out\\a.txt", "out\\B.txt", &error)) << error;
  EXPECT_FALSE(FileExists("out\\a.txt"));
  EXPECT_TRUE(FileExists("out\\b.txt"));
  ASSERT_TRUE(RemoveFile("out\\b.TXT", &error)) << error;
  EXPECT_FALSE(FileExists("out\\b.txt"));
  std::string made = "OUT\\tmpXXXXXX";
  FILE* stream = CreateUniqueFile(made);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  for (char& c : made) c = ToUpperAscii(c);
  EXPECT_TRUE(FileExists(made));
  EXPECT_EQ(ListNames("Out").size(), 1u);
}

TEST(PlatformPosixPathTest, RenameThatOnlyChangesCaseTakesTheNewCase) {
  TempDir temp;
  WriteFile("name.txt", "x");
  std::string error;
  ASSERT_TRUE(RenameFile("name.txt", "Name.TXT", &error)) << error;
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"Name.TXT"});
  EXPECT_EQ(ReadFile("Name.TXT"), "x");
}

TEST(PlatformPosixPathTest, CreateUniqueFileUsesOrdinaryPermissions) {
  TempDir temp;
  MakeDirs("Mixed/Case");
  mode_t previous = umask(022);
  std::string name = "mixed\\case\\luaXXXXXX";
  FILE* stream = CreateUniqueFile(name);
  umask(previous);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  std::vector<std::string> made = ListNames("Mixed/Case");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ("mixed\\case\\" + made[0], name);
  struct stat status;
  ASSERT_EQ(stat(("Mixed/Case/" + made[0]).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST(PlatformPosixPathTest, UntranslatablePathsSetErrno) {
  TempDir temp;
  const std::string longName(NAME_MAX + 1, 'n');
  errno = 0;
  EXPECT_EQ(OpenStream(longName, "wb"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_EQ(NativePath(longName), "");

  std::string deep;
  while (deep.size() <= PATH_MAX) deep += std::string(100, 'd') + "/";
  errno = 0;
  EXPECT_EQ(OpenStream(deep + "x", "rb"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);

  const std::string withNul("a\0b", 3);
  errno = 0;
  EXPECT_EQ(OpenStream(withNul, "wb"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(FileExists(withNul));
  EXPECT_TRUE(ListDirectory(withNul).empty());
  EXPECT_FALSE(MakeFullPath(withNul).has_value());
  EXPECT_TRUE(ListNames(".").empty());
}

TEST(PlatformPosixPathTest, ListingTreatsLinksAsWhatTheyPointTo) {
  TempDir temp;
  MakeDirs("Target");
  WriteFile("file", "");
  fs::create_directory_symlink("Target", "LinkDir");
  fs::create_symlink("file", "LinkFile");
  fs::create_symlink("nowhere", "Dangling");
  std::vector<DirEntry> entries = ListDirectory("link*");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "LinkDir");
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "LinkFile");
  EXPECT_FALSE(entries[1].isDirectory);
  std::vector<DirEntry> dangling = ListDirectory("dangling");
  ASSERT_EQ(dangling.size(), 1u);
  EXPECT_FALSE(dangling[0].isDirectory);

  EXPECT_EQ(DirectoryIdentity("linkdir"), DirectoryIdentity("target"));
  EXPECT_FALSE(DirectoryIdentity("file").has_value());
}

TEST(PlatformPosixPathTest, MakeFullPathJoinsRelativePathsToTheCurrentDirectory) {
  TempDir temp;
  EXPECT_EQ(MakeFullPath("data\\x.lua"), temp.Path() + "/data\\x.lua");
  EXPECT_EQ(MakeFullPath("/abs/x"), "/abs/x");
  EXPECT_EQ(MakeFullPath("\\rooted\\x"), "\\rooted\\x");
  EXPECT_EQ(MakeFullPath("c:\\x"), "c:\\x");
  EXPECT_FALSE(MakeFullPath("").has_value());
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(MakeFullPath("x"), "/x");
}

TEST(PlatformPosixPathTest, EnvironmentTellsUnsetFromEmpty) {
  const char* name = "TOLSCRIPT_TEST_VARIABLE";
  ScopedEnv scope(name, std::nullopt);
  EXPECT_FALSE(GetEnv(name).has_value());
  test_support::SetEnv(name, std::string());
  EXPECT_EQ(GetEnv(name), std::string());
  test_support::SetEnv(name, std::string("a b=c"));
  EXPECT_EQ(GetEnv(name), std::string("a b=c"));
  test_support::SetEnv(name, std::nullopt);
  EXPECT_FALSE(GetEnv(name).has_value());
}

}  // namespace
}  // namespace platform
