#include "framework/arguments.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

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
