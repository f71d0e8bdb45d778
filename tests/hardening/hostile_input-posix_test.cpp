// Hostile names and trees on POSIX, where a file name may hold any byte but
// '/' and NUL: names that a shell would take apart or run, very long paths,
// links that loop, and a 100 MiB option file. The program must munge what
// it can, refuse the rest cleanly, run nothing, and write nothing but its
// outputs and its log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "child_process-posix.h"
#include "hardening_support.h"
#include "platform/path_rules.h"
#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

using end_to_end::BinaryScriptFile;
using end_to_end::CompileWithLuac;
using end_to_end::Contains;
using end_to_end::TextScriptFile;
using hardening::CompilerLeftovers;
using hardening::CountOccurrences;
using hardening::SnapshotTree;
using hardening::TreeChanges;
using test_support::ReadFile;
using test_support::RunTolscript;
using test_support::WriteFile;

using Names = std::vector<std::string>;

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_LUAC(); }
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

// Inputs whose names hold what a shell or a command line would act on.
std::vector<std::string> HostileInputs() {
  const std::string component(200, 'c');
  return {
      "blank name.lua",
      " leading blank.lua",
      "it's.lua",
      "say \"hi\".lua",
      "semi;colon & pipe | amp > x.lua",
      "$(touch marker-dollar).lua",
      "`touch marker-tick`.lua",
      "-leading-dash.lua",
      "--option-like.lua",
      "na\xc3\xafve \xe2\x82\xac.lua",
      "bad \xff\xfe bytes.lua",
      "tab\tand\x01control.lua",
      "new\nline.lua",
      std::string(196, 'n') + ".lua",
      "dir; $(touch marker-dir) `touch marker-dir2`/inner name.lua",
      // More than 260 characters, in 200-character components.
      component + "/" + component + "/" + component + "/" + component + "/" +
          std::string(196, 's') + ".lua",
  };
}

std::string Directory(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(Directory(path).size());
  return name.substr(0, name.size() - 4);
}

enum class Naming { RecursivePattern, ListFile, CommandLine, HostileOutputDir };

struct NamingCase {
  const char* name;
  Naming naming;
};

void PrintTo(const NamingCase& c, std::ostream* out) { *out << c.name; }

class HostileNamesTest : public HostileInputTest,
                         public ::testing::WithParamInterface<NamingCase> {};

TEST_P(HostileNamesTest, AreMungedAsTheyStandAndRunNothing) {
  const std::vector<std::string> inputs = HostileInputs();
  std::vector<std::string> compiled;
  for (size_t i = 0; i < inputs.size(); ++i) {
    WriteFile(inputs[i], "return " + std::to_string(i) + "\n");
    compiled.push_back(CompileWithLuac("./" + inputs[i], {"-s"}));
  }
  const std::string outputDir = "out $(touch marker-out) `touch marker-out2`; 'q'";
  std::vector<std::string> args{"-inputfile"};
  switch (GetParam().naming) {
    case Naming::RecursivePattern:
      args.push_back("!*.lua");
      break;
    case Naming::ListFile: {
      std::string list;
      for (const std::string& input : inputs) list += hardening::QuoteToken(input) + "\n";
      WriteFile("inputs.txt", list);
      args.push_back("@inputs.txt");
      break;
    }
    case Naming::CommandLine:
      // An argument with a leading dash would be an option.
      for (const std::string& input : inputs)
        args.push_back(input[0] == '-' ? "./" + input : input);
      break;
    case Naming::HostileOutputDir:
      test_support::MakeDirs(outputDir);
      args.insert(args.end(), {"!*.lua", "-outputdir", outputDir + "\\"});
      break;
  }
  const hardening::TreeSnapshot before = SnapshotTree(temp.Path());
  test_support::ProgramRun run = RunTolscript(args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");

  Names expectedChanges{"+tolscript.log"};
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::string output =
        (GetParam().naming == Naming::HostileOutputDir ? outputDir + "/" : Directory(inputs[i])) +
        BaseName(inputs[i]) + ".script";
    expectedChanges.push_back("+" + output);
    EXPECT_EQ(ReadFile(output),
              BinaryScriptFile(platform::ToLowerAscii(BaseName(inputs[i])), compiled[i]))
        << output;
  }
  std::sort(expectedChanges.begin(), expectedChanges.end(),
            [](const std::string& a, const std::string& b) { return a.substr(1) < b.substr(1); });
  // Also: no marker file, so no part of a name was run as a command.
  EXPECT_EQ(TreeChanges(before, SnapshotTree(temp.Path())), expectedChanges);
}

INSTANTIATE_TEST_SUITE_P(
    Namings, HostileNamesTest,
    ::testing::Values(NamingCase{"recursive_pattern", Naming::RecursivePattern},
                      NamingCase{"list_file", Naming::ListFile},
                      NamingCase{"command_line", Naming::CommandLine},
                      NamingCase{"hostile_output_dir", Naming::HostileOutputDir}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return std::string(info.param.name); });

