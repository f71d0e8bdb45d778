// The file calls of the platform layer on the real file system, through
// program-form paths that differ in case from the names on disk; on POSIX
// also the translation of those paths and the directory index behind it.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "platform/platform.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using test_support::ListNames;
using test_support::WriteFile;
using Names = std::vector<std::string>;

bool WriteThrough(const std::string& path, const char* mode = "wb", const std::string& text = "") {
  FILE* stream = OpenStream(path, mode);
  return stream && std::fputs(text.c_str(), stream) >= 0 && std::fclose(stream) == 0;
}

std::string Listed(const std::string& pattern) {
  std::string names;
  for (const DirEntry& entry : ListDirectory(pattern))
    names += entry.name + (entry.isDirectory ? "/ " : " ");
  return names;
}

TEST(FileSystemTest, NamesAreFoundInAnyCaseAndNewNamesKeepTheCaseGiven) {
  test_support::TempDir temp;
  WriteFile("Data/Scripts/Foo.lua", std::string("x\0y", 3));
  const int64_t after2038 = 4102444800;
  test_support::SetMTime("Data/Scripts/Foo.lua", after2038);
  std::string seen;  // exists, directory, regular file
  for (const char* path : {"DATA/SCRIPTS/FOO.LUA", "data\\scripts", "data\\other\\foo.lua", ""}) {
    seen += std::string(FileExists(path) ? "e" : "-") + (IsDirectory(path) ? "d" : "-") +
            (IsRegularFile(path) ? "r " : "- ");
  }
  EXPECT_EQ(seen, "e-r ed- --- --- ");
  std::optional<FileStatus> status = StatFile("data\\scripts\\fOO.lua");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->timeNs, after2038 * 1000000000);
  EXPECT_EQ(status->size, 3u);
  EXPECT_EQ(ReadTextFile("data\\scripts\\foo.LUA"), "x");  // up to the first NUL
  ASSERT_TRUE(WriteThrough("data\\scripts\\New.Lua", "wb", "new"));
  ASSERT_TRUE(WriteThrough("DATA\\scripts\\FOO.LUA", "wb", "x"));
  ASSERT_TRUE(WriteThrough("data\\scripts\\foo.lua", "ab", "+"));
  EXPECT_EQ(ListNames("Data/Scripts"), (Names{"Foo.lua", "New.Lua"}));
  EXPECT_EQ(test_support::ReadFile("Data/Scripts/Foo.lua"), "x+");
  std::string error;
  ASSERT_TRUE(RenameFile("DATA\\SCRIPTS\\NEW.LUA", "data\\scripts\\foo.LUA", &error)) << error;
  ASSERT_TRUE(RenameFile("data\\scripts\\foo.lua", "Data\\Out.Script", &error)) << error;
  EXPECT_EQ(ListNames("Data/Scripts"), Names{});
  EXPECT_EQ(ListNames("Data"), (Names{"Out.Script", "Scripts"}));
  EXPECT_EQ(test_support::ReadFile("Data/Out.Script"), "new");
  EXPECT_EQ(DirectoryIdentity("DATA\\scripts\\.."), DirectoryIdentity("data"));
  EXPECT_NE(DirectoryIdentity("data\\scripts"), DirectoryIdentity("data"));
  EXPECT_FALSE(DirectoryIdentity("data\\out.script") || DirectoryIdentity("missing"));
}

