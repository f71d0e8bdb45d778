// Option and list files that no one would write on purpose: random bytes,
// lists nested without end or naming themselves. The program must neither
// crash nor hang, and write nothing but its outputs and its log.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "hardening_support.h"
#include "scripttool/end_to_end_support.h"
#include "support/test_support.h"

namespace {

using end_to_end::BinaryScriptFile;
using end_to_end::CompileWithLuac;
using hardening::CompilerLeftovers;
using hardening::CountOccurrences;
using hardening::SnapshotTree;
using hardening::TreeChanges;
using test_support::NormalizeLineEnds;
using test_support::ReadFile;
using test_support::RunTolscript;
using test_support::WriteFile;

using Names = std::vector<std::string>;

const char* const kScript = "local x = 1\nfunction F(y) return x + y end\n";

class HostileContentsTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_LUAC(); }
  test_support::TempDir temp;
  test_support::ScopedEnv noDebugSymbols{"LUA_DEBUG_SYMBOLS", std::nullopt};
};

struct RandomBytesCase {
  const char* name;
  uint32_t seed;
  size_t size;
  std::string alphabet;  // empty: every byte value from `lowest` up
  int lowest;
  char excluded = '\0';  // a byte value left out (not when it is 0)
};

void PrintTo(const RandomBytesCase& c, std::ostream* out) { *out << c.name; }

std::string RandomBytes(const RandomBytesCase& c) {
  std::mt19937 random(c.seed);
  std::string bytes(c.size, '\0');
  for (char& byte : bytes) {
    do {
      if (c.alphabet.empty()) {
        byte = static_cast<char>(std::uniform_int_distribution<int>(c.lowest, 255)(random));
      } else {
        byte = c.alphabet[std::uniform_int_distribution<size_t>(0, c.alphabet.size() - 1)(random)];
      }
    } while (c.excluded != '\0' && byte == c.excluded);
  }
  return bytes;
}

const std::vector<RandomBytesCase> kRandomCases{
    {"bytes_without_nul", 11, 64 * 1024, "", 1},
    {"bytes_with_nul", 12, 64 * 1024, "", 0},
    // What the tokenizer treats specially, densely: quotes, backslashes,
    // blanks and the characters that mark options, lists and patterns.
    {"quoting_characters", 13, 64 * 1024, std::string("\\\"\" \t\r\n-@!*?ab/\x01\xff", 17), 0},
};

// A recursive pattern searches whatever tree its value names, the whole
// file system for "!/*"; list values here leave the recursion mark out.
const std::vector<RandomBytesCase> kRandomListCases{
    {"bytes_without_nul", 21, 64 * 1024, "", 1, '!'},
    {"bytes_with_nul", 22, 64 * 1024, "", 0, '!'},
    {"quoting_characters", 23, 64 * 1024, std::string("\\\"\" \t\r\n-@*?ab/\x01\xff", 16), 0},
};

class RandomOptionFileTest : public HostileContentsTest,
                             public ::testing::WithParamInterface<RandomBytesCase> {};

