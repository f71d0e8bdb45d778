#include "scripttool/shot_requirements.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "framework/tool_string.h"
#include "output/chunk_writer.h"
#include "output/text_chunk_writer.h"
#include "output/tool_file.h"
#include "support/test_support.h"

namespace {

// The names under the group "shot", in order; the root must hold no other
// group, and no group at all when nothing was found.
std::vector<std::string> ShotsIn(const ToolStringNode& root) {
  std::vector<std::string> shots;
  const ToolStringNode* group = root.FirstChild();
  if (group == nullptr) return shots;
  EXPECT_STREQ(group->Name().Text(), "shot");
  EXPECT_EQ(group->Next(), nullptr) << "a second group";
  for (const ToolStringNode* name = group->FirstChild(); name != nullptr; name = name->Next())
    shots.push_back(name->Name().Text());
  EXPECT_FALSE(shots.empty()) << "an empty group";
  return shots;
}

std::vector<std::string> Collect(const std::string& text) {
  ToolStringNode root(ToolString("req"));
  CollectShotRequirements(text, &root);
  return ShotsIn(root);
}

struct ScanCase {
  const char* name;
  std::string text;
  std::vector<std::string> shots;
};

void PrintTo(const ScanCase& c, std::ostream* out) { *out << c.name; }

class ShotScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ShotScanTest, FindsTheShotsAScriptPlays) {
  EXPECT_EQ(Collect(GetParam().text), GetParam().shots);
}

const std::string kLongName(10000, 'N');
const std::string kFarCallText = "PlayCinematicShot('far')";
// The call at the end of a line of exactly 100,000 characters.
const std::string kFarCall = std::string(100000 - kFarCallText.size(), ' ') + kFarCallText;

