// Hostile names and contents on POSIX, where a file name may hold any byte
// but '/' and NUL: names a shell would take apart or run, control bytes
// that would reach the terminal.
#include <filesystem>

#include "framework/input_paths.h"
#include "hardening_support.h"
#include "output/messages.h"

namespace hardening {
namespace {

using test_support::LinesOf;
using test_support::RunTolscript;

TEST_F(HardeningTest, HostileNamesAreMungedAsTheyStandAndRunNothing) {
  const std::string component(200, 'c');
  const Names inputs{
      "blank name.lua", " leading blank.lua", "it's.lua", "say \"hi\".lua",
      "semi;colon & pipe | amp > x.lua", "$(touch marker-dollar).lua", "`touch marker-tick`.lua",
      "-leading-dash.lua", "--option-like.lua", "na\xc3\xafve \xe2\x82\xac.lua",
      "bad \xff\xfe bytes.lua", "tab\tand\x01control.lua", "new\nline.lua",
      std::string(196, 'n') + ".lua", "dir; $(touch marker-dir) `touch marker-dir2`/inner name.lua",
      // More than 260 characters, in 200-character components.
      component + "/" + component + "/" + component + "/" + std::string(196, 's') + ".lua"};
  const std::string outDir = "out $(touch marker-out) `touch marker-out2`; 'q'";
  for (bool recursion : {true, false}) {
    SCOPED_TRACE(recursion ? "found by recursion" : "named on the command line");
    test_support::TempDir dir;
    // The program reads '\' as a separator on every platform.
    WriteFile("back\\slash.lua", "return 0\n");
    std::vector<std::string> args{"-inputfile"};
    for (size_t i = 0; i < inputs.size(); ++i) {
      WriteFile(inputs[i], "return " + std::to_string(i) + "\n");
      // A leading dash would make an option.
      args.push_back(inputs[i][0] == '-' ? "./" + inputs[i] : inputs[i]);
    }
    if (recursion) {
      test_support::MakeDirs(outDir);
      args = {"-inputfile", "!*.lua", "-outputdir", outDir + "\\", "-continue"};
    }
    Names expected = AllPaths();
    const test_support::ProgramRun run = RunTolscript(args);
    // A name found on disk that Windows could not hold is passed over with
    // an error; one given by the user is looked up as it stands.
    std::string err;
    Names found = inputs;
    found.push_back("back\\slash.lua");
    for (const std::string& input : found) {
      if (!recursion || IsPortableName(input.substr(input.rfind('/') + 1))) continue;
      err += "Error: Input file .\\" + Printable(input) + ": a name Windows cannot hold, passed over.\n";
    }
    EXPECT_EQ(run.exitCode, recursion ? 1 : 0);
    EXPECT_EQ(LinesOf(run.err), LinesOf(err));
    expected.push_back("tolscript.log");
    for (const std::string& input : inputs) {
      const size_t slash = input.rfind('/') + 1;  // 0 when there is none
      if (recursion && !IsPortableName(input.substr(slash))) continue;
      const std::string folder = recursion ? outDir + "/" : input.substr(0, slash);
      const std::string output = folder + input.substr(slash, input.size() - slash - 4) + ".script";
      expected.insert(expected.end(), {output, folder + test_support::kBuildRecordName});
      // The compiler read the file of that very name.
      const std::string compiled = test_support::Run("luac", {"-s", "-o", "-", "./" + input}).out;
      EXPECT_NE(ReadFile(output).find(compiled), std::string::npos) << output;
    }
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    // Also: no marker file, so no part of a name was run as a command.
    EXPECT_EQ(AllPaths(), expected);
  }
}

// A name that holds backslashes is one name: it is passed over, never
// taken apart into a path that leads out of the tree.
TEST_F(HardeningTest, AListedNameNeverLeadsOutOfTheTree) {
  WriteFile("proj/src/deep/..\\..\\..\\victim\\x.lua", "return 1\n");
  WriteFile("victim/x.lua", "return 2\n");
  std::filesystem::current_path("proj");
  const test_support::ProgramRun run = RunTolscript({"-inputfile", "!*.lua", "-sourcedir", "src"});
  std::filesystem::current_path("..");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Error: Input file src\\.\\deep\\..\\..\\..\\victim\\x.lua: a name Windows "
                     "cannot hold, passed over.\n");
  EXPECT_EQ(AllPaths("victim"), Names{"x.lua"});
}

// Folders whose names differ only in letter case are each searched, and
// each file is read from where it was listed.
TEST_F(HardeningTest, CaseTwinsAreEachMungedFromTheirOwnPlace) {
  WriteFile("src/Levels/Beach/a.lua", "return 1\n");
  WriteFile("src/levels/Night/b.lua", "return 2\n");
  test_support::MakeDirs("out");
  const test_support::ProgramRun run =
      RunTolscript({"-inputfile", "!*.lua", "-sourcedir", "src", "-outputdir", "out\\", "-continue"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "Munging a.lua\nMunging b.lua\n");
  EXPECT_EQ(AllPaths("out"), (Names{".tolscript_record", "a.script", "b.script"}));
}

// Bytes from files echoed in messages: list tokens, option values and
// names found on disk. Control bytes (but tab) and DEL show as \xHH, so no
// escape sequence reaches the terminal or the logs; UTF-8 stays as it is.
TEST_F(HardeningTest, MessagesShowControlBytesFromFilesEscaped) {
  // Sets the terminal's title, then its colour; lower case, as option
  // values are lowered.
  const std::string esc = "\x1b]0;owned\x07\x1b[31m";
  const std::string shown = "\\x1B]0;owned\\x07\\x1B[31m";
  const struct {
    const char* name;
    std::string file, content;  // made before the run
    const char* arg;            // before good.lua
    std::string shown;          // on the console and in the tool log
  } cases[] = {
      {"list_token_naming_a_missing_file", "list.txt", "\"" + esc + ".lua\"", "@list.txt",
       "Error: Input file .\\" + shown + ".lua does not exist. [continuing]\n"},
      {"list_token_with_a_wildcard_folder", "list.txt", "\"d*" + esc + "\\a.lua\"", "@list.txt",
       "Error: Input file option d*" + shown +
           "\\a.lua: wildcards for directories are not supported. [continuing]\n"},
      {"list_token_naming_a_list", "list.txt", "\"@gone\r\x7f.txt\"", "@list.txt",
       "Error: Input file @gone\\x0D\\x7F.txt: can't load file."},
      {"option_value", "good.lua.option", "-outputdir \"gone" + esc + "\\\\\"", "good.lua",
       "Error: Could not open gone" + shown + "\\good.script for output."},
      {"name_found_on_disk", "new\nline\x7f.lua", "", "!*.lua",
       "Error: Input file .\\new\\x0Aline\\x7F.lua: a name Windows cannot hold, passed over.\n"},
      {"name_given_by_the_user", "new\nline\x7f.lua", "", "new\nline\x7f.lua",
       "Munging new\\x0Aline\\x7F.lua\n"},
      {"utf8_and_tab_stay", "na\xc3\xafve\t\xe2\x82\xac.lua", "", "na\xc3\xafve\t\xe2\x82\xac.lua",
       "Munging na\xc3\xafve\t\xe2\x82\xac.lua\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    WriteFile("good.lua", "return 1\n");
    WriteFile(c.file, c.content + "\n");
    const test_support::ProgramRun run =
        RunTolscript({"-inputfile", c.arg, "good.lua", "-continue"});
    const std::string console = run.out + run.err;
    EXPECT_NE(console.find(c.shown), std::string::npos) << console;
    EXPECT_NE(console.find("Munging good.lua\n"), std::string::npos) << console;
    for (const std::string& text : {console, ReadFile("tolscript.log")}) {
      for (unsigned char byte : text) {
        EXPECT_FALSE((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7f)
            << "raw byte " << static_cast<int>(byte) << " in:\n"
            << text;
      }
    }
  }
}

}  // namespace
}  // namespace hardening
