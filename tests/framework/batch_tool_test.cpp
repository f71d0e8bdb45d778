// The framework's BatchTool. Whole runs over command lines in a temporary
// tree: the input walk over the layered roots, wildcards, "!" and list
// files, option files and what is decided for each input, each told by what
// the tool was given, the outputs there are afterwards, and what was
// reported. What holds for any list of options is the option pass fuzz
// target's.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <numeric>
#include <set>

#include "framework/batch_tool.h"
#include "output/chunk_writer.h"
#include "output/messages.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;

// Notes each input it is given, with the options in force, and writes an
// empty chunk. A name holding "req" requires something, one holding "fail"
// fails; an input whose path holds "stale" is always out of date.
struct TestTool : BatchTool {
  void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                 ToolString& name) override {
    calls += std::string(inputPath.Text()) + ">" + name.Text() + State() + ";";
    if (writer->OpenChunk("TEST")) writer->CloseChunk();
    std::string text = name.Text();
    if (text.find("req") != std::string::npos && reqWriter->OpenChunk("REQN"))
      reqWriter->CloseChunk();
    if (text.find("fail") != std::string::npos) throw HandyException("%s failed", name.Text());
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    toolOptions += std::string(" ") + option.Text() + "=" + value.Text();
  }
  void ResetToolOptions() override { toolOptions.clear(); }
  bool IsOutOfDate(const char* path, int64_t) override { return std::strstr(path, "stale"); }
  // The options in force that are not at their defaults.
  std::string State() const {
    const BatchOptions& options = Options();
    return std::string(options.textOutput ? " text" : "") +
           (options.checkDate ? " checkdate" : "") +
           (options.outputDir.NotEmpty() ? " out="s + options.outputDir.Text() : "") +
           (platform != kPlatformNone ? " platform" + std::to_string(platform) : "") +
           (ConsoleLevel() != 0 ? " level" + std::to_string(ConsoleLevel()) : "") + toolOptions;
  }
  std::string calls, toolOptions;
};

struct Scenario {
  const char* name;
  std::string files;  // as MakeFiles takes them
  std::string arguments;  // apart by blanks
  std::string calls;      // what the tool was given, in order
  std::string outputs;    // every output afterwards, "(b)" or "(t)" if the run wrote it
  int errors;
  std::string logged;  // in the tool log, texts apart by '|'
};

// Apart by '|': "path", "path=content", "path@seconds=content" (with its
// time; "@program" for the running program's), "folder/", or
// "link->target" (a directory link).
void MakeFiles(const std::string& files) {
  for (const std::string& file : platform::SplitList(files, '|')) {
    std::string head = file.substr(0, file.find('='));
    std::string path = head.substr(0, head.find_first_of("@-"));
    if (path.back() == '/') {
      test_support::MakeDirs(path);
    } else if (path.size() < head.size() && head[path.size()] == '-') {
      std::filesystem::create_directory_symlink(head.substr(path.size() + 2), path);
    } else {
      test_support::WriteFile(path, head.size() < file.size() ? file.substr(head.size() + 1) : "");
      std::string time = head.substr(std::min(head.size(), path.size() + 1));
      if (time == "program") {
        test_support::SetMTimeNs(path, platform::StatFile(platform::GetExecutablePath())->timeNs);
      } else if (!time.empty()) {
        test_support::SetMTime(path, std::stoll(time));
      }
    }
  }
}

// Runs `tool` as from main: a null pointer follows the last argument.
void RunTool(BatchTool& tool, const std::string& arguments) {
  std::vector<std::string> words = platform::SplitList("tool " + arguments, ' ');
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  SetConsoleLevel(0);
  tool.Run(static_cast<int32_t>(words.size()), argv.data());
  SetConsoleLevel(1);
}

