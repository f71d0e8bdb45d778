// The build record: what it reads back, what it refuses, and that two
// holders of one folder's record lose nothing of each other's. That a good
// record reads back as written, whatever it holds, is its fuzz target's.
#include <gtest/gtest.h>

#include "framework/build_record.h"
#include "support/test_support.h"

namespace {

using namespace test_support;
const std::string kHeader = "# tolscript build record 1\n";

TEST(BuildRecordTest, ReadsWhatItWritesAndRefusesAnythingElse) {
  const std::string a = FormatRecordLine("a.script", {1700000000123456789, 42, 0xfeedULL});
  std::string states;  // Good, Damaged, Foreign
  for (const std::string& text : {kHeader + a + FormatRecordLine("a.script", {7, 8, 9}),
                                  kHeader, kHeader + a + a.substr(0, a.size() - 1),
                                  kHeader + "1" + a.substr(1), kHeader + "\n", a,
                                  "# tolscript build record 2\n" + a, std::string()}) {
    RecordEntries entries;
    size_t lines = 0;
    states += "GDF"[static_cast<int>(ParseBuildRecord(text, &entries, &lines))];
  }
  EXPECT_EQ(states, "GGDDDFFF");
}

TEST(BuildRecordTest, HoldersOfOneFolderKeepEachOthersEntriesAndDeadLinesGo) {
  TempDir temp;
  MakeDirs("out");
  {
    BuildRecord first("out/"), second("out/");
    EXPECT_TRUE(first.Find("a b%\n") == nullptr && second.Find("b") == nullptr);
    first.Add("a b%\n", {1, 2, 3});
    second.Add("b", {4, 5, 6});
  }
  BuildRecord both("out/");
  EXPECT_TRUE(both.Find("a b%\n") && both.Find("b") && both.Find("b")->facts == 6);
  // A damaged record is made anew; a foreign file is left alone.
  WriteFile("out/.tolscript_record", ReadFile("out/.tolscript_record") + "cut");
  BuildRecord("out/").Add("c", {7, 8, 9});
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
