#include "command_line.h"

namespace platform {

namespace {

void AppendProgramName(std::string& line, const std::string& name) {
  std::string bare;
  bare.reserve(name.size());
  for (char c : name) {
    if (c != '"') bare += c;
  }
  // Quote also on the other white space: some parsers split on it.
  bool quote = bare.empty() || bare.find_first_of(" \t\n\v") != std::string::npos;
  if (quote) line += '"';
  line += bare;
  if (quote) line += '"';
}

void AppendArgument(std::string& line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // The backslashes before a quote are doubled, and one more escapes it.
      line.append(2 * backslashes + 1, '\\');
    } else {
      line.append(backslashes, '\\');
    }
    line += c;
    backslashes = 0;
  }
  // Before the closing quote they are doubled too.
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

std::string QuoteWindowsCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i == 0) {
      AppendProgramName(line, argv[0]);
    } else {
      line += ' ';
      AppendArgument(line, argv[i]);
    }
  }
  return line;
}

}  // namespace platform
