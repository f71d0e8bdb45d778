// The build record: what it reads back, what it refuses, that holders of
// one folder's record lose nothing of each other's, and that it is
// rewritten only when a run writes there. That a good record reads back as
// written, whatever it holds, is its fuzz target's.
#include <gtest/gtest.h>

#include <filesystem>

#include "framework/build_record.h"
#include "output/messages.h"
#include "support/test_support.h"

namespace {

using namespace test_support;
const std::string kHeader = "# tolscript build record 2\n";
const std::string kLineA = FormatRecordLine("a.script", {1700000000123456789, 42, 7, 0xfeedULL});
const std::string kLineB = FormatRecordLine("b.script", {5, 6, 0, 8});

struct ParseCase {
  const char* name;
  std::string text;
  RecordState state;
  size_t entries;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, TellsTheStateAndKeepsIntactLines) {
  RecordEntries entries;
  size_t lines = 0;
  EXPECT_EQ(ParseBuildRecord(GetParam().text, &entries, &lines), GetParam().state);
  EXPECT_EQ(entries.size(), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ParseTest,
    ::testing::Values(
        ParseCase{"entries", kHeader + kLineA + kLineB, RecordState::Good, 2},
        ParseCase{"header_only", kHeader, RecordState::Good, 0},
        ParseCase{"header_twice", kHeader + kLineA + kHeader + kLineB, RecordState::Good, 2},
        ParseCase{"cut_short", kHeader + kLineA + kLineB.substr(0, 10), RecordState::Damaged, 1},
        ParseCase{"bad_checksum", kHeader + "1" + kLineA.substr(1) + kLineB, RecordState::Damaged,
                  1},
        ParseCase{"empty_line", kHeader + "\n" + kLineB, RecordState::Damaged, 1},
        ParseCase{"older_form", "# tolscript build record 1\n" + kLineA, RecordState::Outdated, 0},
        ParseCase{"no_header", kLineA, RecordState::Foreign, 0},
        ParseCase{"empty", std::string(), RecordState::Good, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildRecordTest, LaterLinesWin) {
  RecordEntries entries;
  size_t lines = 0;
  ParseBuildRecord(kHeader + kLineA + FormatRecordLine("a.script", {1, 2, 3, 4}), &entries, &lines);
  EXPECT_EQ(entries["a.script"].facts, 4u);
  EXPECT_EQ(lines, 2u);
}

TEST(BuildRecordTest, HoldersOfOneFolderKeepEachOthersEntries) {
  TempDir temp;
  MakeDirs("out");
  {
    BuildRecord first("out/");
    BuildRecord second("out/");
    EXPECT_FALSE(first.Exists());
    first.Append("a b%\n", {1, 2, 3, 4});
    second.Append("b", {5, 6, 7, 8});
  }
  BuildRecord both("out/");
  EXPECT_TRUE(both.Exists());
  ASSERT_NE(both.Find("a b%\n"), nullptr);
  ASSERT_NE(both.Find("b"), nullptr);
  EXPECT_EQ(both.Find("b")->outputId, 7u);
}

TEST(BuildRecordTest, IsReportedAndRewrittenOnlyWhenARunWritesThere) {
  TempDir temp;
  MakeDirs("out");
  WriteFile("out/.tolscript_record", kHeader + kLineA + "cut");
  BuildRecord record("out/");
  ASSERT_NE(record.Find("a.script"), nullptr);
  int warnings = WarningCount();
  EXPECT_EQ(ReadFile("out/.tolscript_record"), kHeader + kLineA + "cut");
  record.PrepareToWrite();
  record.PrepareToWrite();
  EXPECT_EQ(WarningCount(), warnings + 1);
  EXPECT_EQ(ReadFile("out/.tolscript_record"), kHeader + kLineA);
}

TEST(BuildRecordTest, MostlyReplacedLinesAreDropped) {
  TempDir temp;
  std::string text = kHeader;
  for (int i = 0; i < 300; ++i) text += FormatRecordLine("a", {i, 1, 1, 1});
  WriteFile(".tolscript_record", text);
  BuildRecord record("");
  EXPECT_EQ(record.Find("a")->outputTimeNs, 299);
  record.PrepareToWrite();
  EXPECT_EQ(ReadFile(".tolscript_record"), kHeader + FormatRecordLine("a", {299, 1, 1, 1}));
}

TEST(BuildRecordTest, AForeignFileIsLeftAlone) {
  TempDir temp;
  WriteFile(".tolscript_record", "notes\n");
  BuildRecord record("");
  EXPECT_TRUE(record.Exists());
  record.PrepareToWrite();
  record.Append("d", {1, 1, 1, 1});
  EXPECT_EQ(ReadFile(".tolscript_record"), "notes\n");
  EXPECT_EQ(record.Find("x"), nullptr);
}

#ifndef _WIN32
TEST(BuildRecordTest, IsNeverWrittenThroughALink) {
  TempDir temp;
  MakeDirs("out");
  WriteFile("elsewhere", kHeader);
  std::filesystem::create_symlink("../elsewhere", "out/.tolscript_record");
  BuildRecord record("out/");
  record.PrepareToWrite();
  record.Append("a.script", {1, 2, 3, 4});
  EXPECT_EQ(ReadFile("elsewhere"), kHeader);
}
#endif

TEST(BuildRecordTest, AnEntryThatCannotBeWrittenFailsWithTheRecordsName) {
  TempDir temp;
  BuildRecord record("missing/");
  try {
    record.Append("a.script", {1, 2, 3, 4});
    ADD_FAILURE() << "no error";
  } catch (const HandyException& error) {
    EXPECT_NE(std::string(error.GetMessage()).find("missing/.tolscript_record"),
              std::string::npos);
  }
}

}  // namespace
