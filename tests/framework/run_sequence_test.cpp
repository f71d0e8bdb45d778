// Whole runs over command lines in a temporary tree: the input walk over
// the layered roots, wildcards, "!" and list files; option files; and what
// is decided for each input. Each is told by what the tool was given, the
// files the run wrote or removed, and what it reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "framework/test_tool.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Scenario {
  const char* name;
  // "path", "path=content", "path@seconds=content" (with its modification
  // time), "dir/", or "link->target" (a directory link).
  std::vector<std::string> files;
  std::vector<std::string> arguments;
  std::string calls;    // what the tool was given, in order
  std::string written;  // what the run made or changed, the form marked; "-" for removed
  int errors;
  std::vector<std::string> logged;  // in the tool log
};

// Every file below the current folder and its content; the run's log and
// the build records left out.
std::map<std::string, std::string> Tree() {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(".")) {
    std::string path = entry.path().lexically_relative(".").generic_string();
    if (entry.is_regular_file() && path != "tool.log" &&
        entry.path().filename() != test_support::kBuildRecordName)
      files[path] = test_support::ReadFile(path);
  }
  return files;
}

void Check(const Scenario& s) {
  test_support::TempDir temp;
  // Overrides "low" and "demo" for "-platformdir pc".
  test_support::ScopedEnv marker("MUNGE_PLATFORM_DIR_STR", "pc");
  test_support::ScopedEnv entries("MUNGE_PLATFORM_OVERRIDE_STR", "low;;demo");
  for (const std::string& file : s.files) {
    std::string spec = file.substr(0, file.find('='));
    std::string path = spec.substr(0, spec.find_first_of("@-"));
    if (path.back() == '/') {
      fs::create_directories(path);
    } else if (spec.find("->") != std::string::npos) {
      fs::create_directory_symlink(spec.substr(path.size() + 2), path);
    } else {
      test_support::WriteFile(path, spec.size() < file.size() ? file.substr(spec.size() + 1) : "");
      if (path.size() < spec.size())
        test_support::SetMTime(path, std::stoll(spec.substr(path.size() + 1)));
    }
  }
  std::map<std::string, std::string> before = Tree();
  SetConsoleLevel(0);
  TestTool tool;
  std::vector<std::string> arguments = {"tool"};
  arguments.insert(arguments.end(), s.arguments.begin(), s.arguments.end());
  tool.Parse(arguments, &BatchTool::Run);
  SetConsoleLevel(1);
  EXPECT_EQ(tool.calls, s.calls);
  std::string written;
  for (const auto& [path, content] : Tree()) {
    if (before.count(path) && before[path] == content) continue;
    bool binary = content.rfind("ucfb", 0) == 0, text = content.rfind("\nucft", 0) == 0;
    written += path + (binary ? "(b) " : text ? "(t) " : "? ");
    before.erase(path);
  }
  for (const auto& [path, content] : before)
    if (!test_support::Exists(path)) written += "-" + path + " ";
  EXPECT_TRUE(s.written == "*" || written == s.written) << written;
  EXPECT_EQ(ErrorCount(), s.errors);
  std::string log = test_support::ReadFile("tool.log");
  for (const std::string& text : s.logged) EXPECT_NE(log.find(text), std::string::npos) << log;
  EXPECT_FALSE(PrintToLog("after the run")) << "the log is closed";
}

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

class RunTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(RunTest, MungesWhatTheCommandLineNames) { Check(GetParam()); }