void Check(const Scenario& s) {
  test_support::TempDir temp;
  // For "-platformdir pcx" eleven override roots: "plowx", "pdemox", "pdx" to "plx".
  test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", "c");
  test_support::ScopedEnv entries("MUNGE_PLATFORM_OVERRIDE_STR", "low;;demo;d;e;f;g;h;i;j;k;l");
  MakeFiles(s.files);
  TestTool tool;
  RunTool(tool, s.arguments);
  if (s.calls != "*") {
    EXPECT_EQ(tool.calls, s.calls);
  }
  std::set<std::string> outputs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    std::string path = entry.path().lexically_relative(".").generic_string();
    if (path.find(".out") == std::string::npos || !entry.is_regular_file()) continue;
    std::string form = test_support::ReadFile(path).substr(0, 5);
    outputs.insert(path + (form == "\nucft" ? "(t) " : form.rfind("ucfb", 0) == 0 ? "(b) " : " "));
  }
  std::string all = std::accumulate(outputs.begin(), outputs.end(), ""s);
  if (s.outputs != "*") {
    EXPECT_EQ(all, s.outputs);
  }
  EXPECT_EQ(ErrorCount(), s.errors);
  std::string log = test_support::ReadFile("tool.log");
  for (const std::string& text : platform::SplitList(s.logged, '|'))
    EXPECT_NE(log.find(text), std::string::npos) << log;
  EXPECT_FALSE(PrintToLog("after the run")) << "the log is closed";
}

// Past every buffer of the reader and the tokenizer: lines and tokens of
// all lengths, quoted values with blanks, one token of 200 KB; the last
// option is "-text".
std::string OptionFileOfMegabytes() {
  std::string options = "-b " + std::string(200000, 'v') + "\n";
  for (int i = 0; options.size() < (4u << 20); ++i) {
    options += "-b \"quoted value " + std::to_string(i) + "\" " +
               std::string(static_cast<size_t>(i % 97), 'x') + (i % 7 == 0 ? "\n" : " ");
  }
  return options + "-text\n";
}

// l0.txt to l255.txt, each naming the next list, then a.lua.
std::string NestedLists() {
  std::string files = "a.lua|l0.txt=a.lua @l1.txt";
  for (int i = 1; i < 256; ++i)
    files += "|l" + std::to_string(i) + ".txt=@l" + std::to_string(i + 1) + ".txt a.lua";
  return files;
}

class RunTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(RunTest, MungesWhatTheCommandLineNames) { Check(GetParam()); }

