// The option passes, the override folders, the tokenizer of option and
// list files, and the strings they are made of. What holds for any token
// list (values lowered, the reset and the platform left alone by option
// files) is the option pass fuzz target's.
#include <gtest/gtest.h>

#include "framework/test_tool.h"
#include "framework/tokenizer.h"
#include "support/test_support.h"

namespace {

TEST(OptionsTest, ValuesAreGroupedLoweredAndTheLastWins) {
  for (const auto& [arguments, code] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"-Platform", "XBOX"}, kPlatformXbox}, {{"-platform", "ps2", "pc"}, kPlatformPc},
           {{"-platform", "ps2", "-platform"}, kPlatformPs2}, {{"-platform", "x"}, kPlatformNone},
           {{"pc"}, kPlatformNone}}) {
    TestTool tool;
    tool.Parse(arguments, &BatchTool::ParsePlatform);
    EXPECT_EQ(tool.platform, code) << arguments.back();
  }
  TestTool tool;
  tool.Parse({"stray", "-OutputDir", "C:\\Data", "-sourcedir", "a", "B", "-platformdir", "-x",
              "-checkdate", "-skip", "yes", "-Continue", "-debug", "-Foo", "Bar", "--b"});
  // A value cannot begin with '-': it is an option of its own.
  EXPECT_EQ(tool.State(), " checkdate out=c:\\data -x= -foo=bar --b=");
  EXPECT_TRUE(tool.sourceDir == "b" && !tool.platformDir.NotEmpty());
  EXPECT_TRUE(tool.skipInput && tool.continueOnError && ConsoleLevel() == 3);
  tool.Parse({"-quiet", "-text", "-inputfile", "x.lua", "-platform", "pc", "-verbose"});
  EXPECT_EQ(tool.State(), " text checkdate out=c:\\data -x= -foo=bar --b=");
  EXPECT_EQ(ConsoleLevel(), 2);
  tool.platform = kPlatformPc;
  tool.ResetStandardOptions();
  EXPECT_EQ(tool.State(), " platform2");  // the run's state stays
  EXPECT_TRUE(!tool.sourceDir.NotEmpty() && !tool.skipInput && !tool.continueOnError);
  EXPECT_EQ(ConsoleLevel(), 2);
  SetConsoleLevel(1);
}

TEST(OptionsTest, OverrideFoldersPutEachEntryInPlaceOfTheMarker) {
  struct Case {
    std::string platformDir;
    std::optional<std::string> marker, entries;
    std::string expected;
  } cases[] = {{"data\\pc", "pc", "low;;demo", "data\\low data\\demo "},
               {"data\\pc", "PC", "x", ""},  // compared in its exact case
               {"p", std::nullopt, "x;y", "xp yp "}, {"p", "", "x", "xp "},
               {"pc\\pc", "pc", "ov", "ov\\pc "}, {"data\\pc", "pc", std::nullopt, ""},
               {"pc", "pc", "a;b;c;d;e;f;g;h;i;j;k;l", "a b c d e f g h i j k l "}};
  for (const Case& c : cases) {
    test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", c.marker);
    test_support::ScopedEnv entries("MUNGE_PLATFORM_OVERRIDE_STR", c.entries);
    TestTool tool;
    tool.platformDir = ToolString(c.platformDir.c_str());
    tool.BuildOverrideDirs();
    std::string dirs;
    for (const ToolString& dir : tool.overrideDirs) dirs += std::string(dir.Text()) + " ";
    EXPECT_EQ(dirs, c.expected) << c.platformDir;
  }
}

TEST(OptionsTest, FilesSplitLikeACommandLineAtAnyWhiteSpace) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {" \t\r\n\v\f ", {}},
      {"-text\r\n-outputdir\tc:\\munged\\\n", {"-text", "-outputdir", "c:\\munged\\"}},
      {"\"my file.lua\" a\"b c\"d \"\"", {"my file.lua", "ab cd", ""}},
      {"\"c:\\munged\\\" -text", {"c:\\munged\" -text"}},
      {"a\\\\\\\"b \"a\\\\\" \xA0x\xFF", {"a\\\"b", "a\\", "\xA0x\xFF"}}, {"\"a b", {"a b"}}};
  for (const auto& [text, tokens] : cases) EXPECT_EQ(Tokenize(text), tokens) << text;
}

TEST(ToolStringTest, TextsCopiesAndNodes) {
  const char text[] = "AB\0cd";
  ToolString cut(text, text + 5);  // ends at the NUL
  EXPECT_TRUE(cut == "AB" && cut.Length() == 2 && !ToolString(text + 2, text + 5).NotEmpty());
  ToolString word("X:\\Dir\xC4Z");
  EXPECT_TRUE(word.ToLower() == "x:\\dir\xC4z" && word == "X:\\Dir\xC4Z" && !(word == "x"));
  EXPECT_TRUE(word.Substring(1, 3) == ":\\" && !word.Substring(2, 2).NotEmpty());
  ToolString joined = cut + ToolString() + word;
  ToolString& alias = joined;
  joined = alias;
  EXPECT_TRUE(joined == "ABX:\\Dir\xC4Z" && joined.Length() == 10 && ToolString() == nullptr);
  ToolStringNode root(ToolString("req"));
  ToolStringNode* shot = root.AddChild(ToolString("shot"));
  for (const char* name : {"b", "a", "B", "a"}) shot->AddChild(ToolString(name));
  std::string order;
  for (ToolStringNode* n = shot->FirstChild(); n != nullptr; n = n->Next())
    order += n->Name().Text();
  EXPECT_EQ(order + std::to_string(shot->ChildCount()), "baB3");
  EXPECT_TRUE(root.AddChild(ToolString("shot")) == shot && !root.FindChild(ToolString("SHOT")));
}

}  // namespace
