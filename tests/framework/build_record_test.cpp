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

TEST(BuildRecordTest, ReadingTellsTheStateAndKeepsIntactLines) {
  const struct {
    const char* name;
    std::string text;
    RecordState state;
    size_t entries;
  } cases[] = {
      {"entries", kHeader + kLineA + kLineB, RecordState::Good, 2},
      {"header_only", kHeader, RecordState::Good, 0},
      {"header_twice", kHeader + kLineA + kHeader + kLineB, RecordState::Good, 2},
      {"cut_short", kHeader + kLineA + kLineB.substr(0, 10), RecordState::Damaged, 1},
      {"bad_checksum", kHeader + "1" + kLineA.substr(1) + kLineB, RecordState::Damaged, 1},
      {"empty_line", kHeader + "\n" + kLineB, RecordState::Damaged, 1},
      {"older_form", "# tolscript build record 1\n" + kLineA, RecordState::Outdated, 0},
      {"no_header", kLineA, RecordState::Foreign, 0},
      {"empty", std::string(), RecordState::Good, 0},
  };
  for (const auto& c : cases) {
    RecordEntries entries;
    size_t lines = 0;
    EXPECT_EQ(ParseBuildRecord(c.text, &entries, &lines), c.state) << c.name;
    EXPECT_EQ(entries.size(), c.entries) << c.name;
  }
  // A later line of one name wins; both lines count.
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
  EXPECT_EQ(ReadFile("out/.tolscript_record").rfind(kHeader), 0u) << "one header";
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

// Neither a file of other content nor a link in the record's place is
// written to.
TEST(BuildRecordTest, WhatIsNoRecordIsLeftAlone) {
  TempDir temp;
  WriteFile("foreign/.tolscript_record", "notes\n");
  WriteFile("elsewhere", kHeader);
  std::vector<std::string> folders{"foreign/"};
#ifndef _WIN32
  MakeDirs("linked");
  std::filesystem::create_symlink("../elsewhere", "linked/.tolscript_record");
  folders.push_back("linked/");
#endif
  for (const std::string& folder : folders) {
    BuildRecord record(folder);
    EXPECT_TRUE(record.Exists()) << folder;
    record.PrepareToWrite();
    record.Append("a.script", {1, 2, 3, 4});
  }
  EXPECT_EQ(ReadFile("foreign/.tolscript_record"), "notes\n");
  EXPECT_EQ(ReadFile("elsewhere"), kHeader);
}

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
