// Helpers of the hardening tests: a fixture whose current folder is a fresh
// one, the built program run behind another program (timeout, setpriv,
// prlimit), and whole-tree listings that tell what a run left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/test_support.h"

namespace hardening {

using Names = std::vector<std::string>;
using test_support::ReadFile;
using test_support::WriteFile;

// `tools` holds what is not the program's; `work` is the current folder.
class HardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::FindProgram("luac")) GTEST_SKIP() << "luac is not on PATH";
  }
  // Puts `script` first on the path as the compiler (see WithCompiler).
  void InstallLuac(const std::string& script) {
    test_support::WriteProgram(tools.Path() + "/luac", script);
  }
  // What starts a program with `tools` first on the path, the real compiler
  // in $REAL_LUAC and `settings`, ended after `seconds`.
  Names WithCompiler(const char* seconds, const Names& settings) const {
    Names prefix{"timeout", seconds, "env",
                 "PATH=" + tools.Path() + ":" + platform::GetEnv("PATH").value_or(""),
                 "REAL_LUAC=" + platform::FindProgram("luac").value_or("")};
    prefix.insert(prefix.end(), settings.begin(), settings.end());
    return prefix;
  }
  test_support::TempDir tools;
  test_support::TempDir work;
  test_support::ScopedEnv stripped{"LUA_DEBUG_SYMBOLS", std::nullopt};
  test_support::ScopedEnv shortPause{"TOLSCRIPT_FAILURE_PAUSE_MS", std::string("10")};
};

// Every path under `root`, sorted, a FIFO's marked; links are not followed.
inline Names AllPaths(const std::string& root = ".") {
  Names paths;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    paths.push_back(it->path().lexically_relative(root).string() +
                    (it->is_fifo() ? " (fifo)" : ""));
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// What tells folder `b` from folder `a`: paths in one only ("-" in `a`,
// "+" in `b`) and files whose bytes differ ("~"); build records, which
// hold times, count by presence only.
inline Names TreeDifferences(const std::string& a, const std::string& b) {
  Names inA = AllPaths(a), inB = AllPaths(b), differences;
  for (const std::string& path : inA) {
    if (!std::binary_search(inB.begin(), inB.end(), path)) {
      differences.push_back("-" + path);
    } else if (path.find(test_support::kBuildRecordName) == std::string::npos &&
               ReadFile(a + "/" + path) != ReadFile(b + "/" + path)) {
      differences.push_back("~" + path);
    }
  }
  for (const std::string& path : inB)
    if (!std::binary_search(inA.begin(), inA.end(), path)) differences.push_back("+" + path);
  return differences;
}

// Runs the built program with `args`, started by the program `prefix`
// names (none: directly); how it ended and what it printed.
inline platform::RunResult RunBehind(Names prefix, const Names& args) {
  prefix.push_back(TOLSCRIPT_PROGRAM);
  prefix.insert(prefix.end(), args.begin(), args.end());
  return test_support::RunProgram(prefix);
}

}  // namespace hardening
