// The file calls of the platform layer on the real file system, through
// program-form paths that differ in case from the names on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

namespace platform {
namespace {

using test_support::Exists;
using test_support::ListNames;
using test_support::MakeDirs;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

std::string ReadStream(FILE* stream) {
  std::string text;
  char buffer[256];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, count);
  return text;
}

bool WriteThroughStream(const std::string& path, const char* mode, const std::string& text) {
  FILE* stream = OpenStream(path, mode);
  if (!stream) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fclose(stream) == 0 && written;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(PlatformFileSystemTest, MixedCaseTreeIsReachedThroughLowerCasePaths) {
  TempDir temp;
  WriteFile("Data/Scripts/Foo.lua", "print(1)");
  EXPECT_TRUE(FileExists("data\\scripts\\foo.lua"));
  EXPECT_TRUE(FileExists("DATA/SCRIPTS/FOO.LUA"));
  EXPECT_TRUE(IsDirectory("data\\scripts"));
  EXPECT_FALSE(IsDirectory("data\\scripts\\foo.lua"));
  EXPECT_FALSE(FileExists("data\\scripts\\bar.lua"));
  EXPECT_FALSE(FileExists("data\\other\\foo.lua"));
  EXPECT_TRUE(GetFileTime("data\\scripts\\foo.lua").has_value());
  EXPECT_FALSE(GetFileTime("data\\scripts\\bar.lua").has_value());

  FILE* stream = OpenStream("data\\scripts\\FOO.LUA", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadStream(stream), "print(1)");
  std::fclose(stream);
}

TEST(PlatformFileSystemTest, MissingFileAndEmptyPathAreNotFound) {
  TempDir temp;
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(IsDirectory(""));
  errno = 0;
  EXPECT_EQ(OpenStream("missing.txt", "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(OpenStream("nodir\\new.txt", "wb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(ListNames(".").empty());
}

TEST(PlatformFileSystemTest, NewFileLandsInTheRealDirectoryWithTheCaseGiven) {
  TempDir temp;
  MakeDirs("Data/Scripts");
  ASSERT_TRUE(WriteThroughStream("data\\scripts\\New.Lua", "wb", "x"));
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"Data"});
  EXPECT_EQ(ListNames("Data/Scripts"), std::vector<std::string>{"New.Lua"});
  EXPECT_EQ(ReadFile("Data/Scripts/New.Lua"), "x");
}

TEST(PlatformFileSystemTest, WritingInAnotherCaseReplacesTheExistingFile) {
  TempDir temp;
  WriteFile("a.txt", "old");
  ASSERT_TRUE(WriteThroughStream("A.TXT", "wb", "new"));
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile("a.txt"), "new");

  ASSERT_TRUE(WriteThroughStream("A.Txt", "at", "+more"));
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile("a.txt"), "new+more");
}

TEST(PlatformFileSystemTest, OpenStreamRejectsABadModeAndDirectories) {
  TempDir temp;
  WriteFile("a.txt", "x");
  MakeDirs("Dir");
  EXPECT_EQ(OpenStream("dir", "rb"), nullptr);
  EXPECT_EQ(OpenStream("dir", "wb"), nullptr);
  EXPECT_TRUE(IsDirectory("Dir"));
  errno = 0;
  EXPECT_EQ(OpenStream("a.txt", "q"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(OpenStream("a.txt", ""), nullptr);
  EXPECT_EQ(ReadFile("a.txt"), "x");
}

TEST(PlatformFileSystemTest, RenameReplacesATargetThatDiffersInCase) {
  TempDir temp;
  MakeDirs("Out");
  WriteFile("Out/foo.script", "old");
  WriteFile("tmp123", "new");
  std::string error;
  ASSERT_TRUE(RenameFile("TMP123", "out\\Foo.script", &error)) << error;
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"Out"});
  EXPECT_EQ(ListNames("Out"), std::vector<std::string>{"foo.script"});
  EXPECT_EQ(ReadFile("Out/foo.script"), "new");
}

TEST(PlatformFileSystemTest, RenameToANewNameKeepsTheCaseGiven) {
  TempDir temp;
  MakeDirs("Out");
  WriteFile("tmp", "data");
  std::string error;
  ASSERT_TRUE(RenameFile("tmp", "out\\New.Script", &error)) << error;
  EXPECT_EQ(ListNames("Out"), std::vector<std::string>{"New.Script"});
  EXPECT_FALSE(Exists("tmp"));
}

