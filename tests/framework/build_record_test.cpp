// The build record: what it reads back, what it refuses, and that two
// holders of one folder's record lose nothing of each other's.
#include <gtest/gtest.h>

#include "framework/build_record.h"
#include "support/test_support.h"

namespace {

using test_support::ReadFile;
using test_support::WriteFile;

const std::string kHeader = "# tolscript build record 1\n";

TEST(BuildRecordTest, ReadsWhatItWritesAndRefusesAnythingElse) {
  const std::string a = FormatRecordLine("a.script", {1700000000123456789, 42, 0xfeedULL});
  const std::string odd = FormatRecordLine("odd name%\n.script", {-5, 0, ~0ULL});
  std::string flipped = a;
  flipped[3] ^= 1;
  const std::vector<std::pair<std::string, RecordState>> cases = {
      {kHeader + a + odd + FormatRecordLine("a.script", {7, 8, 9}), RecordState::Good},
      {kHeader, RecordState::Good}, {kHeader + a + odd.substr(0, odd.size() - 1), RecordState::Damaged},
      {kHeader + flipped, RecordState::Damaged}, {kHeader + "\n", RecordState::Damaged},
      {a, RecordState::Foreign}, {"# tolscript build record 2\n" + a, RecordState::Foreign},
      {"", RecordState::Foreign}};
  for (const auto& [text, state] : cases) {
    RecordEntries entries;
    size_t lines = 0;
    EXPECT_EQ(ParseBuildRecord(text, &entries, &lines), state) << text;
  }
  RecordEntries entries;
  size_t lines = 0;
  ParseBuildRecord(cases[0].first, &entries, &lines);
  EXPECT_EQ(lines, 3u);  // the later line of a name wins
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries["a.script"].outputTimeNs, 7);
  EXPECT_TRUE(entries["odd name%\n.script"].outputTimeNs == -5 &&
              entries["odd name%\n.script"].facts == ~0ULL);
}

TEST(BuildRecordTest, HoldersOfOneFolderKeepEachOthersEntriesAndDeadLinesGo) {
  test_support::TempDir temp;
  test_support::MakeDirs("out");
  {
    BuildRecord first("out/"), second("out/");
    EXPECT_TRUE(first.Find("a") == nullptr && second.Find("b") == nullptr);
    first.Add("a", {1, 2, 3});
    second.Add("b", {4, 5, 6});
  }
  {
    BuildRecord reader("out/");
    ASSERT_TRUE(reader.Find("a") != nullptr && reader.Find("b") != nullptr);
    EXPECT_EQ(reader.Find("b")->facts, 6u);
  }
  // A damaged record is made anew; a foreign file is left alone.
  WriteFile("out/.tolscript_record", ReadFile("out/.tolscript_record") + "cut");
  {
    BuildRecord damaged("out/");
    EXPECT_EQ(damaged.Find("a"), nullptr);
    damaged.Add("c", {7, 8, 9});
  }
  EXPECT_EQ(ReadFile("out/.tolscript_record"), kHeader + FormatRecordLine("c", {7, 8, 9}));
  WriteFile("out/.tolscript_record", "notes\n");
  BuildRecord("out/").Add("d", {1, 1, 1});
  EXPECT_EQ(ReadFile("out/.tolscript_record"), "notes\n");
  std::string text = kHeader;
  for (int i = 0; i < 300; ++i) text += FormatRecordLine("a", {i, 1, 1});
  WriteFile(".tolscript_record", text);
  EXPECT_EQ(BuildRecord("").Find("a")->outputTimeNs, 299);
  EXPECT_EQ(ReadFile(".tolscript_record"), kHeader + FormatRecordLine("a", {299, 1, 1}));
}

}  // namespace
