// How CommandLineToArgvW splits a command line, for checking the program's
// quoting by round trip: argv[0] ends at the first blank, or, when it
// begins with '"', at the next '"'; the arguments follow the argument
// rules with space and tab as blanks. An empty line gives no argument.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/arguments.h"

namespace test_support {

inline std::vector<std::string> ParseWindowsCommandLine(std::string_view line) {
  if (line.empty()) return {};
  size_t end = line[0] == '"' ? line.find('"', 1) : line.find_first_of(" \t");
  if (end == std::string_view::npos) end = line.size();
  size_t start = line[0] == '"' ? 1 : 0;
  std::vector<std::string> argv{std::string(line.substr(start, end - start))};
  if (line[0] == '"' && end < line.size()) ++end;
  for (std::string& argument :
       SplitArguments(line, Blanks::SpaceAndTab, end))
    argv.push_back(std::move(argument));
  return argv;
}

}  // namespace test_support