TEST(PlatformFileSystemTest, RenameAndRemoveReportFailures) {
  TempDir temp;
  std::string error;
  errno = 0;
  EXPECT_FALSE(RenameFile("missing", "target", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(Exists("target"));

  WriteFile("present", "x");
  error.clear();
  EXPECT_FALSE(RenameFile("present", "nodir\\target", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(Exists("present"));

  error.clear();
  errno = 0;
  EXPECT_FALSE(RemoveFile("missing", &error));
  EXPECT_FALSE(error.empty());
  // Callers that report a number rather than the text read it there.
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(RemoveFile("missing"));  // no error text wanted

  EXPECT_TRUE(RemoveFile("PRESENT", &error));
  EXPECT_FALSE(Exists("present"));
}

TEST(PlatformFileSystemTest, CreateUniqueFileMakesANewFileEachTime) {
  TempDir temp;
  MakeDirs("Work");
  std::set<std::string> made;
  for (int i = 0; i < 2; ++i) {
    std::string name = "work\\luaXXXXXX";
    FILE* stream = CreateUniqueFile(name);
    ASSERT_NE(stream, nullptr);
    // The directory text stays as given; only the X's change.
    EXPECT_EQ(name.substr(0, 8), "work\\lua");
    EXPECT_EQ(name.size(), 14u);
    EXPECT_EQ(name.find('X', 8), std::string::npos);
    ASSERT_EQ(std::fwrite("abc", 1, 3, stream), 3u);
    ASSERT_EQ(std::fseek(stream, 0, SEEK_SET), 0);
    EXPECT_EQ(ReadStream(stream), "abc");  // open for reading too
    std::fclose(stream);
    made.insert(name);
    EXPECT_TRUE(FileExists(name));
  }
  EXPECT_EQ(made.size(), 2u);
  EXPECT_EQ(ListNames("Work").size(), 2u);
  EXPECT_EQ(ListNames("."), std::vector<std::string>{"Work"});
}

TEST(PlatformFileSystemTest, OnlyPlainFilesAreRegular) {
  TempDir temp;
  WriteFile("Data/Foo.lua", "print(1)");
  EXPECT_TRUE(IsRegularFile("data\\foo.lua"));
  EXPECT_FALSE(IsRegularFile("data"));
  EXPECT_FALSE(IsRegularFile("data\\missing.lua"));
  EXPECT_FALSE(IsRegularFile(""));
}

TEST(PlatformFileSystemTest, CreateUniqueFileRejectsABadTemplate) {
  TempDir temp;
  for (std::string bad : {"luaXXXXX", "", "XXXXXXa", "nodir\\luaXXXXXX"}) {
    std::string name = bad;
    errno = 0;
    EXPECT_EQ(CreateUniqueFile(name), nullptr) << bad;
    EXPECT_NE(errno, 0) << bad;
    EXPECT_EQ(name, bad);
  }
  EXPECT_TRUE(ListNames(".").empty());
}

TEST(PlatformFileSystemTest, ListingMatchesWithoutCaseAndSortsStably) {
  TempDir temp;
  for (const char* name : {"b.lua", "A.LUA", "c.Lua", "notes.txt", "README", "d.luac"})
    WriteFile(std::string("Scripts/") + name, "");
  MakeDirs("Scripts/Sub.lua");

  std::vector<DirEntry> lua = ListDirectory("scripts\\*.lua");
  EXPECT_EQ(Names(lua), (std::vector<std::string>{"A.LUA", "b.lua", "c.Lua", "Sub.lua"}));
  for (const DirEntry& entry : lua) EXPECT_EQ(entry.isDirectory, entry.name == "Sub.lua");

  EXPECT_EQ(Names(ListDirectory("SCRIPTS/?.LUA")),
            (std::vector<std::string>{"A.LUA", "b.lua", "c.Lua"}));
  EXPECT_EQ(Names(ListDirectory("scripts\\readme")), std::vector<std::string>{"README"});
  EXPECT_EQ(Names(ListDirectory("scripts\\*.*")),
            (std::vector<std::string>{".", "..", "A.LUA", "b.lua", "c.Lua", "d.luac",
                                      "notes.txt", "README", "Sub.lua"}));
  std::vector<DirEntry> all = ListDirectory("scripts\\*");
  ASSERT_EQ(all.size(), 9u);
  EXPECT_EQ(all[0].name, ".");
  EXPECT_TRUE(all[0].isDirectory);
  EXPECT_EQ(all[1].name, "..");
  EXPECT_TRUE(all[1].isDirectory);
}

TEST(PlatformFileSystemTest, ListingOfAMissingDirectoryIsEmpty) {
  TempDir temp;
  WriteFile("file.txt", "");
  EXPECT_TRUE(ListDirectory("missing\\*.*").empty());
  EXPECT_TRUE(ListDirectory("file.txt\\*").empty());
  EXPECT_TRUE(ListDirectory("*.none").empty());
  EXPECT_TRUE(ListDirectory("").empty());
  EXPECT_EQ(Names(ListDirectory("*.TXT")), std::vector<std::string>{"file.txt"});
}

TEST(PlatformFileSystemTest, FileTimesAreSixtyFourBit) {
  TempDir temp;
  WriteFile("Dated.txt", "");
  const int64_t after2038 = 4102444800;  // 2100-01-01
  test_support::SetMTime("Dated.txt", after2038);
  EXPECT_EQ(GetFileTime("DATED.txt"), after2038);
  test_support::SetMTime("Dated.txt", 1000000000);
  EXPECT_EQ(GetFileTime("dated.txt"), 1000000000);
  EXPECT_FALSE(GetFileTime("missing.txt").has_value());
}

TEST(PlatformFileSystemTest, DirectoryIdentityIsTheSameForEverySpelling) {
  TempDir temp;
  MakeDirs("Tree/Sub");
  MakeDirs("Other");
  std::optional<std::string> tree = DirectoryIdentity("Tree");
  ASSERT_TRUE(tree.has_value());
  EXPECT_EQ(DirectoryIdentity("tree\\"), tree);
  EXPECT_EQ(DirectoryIdentity("TREE\\sub\\.."), tree);
  EXPECT_NE(DirectoryIdentity("tree\\sub"), tree);
  EXPECT_NE(DirectoryIdentity("other"), tree);
  EXPECT_FALSE(DirectoryIdentity("missing").has_value());
}

TEST(PlatformFileSystemTest, OverLongNamesFailCleanly) {
  TempDir temp;
  const std::string longName(300, 'n');
  EXPECT_FALSE(FileExists(longName));
  EXPECT_EQ(OpenStream(longName, "wb"), nullptr);
  EXPECT_EQ(OpenStream(longName + "\\x.txt", "rb"), nullptr);
  std::string error;
  EXPECT_FALSE(RemoveFile(longName, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(RenameFile(longName, "b", &error));
  EXPECT_TRUE(ListDirectory(longName + "\\*").empty());

  std::string deep;
  for (int i = 0; i < 40; ++i) deep += std::string(200, 'd') + "\\";
  EXPECT_FALSE(FileExists(deep + "x"));
  EXPECT_EQ(OpenStream(deep + "x", "wb"), nullptr);
  std::string pattern = deep + "XXXXXX";
  EXPECT_EQ(CreateUniqueFile(pattern), nullptr);
  EXPECT_EQ(pattern, deep + "XXXXXX");
  EXPECT_TRUE(ListNames(".").empty());
}

TEST(PlatformFileSystemTest, TextFilesAreReadUpToTheFirstNul) {
  TempDir temp;
  WriteFile("plain.txt", "a\r\nb");
  // Not "nul.txt": Windows takes that name for its null device.
  WriteFile("zero.txt", std::string("ab\0cd", 5));
  EXPECT_EQ(ReadTextFile("plain.txt"), std::optional<std::string>("a\r\nb"));
  EXPECT_EQ(ReadTextFile("zero.txt"), std::optional<std::string>("ab"));
  EXPECT_FALSE(ReadTextFile("missing.txt").has_value());
  WriteFile("big.txt", std::string(300000, 'x'));
  EXPECT_EQ(ReadTextFile("big.txt")->size(), 300000u);
}

}  // namespace
}  // namespace platform
