// Where Windows' own file services behave in their own way, the platform
// layer must still give what it gives everywhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace platform {
namespace {

using test_support::MakeDirs;
using test_support::TempDir;
using test_support::WriteFile;

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) names.push_back(entry.name);
  return names;
}

// The system matches short 8.3 names too ("*.lua" would find a ".luac"
// file through "LONGFI~1.LUA") and gives '?' and a trailing '.' DOS
// meanings ("a?.txt" finding "a.txt", "*." finding "readme"); none of that
// may show.
TEST(PlatformFileSystemWin32Test, ListingMatchesLongNamesByTheProgramsRules) {
  TempDir temp;
  for (const char* name : {"LongFileName.luac", "x.lua", "readme", "a.txt", "ab.txt"})
    WriteFile(name, "");
  EXPECT_EQ(Names(ListDirectory("*.lua")), std::vector<std::string>{"x.lua"});
  EXPECT_EQ(Names(ListDirectory("a?.txt")), std::vector<std::string>{"ab.txt"});
  EXPECT_EQ(Names(ListDirectory("*.")), (std::vector<std::string>{".", ".."}));
  EXPECT_TRUE(ListDirectory("longfi~1.lua").empty());
  EXPECT_EQ(Names(ListDirectory("README")), std::vector<std::string>{"readme"});
  EXPECT_EQ(Names(ListDirectory(".\\X.LUA")), std::vector<std::string>{"x.lua"});
}

// Windows sorts its listings its own way (case-insensitively through lower
// or upper case, or not at all); the order here is the program's on every
// platform. Folding to lower case would put "[x]" and "a_b" first.
TEST(PlatformFileSystemWin32Test, ListingOrderIsTheProgramsOwn) {
  TempDir temp;
  for (const char* name : {"Zeta", "[x]", "a_b", "alpha", "aB"}) WriteFile(name, "");
  EXPECT_EQ(Names(ListDirectory("*")),
            (std::vector<std::string>{".", "..", "aB", "alpha", "a_b", "Zeta", "[x]"}));
}

// Windows lists "." and ".." in every directory but a drive's root.
TEST(PlatformFileSystemWin32Test, DotEntriesAreListedWhenThePatternMatchesThem) {
  TempDir temp;
  WriteFile("Sub/f", "");
  std::vector<DirEntry> entries = ListDirectory("sub\\*");
  EXPECT_EQ(Names(entries), (std::vector<std::string>{".", "..", "f"}));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_FALSE(entries[2].isDirectory);
  EXPECT_EQ(Names(ListDirectory("sub\\*.*")), (std::vector<std::string>{".", "..", "f"}));
}

// Unlike POSIX, Windows keeps an open file from being deleted: callers
// must close the unique file before they remove it.
TEST(PlatformFileSystemWin32Test, AnOpenUniqueFileCannotBeRemoved) {
  TempDir temp;
  std::string name = "luaXXXXXX";
  FILE* stream = CreateUniqueFile(name);
  ASSERT_NE(stream, nullptr);
  std::string error;
  EXPECT_FALSE(RemoveFile(name, &error));
  EXPECT_FALSE(error.empty());
  ASSERT_EQ(std::fclose(stream), 0);
  EXPECT_TRUE(RemoveFile(name, &error)) << error;
  EXPECT_FALSE(FileExists(name));
}

// Times before 1970 come back as they are. (Not all of them down to 1601:
// a file system under Wine may keep no time before 1901.)
TEST(PlatformFileSystemWin32Test, FileTimesBefore1970AndOfDirectories) {
  TempDir temp;
  WriteFile("old.txt", "");
  MakeDirs("Dir");
  for (int64_t before1970 : {int64_t{-86400}, int64_t{-2000000000}}) {
    test_support::SetMTime("old.txt", before1970);
    EXPECT_EQ(GetFileTime("old.txt"), before1970);
  }
  test_support::SetMTime("Dir", 1234567890);
  EXPECT_EQ(GetFileTime("DIR"), 1234567890);
}

TEST(PlatformFileSystemWin32Test, DirectoryIdentityTakesDrivePathsAndNotFiles) {
  TempDir temp;
  MakeDirs("Tree/Sub");
  WriteFile("file.txt", "");
  std::optional<std::string> tree = DirectoryIdentity("tree");
  ASSERT_TRUE(tree.has_value());
  EXPECT_EQ(DirectoryIdentity(MakeFullPath("TREE").value()), tree);
  EXPECT_EQ(DirectoryIdentity(temp.Path() + "/tree/sub/.."), tree);
  EXPECT_FALSE(DirectoryIdentity("file.txt").has_value());
}

TEST(PlatformFileSystemWin32Test, NativePathIsThePathItself) {
  for (const char* path : {"c:\\Data\\x.lua", "rel/dir\\x", "\\rooted", ""})
    EXPECT_EQ(NativePath(path), path);
}

}  // namespace
}  // namespace platform