INSTANTIATE_TEST_SUITE_P(
    Lines, ShotScanTest,
    ::testing::Values(
        ScanCase{"empty_text", "", {}},
        ScanCase{"no_call", "print('hello')\nWait('a')\n", {}},
        ScanCase{"one_call_lowered", "PlayCinematicShot('Intro01')\n", {"intro01"}},
        ScanCase{"comment_before_call", "-- PlayCinematicShot('a')\n", {}},
        ScanCase{"comment_after_call", "PlayCinematicShot('a') -- note\n", {"a"}},
        ScanCase{"comment_marker_inside_a_string_before_the_call",
                 "print('--') PlayCinematicShot('a')\n", {}},
        ScanCase{"comment_on_another_line_only_hides_its_own",
                 "x = 1 -- PlayCinematicShot('hidden')\nPlayCinematicShot('seen')\n", {"seen"}},
        ScanCase{"single_dash_is_no_comment", "x = 2 - 1 PlayCinematicShot('a')\n", {"a"}},
        ScanCase{"empty_name", "PlayCinematicShot('')\n", {}},
        ScanCase{"unclosed_name_runs_to_the_line_end",
                 "PlayCinematicShot('abc without a closing quote\nPlayCinematicShot('d')\n",
                 {"abc without a closing quote", "d"}},
        ScanCase{"quote_only_on_the_next_line", "PlayCinematicShot(\n'a')\n", {}},
        ScanCase{"duplicates_in_another_case",
                 "PlayCinematicShot('Intro01')\nPlayCinematicShot('intro01')\n"
                 "PlayCinematicShot('INTRO01')\n",
                 {"intro01"}},
        ScanCase{"first_appearance_order",
                 "PlayCinematicShot('b')\nPlayCinematicShot('a')\nPlayCinematicShot('B')\n",
                 {"b", "a"}},
        ScanCase{"two_calls_on_one_line", "PlayCinematicShot('a') PlayCinematicShot('b')\n",
                 {"a"}},
        ScanCase{"quote_after_a_comment_marker", "PlayCinematicShot(x) -- 'note'\n", {"note"}},
        ScanCase{"call_inside_a_longer_word", "MyPlayCinematicShotNow('x')\n", {"x"}},
        ScanCase{"call_name_is_case_sensitive", "playcinematicshot('a')\n", {}},
        ScanCase{"double_quoted_names_are_not_recognised",
                 "PlayCinematicShot(\"a\") Wait('b')\n", {"b"}},
        ScanCase{"crlf_line_ends",
                 "PlayCinematicShot('a')\r\nPlayCinematicShot('b\r\nPlayCinematicShot('c')\r\n",
                 {"a", "b", "c"}},
        ScanCase{"no_trailing_newline", "x = 1\nPlayCinematicShot('last')", {"last"}},
        ScanCase{"a_100000_character_line",
                 kFarCall + "\nPlayCinematicShot('next')\n", {"far", "next"}},
        ScanCase{"a_10000_character_name", "PlayCinematicShot('" + kLongName + "')\n",
                 {std::string(10000, 'n')}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(ShotScanTest, ASecondScriptAddsToTheSameGroupWithoutRepeats) {
  ToolStringNode root(ToolString("req"));
  CollectShotRequirements("PlayCinematicShot('a')\n", &root);
  CollectShotRequirements("PlayCinematicShot('A')\nPlayCinematicShot('b')\n", &root);
  EXPECT_EQ(ShotsIn(root), (std::vector<std::string>{"a", "b"}));
}

// Records the calls that reach it; OpenChunk answers as told.
class RecordingWriter : public ChunkWriter {
 public:
  explicit RecordingWriter(bool openSucceeds) : openSucceeds(openSucceeds) {}

  bool OpenChunk(const char* name) override {
    calls.push_back(std::string("open ") + name);
    if (openSucceeds) ++depth;
    return openSucceeds;
  }
  void CloseChunk() override {
    calls.push_back("close");
    --depth;
  }
  int32_t GetDepth() override { return depth; }
  void WriteByte(uint8_t) override { calls.push_back("byte"); }
  void WriteWord(uint16_t) override { calls.push_back("word"); }
  void WriteDword(uint32_t) override { calls.push_back("dword"); }
  void WriteFloat(float) override { calls.push_back("float"); }
  void WriteString(const char* text) override { calls.push_back(std::string("string ") + text); }
  using ChunkWriter::WriteString;
  void WriteData(const void*, uint32_t) override { calls.push_back("data"); }
  void Align() override { calls.push_back("align"); }

  std::vector<std::string> calls;

 private:
  bool openSucceeds;
  int32_t depth = 0;
};

using Groups = std::vector<std::pair<std::string, std::vector<std::string>>>;

struct WriteCase {
  const char* name;
  Groups groups;
  std::vector<std::string> calls;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.name; }

class WriteRequirementsTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRequirementsTest, WritesEachGroupThenItsNamesInLowerCase) {
  // The tree is built by hand, so names arrive in any case.
  ToolStringNode root(ToolString("req"));
  for (const auto& [group, names] : GetParam().groups) {
    ToolStringNode* node = root.AddChild(ToolString(group.c_str()));
    for (const std::string& name : names) node->AddChild(ToolString(name.c_str()));
  }
  RecordingWriter writer(true);
  WriteRequirements(&writer, root);
  EXPECT_EQ(writer.calls, GetParam().calls);
  EXPECT_EQ(writer.GetDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, WriteRequirementsTest,
    ::testing::Values(
        WriteCase{"no_group", {}, {"open REQN", "close"}},
        WriteCase{"one_group",
                  {{"shot", {"intro01", "pan2"}}},
                  {"open REQN", "string shot", "string intro01", "string pan2", "close"}},
        WriteCase{"names_are_lowered_on_the_way_out",
                  {{"Shot", {"Intro01", "PAN2"}}},
                  {"open REQN", "string shot", "string intro01", "string pan2", "close"}},
        WriteCase{"groups_in_order_each_with_its_names",
                  {{"shot", {"a"}}, {"sound", {"b", "c"}}, {"empty", {}}},
                  {"open REQN", "string shot", "string a", "string sound", "string b",
                   "string c", "string empty", "close"}}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(WriteRequirementsTest, AChunkThatDoesNotOpenGetsNothing) {
  ToolStringNode root(ToolString("req"));
  root.AddChild(ToolString("shot"))->AddChild(ToolString("a"));
  RecordingWriter writer(false);
  WriteRequirements(&writer, root);
  EXPECT_EQ(writer.calls, std::vector<std::string>{"open REQN"});
}

// Lines given as (tabs, text), joined by line breaks, none after the last.
std::string Lines(const std::vector<std::pair<int, std::string>>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += std::string(static_cast<size_t>(lines[i].first), '\t') + lines[i].second;
  }
  return text;
}

// The requirements file of a script, as the per-file procedure frames it.
std::string RequirementsFile(const std::string& script) {
  {
    ToolFile file;
    EXPECT_TRUE(file.OpenForOutput("a.script.req", true));
    {
      TextChunkWriter writer(&file);
      writer.OpenChunk("ucft");
      ToolStringNode root(ToolString("req"));
      CollectShotRequirements(script, &root);
      WriteRequirements(&writer, root);
      writer.CloseChunk();
    }
    file.Close();
  }
  return test_support::ReadFile("a.script.req");
}

TEST(RequirementsFileTest, ListsTheShotsOfAScript) {
  test_support::TempDir temp;
  std::string script =
      "function Start()\n"
      "  PlayCinematicShot('Intro01')\n"
      "  Wait(2) -- then the pan\n"
      "  PlayCinematicShot('Pan2')\n"
      "  PlayCinematicShot('intro01')\n"
      "end\n";
  EXPECT_EQ(RequirementsFile(script), Lines({{0, ""},
                                             {0, "ucft"},
                                             {0, "{"},
                                             {1, "REQN"},
                                             {1, "{"},
                                             {2, "\"shot\""},
                                             {2, "\"intro01\""},
                                             {2, "\"pan2\""},
                                             {1, "}"},
                                             {0, "}"}}));
}

TEST(RequirementsFileTest, AScriptWithoutShotsGetsAnEmptyChunk) {
  test_support::TempDir temp;
  EXPECT_EQ(RequirementsFile("print('no shots')\n"),
            Lines({{0, ""}, {0, "ucft"}, {0, "{"}, {1, "REQN"}, {1, "{"}, {1, "}"}, {0, "}"}}));
}

}  // namespace
