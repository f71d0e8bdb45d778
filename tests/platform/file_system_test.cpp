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

bool WriteThrough(const std::string& path, const char* mode = "wb") {
  FILE* stream = OpenStream(path, mode);
  return stream && std::fputs(mode, stream) >= 0 && std::fclose(stream) == 0;
}

std::string Listed(const std::string& pattern) {
  std::string names;
  for (const DirEntry& entry : ListDirectory(pattern))
    names += entry.name + (entry.isDirectory ? "/ " : " ");
  return names;
}

TEST(FileSystemTest, NamesAreFoundInAnyCaseAndNewNamesKeepTheCaseGiven) {
  test_support::TempDir temp;
  WriteFile("Data/Scripts/Foo.lua", "");
  test_support::SetMTime("Data/Scripts/Foo.lua", 4102444800);  // past 2038
  std::string seen;  // exists, directory, regular file
  for (const char* path : {"DATA/SCRIPTS/FOO.LUA", "data\\scripts", "data\\other\\foo.lua", ""}) {
    seen += std::string(FileExists(path) ? "e" : "-") + (IsDirectory(path) ? "d" : "-") +
            (IsRegularFile(path) ? "r " : "- ");
  }
  EXPECT_EQ(seen, "e-r ed- --- --- ");
  EXPECT_EQ(StatFile("data\\scripts\\fOO.lua").value().timeNs, 4102444800 * 1000000000);
  ASSERT_TRUE(WriteThrough("data\\scripts\\New.Lua") && WriteThrough("data\\scripts\\FOO.LUA") &&
              WriteThrough("data\\scripts\\foo.lua", "ab"));
  EXPECT_EQ(ListNames("Data/Scripts"), (Names{"Foo.lua", "New.Lua"}));
  EXPECT_EQ(StatFile("data\\scripts\\foo.lua").value().size, 4u);
  EXPECT_NE(DirectoryIdentity("DATA\\scripts\\.."), DirectoryIdentity("data\\scripts"));
  EXPECT_EQ(DirectoryIdentity("DATA\\scripts\\.."), DirectoryIdentity("data"));
  EXPECT_FALSE(DirectoryIdentity("data\\scripts\\foo.lua") || DirectoryIdentity("missing"));
  EXPECT_EQ(Listed("data\\scripts\\*") + Listed("data\\*.*") + Listed("data\\scripts\\foo.lua\\*"),
            "./ ../ Foo.lua New.Lua ./ ../ Scripts/ ");
#ifdef _WIN32
  // The system's matching also takes 8.3 names ("LONGFI~1.LUA" for a
  // ".luac") and gives '?' and a trailing '.' DOS meanings: none may show.
  WriteFile("LongFileName.luac", "");
  WriteFile("a.txt", "");
  EXPECT_EQ(Listed("*.lua") + Listed("longfi~1.lua") + Listed("a?.txt") + Listed("*."), "./ ../ ");
#endif
}

TEST(FileSystemTest, FailuresSayWhy) {
  test_support::TempDir temp;
  WriteFile("present", "x");
  fs::create_directory("Dir");
  std::string error;
  auto failed = [&error](bool done) {  // and said why
    bool said = !error.empty();
    error.clear();
    return !done && said;
  };
  errno = 0;
  EXPECT_TRUE(failed(RemoveFile("missing", &error)) && errno == ENOENT);
  errno = 0;
  EXPECT_TRUE(failed(RenameFile("missing", "present", &error)) && errno == ENOENT);
  EXPECT_FALSE(OpenStream("dir", "rb") || OpenStream("dir", "wb") || OpenStream("present", "q"));
  EXPECT_EQ(errno, EINVAL);
  // A missing folder, and names too long for any system.
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += std::string(200, 'd') + "\\";
  for (const std::string& path : {std::string("nodir\\x"), std::string(300, 'n'), deep + "x"}) {
    EXPECT_TRUE(failed(RemoveFile(path, &error)) && failed(RenameFile(path, "target", &error)) &&
                failed(RenameFile("present", path, &error)))
        << path;
    EXPECT_FALSE(FileExists(path) || WriteThrough(path) || WriteThrough(path + "\\y")) << path;
    std::string pattern = path + "XXXXXX";
    EXPECT_TRUE(CreateUniqueFile(pattern) == nullptr && pattern == path + "XXXXXX");
    EXPECT_EQ(Listed(path + "\\*"), "");
  }
  for (std::string bad : {"luaXXXXX", "", "XXXXXXa"}) EXPECT_EQ(CreateUniqueFile(bad), nullptr);
  EXPECT_EQ(ListNames("."), (Names{"Dir", "present"}));
}

