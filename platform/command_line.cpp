#include "command_line.h"

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

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

std::optional<size_t> NextArgument(std::string_view line, size_t position, Blanks blanks,
                                   std::string* argument) {
  auto isBlank = blanks == Blanks::SpaceAndTab ? IsBlank : IsWhiteSpace;
  while (position < line.size() && isBlank(line[position])) ++position;
  if (position >= line.size()) return std::nullopt;

  bool inQuotes = false;
  for (;;) {
    size_t backslashes = 0;
    while (position < line.size() && line[position] == '\\') {
      ++backslashes;
      ++position;
    }
    bool copy = true;
    if (position < line.size() && line[position] == '"') {
      if (backslashes % 2 == 0) {
        if (inQuotes && position + 1 < line.size() && line[position + 1] == '"') {
          ++position;  // the second of the pair is copied as a literal quote
        } else {
          copy = false;
        }
        inQuotes = !inQuotes;
      }
      backslashes /= 2;
    }
    argument->append(backslashes, '\\');
    if (position >= line.size()) return position;
    if (!inQuotes && isBlank(line[position])) return position;
    if (copy) argument->push_back(line[position]);
    ++position;
  }
}

std::vector<std::string> SplitArguments(std::string_view text, Blanks blanks, size_t position) {
  std::vector<std::string> arguments;
  for (std::string argument;; argument.clear()) {
    std::optional<size_t> end = NextArgument(text, position, blanks, &argument);
    if (!end) return arguments;
    arguments.push_back(std::move(argument));
    position = *end;
  }
}

}  // namespace platform