TEST(FileSystemTest, FailuresSayWhy) {
  test_support::TempDir temp;
  WriteFile("present", "x");
  fs::create_directory("Dir");
  std::string error;
  errno = 0;
  EXPECT_FALSE(RemoveFile("missing", &error) || error.empty() || errno != ENOENT);
  error.clear();
  errno = 0;
  EXPECT_FALSE(RenameFile("missing", "present", &error) || error.empty() || errno != ENOENT);
  errno = 0;
  EXPECT_FALSE(OpenStream("missing", "rb") || errno != ENOENT);
  EXPECT_FALSE(OpenStream("dir", "rb") || OpenStream("dir", "wb") || OpenStream("present", "q"));
  EXPECT_EQ(errno, EINVAL);
  // Paths that cannot name a file: a missing folder, names too long.
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += std::string(200, 'd') + "\\";
  for (const std::string& path : {std::string("nodir\\x"), std::string(300, 'n'), deep + "x"}) {
    error.clear();
    EXPECT_FALSE(RemoveFile(path, &error) || error.empty()) << path;
    error.clear();
    EXPECT_FALSE(RenameFile(path, "target", &error) || error.empty()) << path;
    error.clear();
    EXPECT_FALSE(RenameFile("present", path, &error) || error.empty()) << path;
    EXPECT_FALSE(FileExists(path) || WriteThrough(path) || WriteThrough(path + "\\y")) << path;
    EXPECT_EQ(Listed(path + "\\*"), "");
    std::string pattern = path + "XXXXXX";
    EXPECT_EQ(CreateUniqueFile(pattern), nullptr);
    EXPECT_EQ(pattern, path + "XXXXXX");
  }
  for (std::string bad : {"luaXXXXX", "", "XXXXXXa"}) EXPECT_EQ(CreateUniqueFile(bad), nullptr);
  EXPECT_EQ(ListNames("."), (Names{"Dir", "present"}));
}

TEST(FileSystemTest, ListingsMatchWithoutCaseInAStableOrder) {
  test_support::TempDir temp;
  for (const char* name : {"b.lua", "A.LUA", "notes.txt", "README", "d.luac", "_x.lua"})
    WriteFile(std::string("Scripts/") + name, "");
  fs::create_directory("Scripts/Sub.lua");
  EXPECT_EQ(Listed("scripts\\*.lua"), "A.LUA b.lua Sub.lua/ _x.lua ");
  EXPECT_EQ(Listed("SCRIPTS/?.LUA") + Listed("scripts\\readme"), "A.LUA b.lua README ");
  EXPECT_EQ(Listed("scripts\\*"), "./ ../ A.LUA b.lua d.luac notes.txt README Sub.lua/ _x.lua ");
  EXPECT_EQ(Listed("missing\\*.*") + Listed("scripts\\readme\\*") + Listed("*.none"), "");
#ifdef _WIN32
  // The system's matching also takes 8.3 names ("LONGFI~1.LUA" for a
  // ".luac") and gives '?' and a trailing '.' DOS meanings: none may show.
  WriteFile("LongFileName.luac", "");
  WriteFile("a.txt", "");
  EXPECT_EQ(Listed("*.lua") + Listed("longfi~1.lua") + Listed("a?.txt") + Listed("*."), "./ ../ ");
#endif
}

#ifndef _WIN32
TEST(PosixPathTest, DriveAndRootedPathsLandUnderTheDriveRootAndSlashPathsStand) {
  test_support::TempDir temp;
  WriteFile("Root/Game/Old.txt", "");
  fs::create_directory("Work");
  test_support::ScopedEnv root("MUNGE_DRIVE_ROOT", temp.Path() + "/Root//");
  fs::current_path("Work");
  for (const char* path : {"c:\\game\\drive.txt", "D:/game/other.txt", "\\game\\rooted.txt",
                           "c:relative.txt", "cwd.txt"})
    EXPECT_TRUE(WriteThrough(path)) << path;
  EXPECT_TRUE(WriteThrough(temp.Path() + "/Root/slash.txt"));
  EXPECT_EQ(ListNames("../Root/Game"), (Names{"Old.txt", "drive.txt", "other.txt", "rooted.txt"}));
  EXPECT_EQ(ListNames("../Root"), (Names{"Game", "relative.txt", "slash.txt"}));
  EXPECT_EQ(ListNames("."), Names{"cwd.txt"});
  EXPECT_EQ(NativePath("c:\\GAME\\old.TXT"), temp.Path() + "/Root/Game/Old.txt");
  EXPECT_EQ(NativePath("\\GAME\\New\\Sub\\x"), temp.Path() + "/Root/Game/New/Sub/x");
  EXPECT_EQ(NativePath(".\\..\\root\\GAME\\..\\game\\"), "./../Root/Game/../Game/");
  EXPECT_EQ(NativePath(temp.Path() + "/root/GAME"), temp.Path() + "/Root/Game");
  test_support::SetEnv("MUNGE_DRIVE_ROOT", std::nullopt);
  EXPECT_EQ(NativePath("c:\\tolscript-missing\\x"), "/tolscript-missing/x");
}