#ifndef _WIN32
TEST(PosixPathTest, DriveAndRootedPathsLandUnderTheDriveRootAndSlashPathsStand) {
  test_support::TempDir temp;
  const std::string root = temp.Path() + "/Root";
  WriteFile("Root/Game/Old.txt", "");
  fs::create_directory("Work");
  test_support::ScopedEnv drive("MUNGE_DRIVE_ROOT", root + "//");
  fs::current_path("Work");
  for (const char* path : {"c:\\game\\a", "D:/game/b", "\\game\\c", "c:d", "e"})
    EXPECT_TRUE(WriteThrough(path)) << path;
  EXPECT_EQ(ListNames(root + "/Game"), (Names{"Old.txt", "a", "b", "c"}));
  EXPECT_EQ(ListNames(root), (Names{"Game", "d"}));
  EXPECT_EQ(ListNames("."), Names{"e"});
  for (const auto& [path, native] : std::vector<std::pair<std::string, std::string>>{
           {"c:\\GAME\\old.TXT", root + "/Game/Old.txt"}, {"\\", root},
           {"\\GAME\\New\\\\x//", root + "/Game/New/x/"}, {temp.Path() + "/root/GAME", root + "/Game"},
           {".\\..\\root\\GAME\\..\\game", "./../Root/Game/../Game"}})
    EXPECT_EQ(NativePath(path), native);
  test_support::SetEnv("MUNGE_DRIVE_ROOT", std::nullopt);
  EXPECT_EQ(NativePath("c:\\tolscript-missing\\x"), "/tolscript-missing/x");
}

TEST(PosixPathTest, TheIndexFindsTheExactNameElseTheFirstAndFollowsEveryChange) {
  test_support::TempDir temp;
  for (const char* name : {"foo", "Foo", "FOO", "Dir/a", "DIR/b", "Data/Old"}) WriteFile(name, name);
  // The exact name, else the first in listing order ("FOO" < "Foo" < "foo"),
  // else as given.
  EXPECT_EQ(ReadTextFile("Foo").value() + ReadTextFile("fOO").value(), "FooFOO");
  EXPECT_EQ(NativePath("dir\\b") + NativePath("dir\\a") + NativePath("Dir\\A"), "DIR/bDIR/aDir/a");
  // Changes by others, each after a lookup that read the index.
  EXPECT_FALSE(FileExists("data\\file.txt"));
  WriteFile("Data/File.TXT", "");
  EXPECT_TRUE(FileExists("data\\file.txt"));
  fs::rename("Data/File.TXT", "Data/Renamed");
  EXPECT_FALSE(FileExists("data\\file.txt") || !FileExists("data\\RENAMED"));
  fs::file_time_type before = fs::last_write_time("Data");
  WriteFile("Data/New.TXT", "");
  fs::last_write_time("Data", before);
  EXPECT_TRUE(FileExists("data\\new.txt"));
  // Changes through the platform, each right after the last.
  std::string error;
  EXPECT_TRUE(WriteThrough("data\\A.txt") && FileExists("data\\a.TXT"));
  EXPECT_TRUE(RenameFile("data\\a.txt", "data\\B.txt", &error) && !FileExists("data\\a.txt"));
  EXPECT_TRUE(RemoveFile("data\\b.TXT", &error) && !FileExists("data\\b.txt"));
  EXPECT_TRUE(WriteThrough("data\\b.Txt") && RemoveFile("data\\old", &error));
  std::string made = "DATA\\tmpXXXXXX";
  std::fclose(CreateUniqueFile(made));
  EXPECT_TRUE(FileExists("data\\" + made.substr(5)));
  EXPECT_TRUE(RenameFile("data\\RENAMED", "data\\renamed", &error)) << error;
  EXPECT_EQ(ListNames("Data"), (Names{"New.TXT", "b.Txt", "renamed", made.substr(5)}));
}

TEST(PosixPathTest, NamesAtTheLimitWorkAndBeyondItFailCleanly) {
  test_support::TempDir temp;
  const std::string longest(NAME_MAX, 'N');
  std::string error, deep;
  EXPECT_TRUE(WriteThrough(longest) &&
              RenameFile(std::string(NAME_MAX, 'n'), longest.substr(1) + "m", &error));
  EXPECT_EQ(ListNames("."), Names{longest.substr(1) + "m"});
  while (deep.size() <= PATH_MAX) deep += std::string(100, 'd') + "/";
  for (const std::string& path : {longest + "x", deep + "x", std::string("a\0b", 3)}) {
    errno = 0;
    EXPECT_TRUE(!WriteThrough(path) && errno == (path.size() == 3 ? EINVAL : ENAMETOOLONG));
    EXPECT_EQ(NativePath(path), "");
  }
  // An ordinary file's permissions, whatever a temporary name suggests.
  mode_t previous = umask(022);
  std::string name = "luaXXXXXX";
  std::fclose(CreateUniqueFile(name));
  umask(previous);
  EXPECT_EQ(fs::status(name).permissions(), fs::perms(0644));
}
#endif

}  // namespace
}  // namespace platform