TEST_F(HostileInputTest, ANameHoldingABackslashIsRefusedCleanly) {
  // The program reads '\' as a separator on every platform.
  WriteFile("back\\slash.lua", "return 1\n");
  const hardening::TreeSnapshot before = SnapshotTree(temp.Path());
  test_support::ProgramRun run = RunTolscript({"-inputfile", "!*.lua", "-continue"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Error: Input file .\\back\\slash.lua does not exist. [continuing]\n");
  EXPECT_EQ(TreeChanges(before, SnapshotTree(temp.Path())), Names{"+tolscript.log"});
}

TEST_F(HostileInputTest, DirectoryLinkLoopsArePassedOverUnderRecursion) {
  WriteFile("t/a/x.lua", "return 'x'\n");
  WriteFile("t/b/y.lua", "return 'y'\n");
  ASSERT_EQ(symlink("..", "t/a/up"), 0);
  ASSERT_EQ(symlink(".", "t/b/self"), 0);
  ASSERT_EQ(symlink("../b", "t/a/tob"), 0);
  ASSERT_EQ(symlink("../a", "t/b/toa"), 0);
  ASSERT_EQ(symlink("nowhere", "t/dangling"), 0);
  test_support::MakeDirs("out");
  const std::string x = CompileWithLuac("t/a/x.lua", {"-s"});
  const std::string y = CompileWithLuac("t/b/y.lua", {"-s"});
  const hardening::TreeSnapshot before = SnapshotTree(temp.Path());

  test_support::ProgramRun run = RunTolscript({"-inputfile", "!*.lua", "-outputdir", "out\\"});
  EXPECT_EQ(run.exitCode, 1);
  static const std::regex loopLine(
      "Error: Input directory \\.\\\\t\\\\[^\n]*: link loop, passed over\\.");
  size_t lines = 0;
  for (size_t start = 0, end; start < run.err.size(); start = end + 1, ++lines) {
    end = run.err.find('\n', start);
    if (end == std::string::npos) end = run.err.size();
    EXPECT_TRUE(std::regex_match(run.err.substr(start, end - start), loopLine))
        << run.err.substr(start, end - start);
  }
  EXPECT_NE(lines, 0u);
  EXPECT_TRUE(Contains(run.err, "Input directory .\\t\\a\\up: link loop")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Input directory .\\t\\b\\self: link loop")) << run.err;
  EXPECT_EQ(ReadFile("out/x.script"), BinaryScriptFile("x", x));
  EXPECT_EQ(ReadFile("out/y.script"), BinaryScriptFile("y", y));
  EXPECT_EQ(TreeChanges(before, SnapshotTree(temp.Path())),
            (Names{"+out/x.script", "+out/y.script", "+tolscript.log"}));
}

// Bytes from files echoed in messages: list tokens, option values and
// names found on disk. Control bytes (but tab) and DEL show as \xHH, so no
// escape sequence reaches the terminal or the logs; UTF-8 stays as it is.
TEST_F(HostileInputTest, MessagesShowControlBytesFromFilesEscaped) {
  struct Case {
    const char* name;
    std::string file;     // a script made under this name, when not empty
    std::string list;     // the list file's text, when not empty
    std::string option;   // good.lua's option file, when not empty
    std::vector<std::string> args;
    std::string shown;    // on the console and in the tool log
  };
  // Sets the terminal's title, then its colour; lower case, as option
  // values are lowered.
  const std::string esc = "\x1b]0;owned\x07\x1b[31m";
  const std::string escShown = "\\x1B]0;owned\\x07\\x1B[31m";
  const Case cases[] = {
      {"list_token_naming_a_missing_file", "", hardening::QuoteToken(esc + ".lua"), "",
       {"-inputfile", "@list.txt", "good.lua", "-continue"},
       "Error: Input file .\\" + escShown + ".lua does not exist. [continuing]\n"},
      {"list_token_with_a_wildcard_folder", "", hardening::QuoteToken("d*" + esc + "\\a.lua"), "",
       {"-inputfile", "@list.txt", "good.lua", "-continue"},
       "Error: Input file option d*" + escShown +
           "\\a.lua: wildcards for directories are not supported. [continuing]\n"},
      {"list_token_naming_a_list", "", hardening::QuoteToken("@gone\r\x7f.txt"), "",
       {"-inputfile", "@list.txt", "good.lua", "-continue"},
       "Error: Input file @gone\\x0D\\x7F.txt: can't load file."},
      {"option_value", "", "", "-outputdir " + hardening::QuoteToken("gone" + esc + "\\"),
       {"-inputfile", "good.lua", "-continue"},
       "Error: Could not open gone" + escShown + "\\good.script for output."},
      {"name_found_on_disk", "new\nline\x7f.lua", "", "", {"-inputfile", "!*.lua"},
       "Munging new\\x0Aline\\x7F.lua\n"},
      {"utf8_and_tab_stay", "na\xc3\xafve\t\xe2\x82\xac.lua", "", "", {"-inputfile", "*.lua"},
       "Munging na\xc3\xafve\t\xe2\x82\xac.lua\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    WriteFile("good.lua", "return 1\n");
    if (!c.file.empty()) WriteFile(c.file, "return 2\n");
    if (!c.list.empty()) WriteFile("list.txt", c.list + "\n");
    if (!c.option.empty()) WriteFile("good.lua.option", c.option + "\n");
    test_support::ProgramRun run = RunTolscript(c.args);
    const std::string console = run.out + run.err;
    EXPECT_TRUE(Contains(console, c.shown)) << console;
    EXPECT_TRUE(Contains(console, "Munging good.lua\n")) << console;
    for (const std::string& text : {console, ReadFile("tolscript.log")}) {
      for (unsigned char byte : text) {
        EXPECT_FALSE((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7f)
            << "raw byte " << static_cast<int>(byte) << " in:\n" << text;
      }
    }
  }
}

struct LinkedListCase {
  const char* name;
  std::vector<std::string> links;  // to "."
  std::string aliasOfList;         // a link to the list itself, when not empty
  std::string content;
};

void PrintTo(const LinkedListCase& c, std::ostream* out) { *out << c.name; }

class ListThroughLinksTest : public HostileInputTest,
                             public ::testing::WithParamInterface<LinkedListCase> {};

TEST_P(ListThroughLinksTest, IsCaughtWhereItFirstComesBack) {
  const LinkedListCase& c = GetParam();
  WriteFile("a.lua", "return 1\n");
  WriteFile("self.txt", c.content);
  for (const std::string& link : c.links) ASSERT_EQ(symlink(".", link.c_str()), 0);
  if (!c.aliasOfList.empty()) {
    ASSERT_EQ(symlink("self.txt", c.aliasOfList.c_str()), 0);
  }
  // "-skip" keeps the compiler out; "-debug" tells each time an input is
  // reached.
  test_support::ProgramRun run =
      RunTolscript({"-inputfile", "@self.txt", "-continue", "-skip", "-debug"});
  EXPECT_EQ(run.exitCode, 1);
  // The list holds a.lua once and is itself named once from the command line.
  EXPECT_EQ(CountOccurrences(run.out, "Considering [.\\a.lua]"), 1u);
  EXPECT_LE(CountOccurrences(run.err, "list names itself"),
            static_cast<size_t>(std::count(c.content.begin(), c.content.end(), '@')));
}

INSTANTIATE_TEST_SUITE_P(Links, ListThroughLinksTest,
                         ::testing::Values(
                             LinkedListCase{
                                 "directory_links",
                                 {"d1", "d2", "d3", "d4", "d5", "d6"},
                                 "",
                                 "@self.txt @d1/self.txt @d2/self.txt @d3/self.txt @d4/self.txt "
                                 "@d5/self.txt @d6/self.txt a.lua\n"},
                             LinkedListCase{"file_link", {}, "alias.txt", "@alias.txt a.lua\n"}),
                         [](const ::testing::TestParamInfo<LinkedListCase>& info) {
                           return std::string(info.param.name);
                         });

// Random tokens with balanced quotes, so that the option at the end is
// read as one.
std::string HugeOptionText(size_t size) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789_.\\";
  uint64_t state = 0x9e3779b97f4a7c15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  std::string text;
  text.reserve(size + 64);
  while (text.size() < size) {
    uint64_t r = next();
    switch (r % 16) {
      case 0:
        text += "-b ";  // an option the script tool accepts and ignores
        continue;
      case 1:
        text += "\"quoted value with blanks\" ";
        continue;
      default:
        break;
    }
    size_t length = 1 + (r >> 8) % 64;
    for (size_t i = 0; i < length; ++i) text += kChars[next() % (sizeof kChars - 1)];
    text += (r >> 20) % 8 == 0 ? '\n' : ' ';
  }
  return text + "-text\n";
}

TEST_F(HostileInputTest, AHundredMegabyteOptionFileIsReadWhole) {
  constexpr size_t kSize = 100u << 20;
  WriteFile("a.lua", "return 1\n");
  {
    std::ofstream option("a.lua.option", std::ios::binary);
    std::string text = HugeOptionText(kSize);
    option.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(option.good());
  }
  const std::string compiled = CompileWithLuac("a.lua", {"-s"});
  // Started here rather than through RunTolscript, for its peak memory.
  hardening::ChildProcess child({TOLSCRIPT_PROGRAM, "-inputfile", "a.lua"}, {}, "run.out",
                                "run.err");
  hardening::ChildExit exit = child.Wait();
  std::string err = ReadFile("run.err");
  ASSERT_TRUE(exit.exited) << "signal " << exit.signal;
  EXPECT_EQ(exit.exitCode, 0) << err;
  // The last option of the file took effect.
  EXPECT_EQ(ReadFile("a.script"), TextScriptFile("a", compiled));
  std::printf("peak memory of the run: %ld MiB for a %zu MiB option file\n", exit.maxRssKb / 1024,
              kSize >> 20);
  // A few copies of the file at most (sanitizers add their own).
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kCopies = 16;
#else
  constexpr long kCopies = 8;
#endif
  EXPECT_LT(exit.maxRssKb, kCopies * static_cast<long>(kSize >> 10));
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

}  // namespace