TEST(PosixPathTest, TheIndexFindsTheExactNameElseTheFirstAndFollowsEveryChange) {
  test_support::TempDir temp;
  for (const char* name : {"foo", "Foo", "FOO", "Dir/a", "DIR/b"}) WriteFile(name, name);
  EXPECT_EQ(ReadTextFile("Foo"), "Foo");
  EXPECT_EQ(ReadTextFile("fOO"), "FOO");  // "FOO" < "Foo" < "foo"
  // "DIR" is first, but only "Dir" holds an "a".
  EXPECT_EQ(NativePath("dir\\b") + NativePath("dir\\a") + NativePath("Dir\\A"), "DIR/bDIR/aDir/a");
  // Changes by others, each after a lookup that read the index.
  fs::create_directory("Data");
  EXPECT_FALSE(FileExists("data\\file.txt"));
  WriteFile("Data/File.TXT", "");
  EXPECT_TRUE(FileExists("data\\file.txt"));
  fs::rename("Data/File.TXT", "Data/Renamed");
  EXPECT_FALSE(FileExists("data\\file.txt"));
  EXPECT_TRUE(FileExists("data\\RENAMED"));
  fs::file_time_type before = fs::last_write_time("Data");
  WriteFile("Data/New.TXT", "");
  fs::last_write_time("Data", before);
  EXPECT_TRUE(FileExists("data\\new.txt"));
  // Changes through the platform, each right after the last.
  std::string error;
  EXPECT_TRUE(WriteThrough("data\\A.txt") && FileExists("data\\a.TXT"));
  EXPECT_TRUE(RenameFile("data\\a.txt", "data\\B.txt", &error) && !FileExists("data\\a.txt"));
  EXPECT_TRUE(RemoveFile("data\\b.TXT", &error) && !FileExists("data\\b.txt")) << error;
  EXPECT_TRUE(WriteThrough("data\\b.Txt"));
  std::string made = "DATA\\tmpXXXXXX";
  FILE* unique = CreateUniqueFile(made);
  ASSERT_NE(unique, nullptr);
  std::fclose(unique);
  EXPECT_TRUE(FileExists("data\\" + made.substr(5)));
  ASSERT_TRUE(RenameFile("data\\RENAMED", "data\\renamed", &error)) << error;
  EXPECT_EQ(ListNames("Data"), (Names{"New.TXT", "b.Txt", "renamed", made.substr(5)}));
}

TEST(PosixPathTest, NamesAtTheLimitWorkAndBeyondItFailCleanly) {
  test_support::TempDir temp;
  const std::string longest(NAME_MAX, 'N');
  ASSERT_TRUE(WriteThrough(longest));
  std::string error;
  EXPECT_TRUE(RenameFile(std::string(NAME_MAX, 'n'), longest.substr(1) + "m", &error)) << error;
  EXPECT_EQ(ListNames("."), Names{longest.substr(1) + "m"});
  std::string deep;
  while (deep.size() <= PATH_MAX) deep += std::string(100, 'd') + "/";
  for (const std::string& path : {longest + "x", deep + "x", std::string("a\0b", 3)}) {
    errno = 0;
    EXPECT_FALSE(WriteThrough(path) || FileExists(path));
    EXPECT_EQ(errno, path.size() == 3 ? EINVAL : ENAMETOOLONG);
    EXPECT_EQ(NativePath(path), "");
  }
  // An ordinary file's permissions, whatever a temporary name suggests.
  mode_t previous = umask(022);
  std::string name = "luaXXXXXX";
  FILE* unique = CreateUniqueFile(name);
  umask(previous);
  ASSERT_NE(unique, nullptr);
  std::fclose(unique);
  EXPECT_EQ(fs::status(name).permissions(), fs::perms(0644));
}
#endif

}  // namespace
}  // namespace platform
