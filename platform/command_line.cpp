#include "command_line.h"

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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

std::vector<std::string> ParseWindowsCommandLine(std::string_view line) {
  std::vector<std::string> argv;
  if (line.empty()) return argv;

  size_t pos = 0;
  std::string arg;
  if (line[0] == '"') {
    for (pos = 1; pos < line.size() && line[pos] != '"'; ++pos) arg += line[pos];
    if (pos < line.size()) ++pos;
  } else {
    for (; pos < line.size() && !IsBlank(line[pos]); ++pos) arg += line[pos];
  }
  argv.push_back(arg);

  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos == line.size()) return argv;

  arg.clear();
  // Windows counts a run of quotes modulo 3: 1 means inside a quoted part,
  // and every third quote of a run is a literal one.
  int quotes = 0;
  size_t backslashes = 0;
  while (pos < line.size()) {
    char c = line[pos];
    if (IsBlank(c) && quotes == 0) {
      argv.push_back(arg);
      arg.clear();
      backslashes = 0;
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos == line.size()) return argv;
    } else if (c == '\\') {
      arg += c;
      ++backslashes;
      ++pos;
    } else if (c == '"') {
      if (backslashes % 2 == 0) {
        arg.erase(arg.size() - backslashes / 2);
        ++quotes;
      } else {
        arg.erase(arg.size() - backslashes / 2 - 1);
        arg += '"';
      }
      backslashes = 0;
      for (++pos; pos < line.size() && line[pos] == '"'; ++pos) {
        if (++quotes == 3) {
          arg += '"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    } else {
      arg += c;
      backslashes = 0;
      ++pos;
    }
  }
  argv.push_back(arg);
  return argv;
}

}  // namespace platform