const Scenario kScenarios[] = {
    // Names and values lower-cased (ASCII only), the last value of a folder
    // winning; options anywhere hold for every input.
    {"in_command_line_order", "a.lua|b.lua|sub/d.lua",
     "-INPUTFILE B.LUA A.lua -verbose -text -Debug -inputfile SUB\\d.lua -Foo Bar\xC4Z x "
     "-sourcedir src -sourcedir . -quiet",
     ".\\.\\b.lua>b text -foo=bar\xC4z -foo=x;.\\.\\a.lua>a text -foo=bar\xC4z -foo=x;"
     ".\\.\\sub\\d.lua>d text -foo=bar\xC4z -foo=x;",
     "a.out(t) b.out(t) sub/d.out(t) ", 0, ""},
    {"continue_reports_and_goes_on", "src/b.lua",
     "-continue -sourcedir src -platform ps2 -inputfile missing.lua s*\\a.lua !d?/*.lua !a b.lua",
     "src\\.\\b.lua>b platform0;", "src/b.out(b) ", 4,
     "Input file src\\.\\missing.lua does not exist. [continuing]|"
     "Input file option s*\\a.lua: wildcards for directories are not supported. [continuing]|"
     "Input file option !a: recursive ! must be followed by wildcard. [continuing]"},
    // Each name once, from the first root that has it, its option file
    // from the first that has that; a folder hides a file.
    {"layered_roots",
     "src/s/a.lua|src/s/a.lua.option=-text|src/s/b.lua|src/s/d.lua|src/s/f.lua|pcx/s/a.lua|"
     "pcx/s/d.lua/|plowx/s/c.lua|plowx/s/f.lua|pdemox/s/c.lua|pdemox/s/b.lua|plx/s/e.lua",
     "-sourcedir src -platformdir pcx -inputfile s\\*.lua s\\a.lua",
     "pcx\\s\\a.lua>a text;plowx\\s\\f.lua>f;pdemox\\s\\b.lua>b;plowx\\s\\c.lua>c;plx\\s\\e.lua>e;"
     "pcx\\.\\s\\a.lua>a text;",
     "pcx/s/a.out(t) pdemox/s/b.out(b) plowx/s/c.out(b) plowx/s/f.out(b) plx/s/e.out(b) ", 0, ""},
    {"recursion_over_every_root",
     "src/a.lua|src/s1/x.lua|src/s2/y.lua|src/s2/deep/d.lua|pcx/p.lua|pcx/s1/z.lua|"
     "pcx/ponly/q.lua|plowx/o.lua|plowx/S2/w.lua|plowx/oonly/r.lua|pdemox/oonly/r2.lua",
     "-sourcedir src -platformdir pcx -inputfile !*.lua",
     "src\\.\\a.lua>a;pcx\\.\\p.lua>p;plowx\\.\\o.lua>o;src\\.\\s1\\x.lua>x;pcx\\.\\s1\\z.lua>z;"
     "src\\.\\s2\\y.lua>y;plowx\\.\\s2\\w.lua>w;src\\.\\s2\\deep\\d.lua>d;"
     // A folder only overrides have is searched once per root holding it;
     // folders only the platform root has come last.
     "plowx\\.\\oonly\\r.lua>r;pdemox\\.\\oonly\\r2.lua>r2;plowx\\.\\oonly\\r.lua>r;"
     "pdemox\\.\\oonly\\r2.lua>r2;pcx\\.\\ponly\\q.lua>q;",
     "*", 0, ""},
    // List tokens keep their case; a list is read whole, to a NUL.
    {"list_files",
     "a.lua|b.lua|c.lua|sub/inner.txt=b.lua\r\n\t\v\f*.lua|empty.txt= \r\n|two.txt=@./LIST.txt|"
     "list.txt=A.lua" + std::string(70000, ' ') + "@sub\\inner.txt @two.txt\n\0c.lua"s,
     "-continue -inputfile @list.txt @empty.txt @missing.txt",
     ".\\A.lua>a;.\\b.lua>b;.\\a.lua>a;.\\b.lua>b;.\\c.lua>c;", "A.out(b) b.out(b) c.out(b) ", 2,
     "Input file @./LIST.txt: list names itself. [continuing]|"
     "Input file @missing.txt: can't load file. [continuing]"},
#ifndef _WIN32
    {"a_link_loop_is_passed_over", "src/a/x.lua|src/a/back->..",
     "-sourcedir src -inputfile !*.lua -platform pc", "src\\.\\a\\x.lua>x platform2;",
     "src/a/x.out(b) ", 1, "Input directory src\\.\\a\\back: link loop, passed over."},
    // Shown with its control byte escaped.
    {"a_name_windows_cannot_hold_is_passed_over", "a.lua|b\x01.lua", "-inputfile !*.lua",
     ".\\a.lua>a;", "a.out(b) ", 1,
     "Input file .\\b\\x01.lua: a name Windows cannot hold, passed over."},
#endif
    // What the walk found before it stopped is munged.
    {"lists_nested_past_the_limit_end_the_run", NestedLists(), "-inputfile @l0.txt b.lua",
     ".\\a.lua>a;", "a.out(b) ", 2, "Input file @l256.txt: lists nested more than 256 deep."},
    {"the_build_record_is_no_input", "a_record.lua|.TOLSCRIPT_RECORD=x", "-inputfile *record*",
     ".\\a_record.lua>a_record;", "a_record.out(b) ", 0, ""},
    // Requirements files only where something is required.
    {"outputs_beside_their_inputs",
     "a.lua|sub/b.lua|foo.bar.lua|plain|plain.out.req=old|req.lua|list.txt=Up.LUA|Up.LUA",
     "-inputfile a.lua sub\\b.lua foo.bar.lua plain req.lua @list.txt -platform pc junk",
     ".\\a.lua>a;.\\sub\\b.lua>b;.\\foo.bar.lua>foo.bar;.\\plain>plain;.\\req.lua>req;"
     ".\\Up.LUA>up;",
     "Up.out(b) a.out(b) foo.bar.out(b) plain.out(b) req.out(b) req.out.req(t) sub/b.out(b) ",
     0, ""},
    {"an_option_file_holds_for_its_input_only",
     "a.lua|a.lua.option=-Text -outputdir sub\\ -platform pc -inputfile b.lua -foo|b.lua|sub/|out/",
     "-platform x -Platform ps2 XBOX -platform -debug -outputdir out\\x -inputfile a.lua b.lua",
     ".\\a.lua>a text out=sub\\ platform1 level3 -foo=;.\\b.lua>b out=out\\x platform1 level3;",
     "out/b.out(b) sub/a.out(t) ", 0, ""},
    {"failed_skipped_and_unreadable_inputs_leave_nothing",
     "fail.lua|fail.lua.option=-text|fail.out=old|fail.out.req=old|a.lua|"
     "a.lua.option=-skip -verbose|b.lua|b.lua.option/|c.lua",
     "-continue -inputfile fail.lua a.lua b.lua c.lua", ".\\fail.lua>fail text;.\\c.lua>c level2;",
     "c.out(b) ", 3, "fail failed [continuing]|Option file .\\b.lua.option: can't load file."},
    {"an_option_file_of_megabytes_is_read_whole", "a.lua|a.lua.option=" + OptionFileOfMegabytes(),
     "-inputfile a.lua", "*", "a.out(t) ", 0, ""},
    {"continue_from_an_option_file_does_not_cover_its_own_input",
     "fail.lua|fail.lua.option=-continue|b.lua", "-inputfile fail.lua b.lua", ".\\fail.lua>fail;",
     "", 2, "fail failed"},
    {"nor_an_output_that_would_replace_it", "x.out=old|x.out.option=-continue|b.lua",
     "-inputfile x.out b.lua", "", "x.out x.out.option ", 2,
     "Input file .\\x.out: its output .\\x.out would replace the input itself."},
    {"checkdate",
     "same.lua@4000000000|same.out@4000000000=old|older.lua@4000000000|"
     "older.out@3999999999=old|newer.lua@4000000000|newer.out@4100000000=old|"
     "opt.lua@4000000000|opt.out@4000000000=old|opt.lua.option@4000000001=|"
     "eq.lua@4000000000|eq.out@4000000000=old|eq.lua.option@4000000000=|"
     "stale.lua@4000000000|stale.out@4000000000=old|new.lua|"
     "tool.lua@1000000000|tool.out@program=old",
     "-checkdate -inputfile *.lua", "*",
     "eq.out new.out(b) newer.out older.out(b) opt.out(b) same.out stale.out(b) tool.out ", 0,
     ""},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, RunTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// Notes the steps whose work it is offered ahead, and those it is told to
// drop, by number.
struct AheadTool : TestTool {
  bool StartAhead(size_t step, const std::string&, const std::string&) override {
    offered += std::to_string(step) + " ";
    return true;
  }
  void DropAhead(size_t step) override { dropped += std::to_string(step) + " "; }
  std::string offered, dropped;
};

// With more than one job each input is offered once, however long the
// run; the work is dropped when the input's option file sends its output
// elsewhere, or when an earlier input writes the file it would read,
// wherever it is in the window, but not when it writes only the same
// output.
TEST(WorkAheadTest, EachLaterInputIsOfferedOnceAndDroppedWhenItsFileIsWritten) {
  std::string many = "s0.lua", offeredMany = "0 ";
  for (int i = 1; i < 60; ++i) {
    many += "|s" + std::to_string(i) + ".lua";
    offeredMany += std::to_string(i) + " ";
  }
  const struct {
    std::string files, arguments, offered, dropped;
  } cases[] = {
      {many, "-jobs 2 -inputfile *.lua", offeredMany, ""},
      {many, "-jobs 1 -inputfile *.lua", "", ""},
      {"x.lua|x.lua.option=-outputdir sub\\|a.lua|b.lua|sub/x.out=old|o/",
       "-jobs 2 -outputdir o\\ -inputfile x.lua a.lua b.lua sub\\x.out", "0 1 2 3 ", "0 3 "},
      {"a.lua", "-jobs 2 -inputfile a.lua a.lua", "0 1 ", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    test_support::TempDir temp;
    MakeFiles(c.files);
    AheadTool tool;
    RunTool(tool, c.arguments);
    EXPECT_EQ(tool.offered, c.offered);
    EXPECT_EQ(tool.dropped, c.dropped);
    EXPECT_EQ(ErrorCount(), 0);
  }
}

}  // namespace
