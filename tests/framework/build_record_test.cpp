// The build record: what it reads back, what it refuses, and that runs
// sharing it lose nothing.
#include <gtest/gtest.h>

#include <string>

#include "framework/build_record.h"
#include "support/test_support.h"

namespace {

using test_support::ReadFile;
using test_support::WriteFile;

const std::string kHeader = "# tolscript build record 1\n";

TEST(BuildRecordTest, ReadsWhatItWritesAndRefusesAnythingElse) {
  const std::string a = FormatRecordLine("a.script", {1700000000123456789, 42, 0xfeedULL});
  const std::string odd = FormatRecordLine("odd name%\n.script", {-5, 0, ~0ULL});
  const std::string newer = FormatRecordLine("a.script", {7, 8, 9});
  std::string flipped = a;
  flipped[3] ^= 1;
  struct Case {
    const char* name;
    std::string text;
    RecordState state;
    size_t entries;
  } cases[] = {
      {"entries", kHeader + a + odd, RecordState::Good, 2},
      {"a_later_line_wins", kHeader + a + newer, RecordState::Good, 1},
      {"header_only", kHeader, RecordState::Good, 0},
      {"last_line_cut_short", kHeader + a + odd.substr(0, odd.size() - 1), RecordState::Damaged,
       0},
      {"byte_changed", kHeader + flipped, RecordState::Damaged, 0},
      {"blank_line", kHeader + "\n", RecordState::Damaged, 0},
      {"no_header", a, RecordState::Foreign, 0},
      {"other_version", "# tolscript build record 2\n" + a, RecordState::Foreign, 0},
      {"empty", "", RecordState::Foreign, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordEntries entries;
    size_t lines = 99;
    EXPECT_EQ(ParseBuildRecord(c.text, &entries, &lines), c.state);
    if (c.state != RecordState::Good) continue;
    EXPECT_EQ(entries.size(), c.entries);
  }
  RecordEntries entries;
  size_t lines = 0;
  ASSERT_EQ(ParseBuildRecord(kHeader + a + odd + newer, &entries, &lines), RecordState::Good);
  EXPECT_EQ(lines, 3u);
  EXPECT_EQ(entries["a.script"].outputTimeNs, 7);
  EXPECT_EQ(entries["odd name%\n.script"].outputTimeNs, -5);
  EXPECT_EQ(entries["odd name%\n.script"].facts, ~0ULL);
}

// Two records of one folder, as two runs hold them: each sees what the
// other added when it loads, and a damaged file is made anew.
TEST(BuildRecordTest, RunsSharingAFolderKeepEachOthersEntries) {
  test_support::TempDir temp;
  test_support::MakeDirs("out");
  {
    BuildRecord first("out/");
    BuildRecord second("out/");
    EXPECT_EQ(first.Find("a.script"), nullptr);
    EXPECT_EQ(second.Find("b.script"), nullptr);
    first.Add("a.script", {1, 2, 3});
    second.Add("b.script", {4, 5, 6});
  }
  BuildRecord reader("out/");
  ASSERT_NE(reader.Find("a.script"), nullptr);
  ASSERT_NE(reader.Find("b.script"), nullptr);
  EXPECT_EQ(reader.Find("b.script")->facts, 6u);

  WriteFile("out/.tolscript_record", ReadFile("out/.tolscript_record") + "cut");
  {
    BuildRecord damaged("out/");
    EXPECT_EQ(damaged.Find("a.script"), nullptr);
    damaged.Add("c.script", {7, 8, 9});
  }
  EXPECT_EQ(ReadFile("out/.tolscript_record"), kHeader + FormatRecordLine("c.script", {7, 8, 9}));

  WriteFile("out/.tolscript_record", "somebody's notes\n");
  {
    BuildRecord foreign("out/");
    foreign.Add("d.script", {1, 1, 1});
  }
  EXPECT_EQ(ReadFile("out/.tolscript_record"), "somebody's notes\n");
}

// Many dead lines are dropped when the record is read.
TEST(BuildRecordTest, DeadLinesAreDroppedOnLoad) {
  test_support::TempDir temp;
  std::string text = kHeader;
  for (int i = 0; i < 300; ++i) text += FormatRecordLine("a.script", {i, 1, 1});
  WriteFile(".tolscript_record", text);
  {
    BuildRecord record("");
    ASSERT_NE(record.Find("a.script"), nullptr);
    EXPECT_EQ(record.Find("a.script")->outputTimeNs, 299);
  }
  EXPECT_EQ(ReadFile(".tolscript_record"), kHeader + FormatRecordLine("a.script", {299, 1, 1}));
}

}  // namespace