TEST_P(RandomOptionFileTest, ChangesNothingButIsReadWithoutHarm) {
  WriteFile("a.lua", kScript);
  WriteFile("a.lua.option", RandomBytes(GetParam()));
  const std::string compiled = CompileWithLuac("a.lua", {"-s"});
  const hardening::TreeSnapshot before = SnapshotTree(temp.Path());
  test_support::ProgramRun run = RunTolscript({"-inputfile", "a.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile("a.script"), BinaryScriptFile("a", compiled));
  EXPECT_EQ(TreeChanges(before, SnapshotTree(temp.Path())), (Names{"+a.script", "+tolscript.log"}));
}

INSTANTIATE_TEST_SUITE_P(Contents, RandomOptionFileTest, ::testing::ValuesIn(kRandomCases),
                         [](const ::testing::TestParamInfo<RandomBytesCase>& info) {
                           return std::string(info.param.name);
                         });

class RandomListFileTest : public HostileContentsTest,
                           public ::testing::WithParamInterface<RandomBytesCase> {};

TEST_P(RandomListFileTest, EachValueIsLookedUpWithoutHarm) {
  WriteFile("a.lua", kScript);
  WriteFile("list.bin", RandomBytes(GetParam()));
  const hardening::TreeSnapshot before = SnapshotTree(temp.Path());
  // "-skip": a value that happens to name a directory or a pattern that
  // happens to match a file is looked up, not compiled.
  test_support::ProgramRun run = RunTolscript({"-inputfile", "@list.bin", "-continue", "-skip"});
  // Values that name nothing are errors passed over.
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(CountOccurrences(NormalizeLineEnds(run.err), " [continuing]\n"), 0u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(TreeChanges(before, SnapshotTree(temp.Path())), Names{"+tolscript.log"});
}

INSTANTIATE_TEST_SUITE_P(Contents, RandomListFileTest, ::testing::ValuesIn(kRandomListCases),
                         [](const ::testing::TestParamInfo<RandomBytesCase>& info) {
                           return std::string(info.param.name);
                         });

class DeepListTest : public HostileContentsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeepListTest, ListsNestedTenThousandDeepEndWithAnError) {
  const bool continueOnError = GetParam();
  constexpr int kDepth = 10000;
  for (int i = 0; i < kDepth; ++i)
    WriteFile("l" + std::to_string(i) + ".txt", "@l" + std::to_string(i + 1) + ".txt\n");
  WriteFile("l" + std::to_string(kDepth) + ".txt", "a.lua\n");
  WriteFile("a.lua", kScript);
  WriteFile("b.lua", kScript);
  std::vector<std::string> args{"-inputfile", "@l0.txt", "b.lua"};
  if (continueOnError) args.push_back("-continue");
  test_support::ProgramRun run = RunTolscript(args);
  EXPECT_EQ(run.exitCode, 1);
  const std::regex message(continueOnError
                               ? "Error: Input file @l[0-9]+\\.txt: lists nested more than [0-9]+ "
                                 "deep\\. \\[continuing\\]\n"
                               : "(Error: Input file @l[0-9]+\\.txt: lists nested more than "
                                 "[0-9]+ deep\\.){2}\n");
  EXPECT_TRUE(std::regex_match(NormalizeLineEnds(run.err), message)) << run.err;
  // The script at the bottom is out of reach; the input after the list is
  // munged when the run goes on.
  EXPECT_EQ(NormalizeLineEnds(run.out), continueOnError ? "Munging b.lua\n" : "");
  EXPECT_FALSE(test_support::Exists("a.script"));
}

INSTANTIATE_TEST_SUITE_P(Continue, DeepListTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "with_continue" : "stops");
                         });

struct SelfListCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> lists;  // file, content
  bool continueOnError;
};

void PrintTo(const SelfListCase& c, std::ostream* out) { *out << c.name; }

class SelfIncludingListTest : public HostileContentsTest,
                              public ::testing::WithParamInterface<SelfListCase> {};

TEST_P(SelfIncludingListTest, IsReportedOnceAndItsOtherValuesAreMungedOnce) {
  const SelfListCase& c = GetParam();
  test_support::MakeDirs("sub");
  for (const auto& [file, content] : c.lists) WriteFile(file, content);
  WriteFile("a.lua", kScript);
  std::vector<std::string> args{"-inputfile", "@" + c.lists.front().first};
  if (c.continueOnError) args.push_back("-continue");
  test_support::ProgramRun run = RunTolscript(args);
  EXPECT_EQ(run.exitCode, 1);
  // Reported where it is raised, and again by the run when that ends it.
  EXPECT_EQ(CountOccurrences(run.err, "list names itself."), c.continueOnError ? 1u : 2u)
      << run.err;
  EXPECT_EQ(NormalizeLineEnds(run.out), c.continueOnError ? "Munging a.lua\n" : "");
  EXPECT_EQ(CompilerLeftovers(), Names{});
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, SelfIncludingListTest,
    ::testing::Values(SelfListCase{"direct", {{"self.txt", "@self.txt a.lua\n"}}, true},
                      SelfListCase{"direct_stops", {{"self.txt", "@self.txt a.lua\n"}}, false},
                      SelfListCase{
                          "dot_segments", {{"self.txt", "@./sub/../self.txt a.lua\n"}}, true},
                      SelfListCase{"other_case", {{"self.txt", "@SELF.TXT a.lua\n"}}, true},
                      SelfListCase{"quoted", {{"self.txt", "\"@self.txt\" a.lua\n"}}, true},
                      SelfListCase{"through_a_second_list",
                                   {{"one.txt", "@two.txt\n"}, {"two.txt", "@one.txt a.lua\n"}},
                                   true}),
    [](const ::testing::TestParamInfo<SelfListCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