const Scenario kScenarios[] = {
    {"inputs_in_command_line_order_lower_cased_with_every_option",
     {"a.lua", "b.lua", "sub/d.lua"},
     {"-INPUTFILE", "B.LUA", "A.lua", "-text", "-inputfile", "SUB\\d.lua", "-Foo", "Bar", "x"},
     ".\\b.lua>b text -foo=bar -foo=x;.\\a.lua>a text -foo=bar -foo=x;"
     ".\\sub\\d.lua>d text -foo=bar -foo=x;",
     "a.out(t) b.out(t) sub/d.out(t) ", 0, {}},
    {"values_without_an_input_option_are_no_inputs", {"a.lua"},
     {"a.lua", "-quiet", "-outputdir", "a.lua", "-inputfile"}, "", "", 0, {}},
    {"a_fatal_error_ends_the_run", {"b.lua"}, {"-inputfile", "missing.lua", "b.lua"}, "", "", 2,
     {"Input file .\\missing.lua does not exist."}},
    {"continue_goes_on_after_naming_the_last_candidate", {"src/b.lua"},
     {"-continue", "-sourcedir", "src", "-inputfile", "missing.lua", "b.lua"}, "src\\.\\b.lua>b;",
     "src/b.out(b) ", 1, {"Input file src\\.\\missing.lua does not exist. [continuing]"}},
    {"each_name_from_the_first_root_holding_it_and_its_option_file_from_its_own",
     {"src/s/a.lua", "src/s/a.lua.option=-text", "src/s/b.lua", "src/s/d.lua", "pc/s/a.lua",
      "pc/s/d.lua/", "low/s/c.lua", "demo/s/c.lua", "demo/s/b.lua"},
     {"-sourcedir", "src", "-platformdir", "pc", "-inputfile", "s\\*.lua"},
     "pc\\s\\a.lua>a text;demo\\s\\b.lua>b;low\\s\\c.lua>c;",
     "demo/s/b.out(b) low/s/c.out(b) pc/s/a.out(t) ", 0, {}},
    {"recursion_over_every_root",
     {"src/a.lua", "src/s1/x.lua", "src/s2/y.lua", "src/s2/deep/d.lua", "pc/p.lua",
      "pc/s1/z.lua", "pc/ponly/q.lua", "low/o.lua", "low/S2/w.lua", "low/oonly/r.lua",
      "demo/oonly/r2.lua"},
     {"-sourcedir", "src", "-platformdir", "pc", "-inputfile", "!*.lua"},
     "src\\.\\a.lua>a;pc\\.\\p.lua>p;low\\.\\o.lua>o;src\\.\\s1\\x.lua>x;pc\\.\\s1\\z.lua>z;"
     "src\\.\\s2\\y.lua>y;low\\.\\s2\\w.lua>w;src\\.\\s2\\deep\\d.lua>d;"
     // A folder only overrides have is searched once per root holding it;
     // folders only the platform root has come last.
     "low\\.\\oonly\\r.lua>r;demo\\.\\oonly\\r2.lua>r2;low\\.\\oonly\\r.lua>r;"
     "demo\\.\\oonly\\r2.lua>r2;pc\\.\\ponly\\q.lua>q;",
     "*", 0, {}},
    {"malformed_values_end_the_run", {"b.lua"}, {"-inputfile", "!a.lua", "b.lua"}, "", "", 2,
     {"Input file option !a.lua: recursive '!' must be followed by wildcard."}},
    {"malformed_values_with_continue", {"b.lua"},
     {"-continue", "-inputfile", "s*\\a.lua", "!d?r/x/*.lua", "!a.lua", "b.lua"}, ".\\b.lua>b;",
     "b.out(b) ", 3,
     {"Input file option s*\\a.lua: wildcards for directories are not supported. [continuing]",
      "Input file option !a.lua: recursive ! must be followed by wildcard. [continuing]"}},
    {"list_files_keep_the_case_of_their_names_and_end_at_a_nul",
     {"a.lua", "b.lua", "c.lua", "sub/inner.txt=b.lua\r\n\t*.lua", "empty.txt= \r\n\t ",
      std::string("list.txt=A.lua @sub\\inner.txt\n") + '\0' + "c.lua"},
     {"-inputfile", "@list.txt", "@empty.txt"},
     ".\\A.lua>a;.\\b.lua>b;.\\a.lua>a;.\\b.lua>b;.\\c.lua>c;", "A.out(b) b.out(b) c.out(b) ", 0,
     {}},
    {"a_list_that_names_itself_ends_the_run", {"a.lua", "b.lua", "self.txt=a.lua @SELF.TXT"},
     {"-inputfile", "@self.txt", "b.lua"}, ".\\a.lua>a;", "a.out(b) ", 2,
     {"Input file @SELF.TXT: list names itself."}},
    {"lists_with_continue",
     {"a.lua", "b.lua", "one.txt=@two.txt b.lua", "two.txt=@./one.txt a.lua"},
     {"-continue", "-inputfile", "@one.txt", "@missing.txt"}, ".\\a.lua>a;.\\b.lua>b;",
     "a.out(b) b.out(b) ", 2,
     {"Input file @./one.txt: list names itself. [continuing]",
      "Input file @missing.txt: can't load file. [continuing]"}},
#ifndef _WIN32
    {"a_link_loop_is_reported_and_passed_over", {"src/a/x.lua", "src/a/back->.."},
     {"-sourcedir", "src", "-inputfile", "!*.lua"}, "src\\.\\a\\x.lua>x;", "src/a/x.out(b) ", 1,
     {"Input directory src\\.\\a\\back: link loop, passed over."}},
#endif
    {"outputs_beside_their_inputs_requirements_only_when_required",
     {"a.lua", "sub/b.lua", "foo.bar.lua", "plain", "plain.out.req=old", "req.lua",
      "list.txt=Up.LUA", "Up.LUA"},
     {"-inputfile", "a.lua", "sub\\b.lua", "foo.bar.lua", "plain", "req.lua", "@list.txt"},
     ".\\a.lua>a;.\\sub\\b.lua>b;.\\foo.bar.lua>foo.bar;.\\plain>plain;.\\req.lua>req;"
     ".\\Up.LUA>up;",
     "Up.out(b) a.out(b) foo.bar.out(b) plain.out(b) req.out(b) req.out.req(t) sub/b.out(b) "
     "-plain.out.req ",
     0, {}},
    {"outputs_in_the_output_folder", {"sub/a.lua", "b.lua", "out/"},
     {"-outputdir", "out\\ignored", "-inputfile", "sub\\a.lua", "b.lua"},
     ".\\sub\\a.lua>a out=out\\ignored;.\\b.lua>b out=out\\ignored;", "out/a.out(b) out/b.out(b) ",
     0, {}},
    {"an_option_file_holds_for_its_input_only",
     {"a.lua", "a.lua.option=-Text -outputdir out\\ -platform pc -inputfile b.lua -foo", "b.lua",
      "out/"},
     {"-platform", "xbox", "-inputfile", "a.lua", "b.lua"},
     ".\\a.lua>a text out=out\\ platform1 -foo=;.\\b.lua>b platform1;", "b.out(b) out/a.out(t) ",
     0, {}},
    {"skipped_and_unreadable_option_files",
     {"a.lua", "a.lua.option=-skip", "b.lua", "b.lua.option/", "c.lua"},
     {"-continue", "-inputfile", "a.lua", "b.lua", "c.lua"}, ".\\c.lua>c;", "c.out(b) ", 2,
     {"Option file .\\b.lua.option: can't load file."}},
    {"a_failed_conversion_leaves_nothing_and_the_options_come_back",
     {"fail.lua", "fail.lua.option=-text", "fail.out=old", "fail.out.req=old", "b.lua"},
     {"-continue", "-inputfile", "fail.lua", "b.lua"}, ".\\fail.lua>fail text;.\\b.lua>b;",
     "b.out(b) -fail.out -fail.out.req ", 2, {"fail failed [continuing]"}},
    {"continue_from_an_option_file_does_not_cover_its_own_input",
     {"fail.lua", "fail.lua.option=-continue", "b.lua"}, {"-inputfile", "fail.lua", "b.lua"},
     ".\\fail.lua>fail;", "", 2, {"fail failed"}},
    {"a_missing_output_folder_fails_the_input", {"a.lua"},
     {"-outputdir", "missing\\", "-inputfile", "a.lua"}, "", "", 2,
     {"Could not open missing\\a.out for output."}},
    {"checkdate_munges_what_is_out_of_date",
     {"same.lua@4000000000", "same.out@4000000000=old", "older.lua@4000000000",
      "older.out@3999999999=old", "newer.lua@4000000000", "newer.out@4100000000=old",
      "prog.lua@1000", "prog.out@2000=old", "opt.lua@4000000000", "opt.out@4000000000=old",
      "opt.lua.option@4000000001=", "eq.lua@4000000000", "eq.out@4000000000=old",
      "eq.lua.option@4000000000=", "stale.lua@4000000000", "stale.out@4000000000=old", "new.lua"},
     {"-checkdate", "-inputfile", "*.lua"},
     ".\\new.lua>new checkdate;.\\older.lua>older checkdate;.\\opt.lua>opt checkdate;"
     ".\\prog.lua>prog checkdate;.\\stale.lua>stale checkdate;",
     "new.out(b) older.out(b) opt.out(b) prog.out(b) stale.out(b) ", 0, {}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, RunTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RunSequenceTest, ListsNestedPastTheLimitEndTheRun) {
  Scenario s{"", {"a.lua"}, {"-inputfile", "@l0.txt"}, "", "", 2,
             {"Input file @l256.txt: lists nested more than 256 deep."}};
  for (int i = 0; i < 256; ++i)
    s.files.push_back("l" + std::to_string(i) + ".txt=@l" + std::to_string(i + 1) + ".txt a.lua");
  Check(s);
}

}  // namespace
