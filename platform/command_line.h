// Windows passes a program one command line, not an argument vector; the
// child's runtime splits it again. These pure functions build a line that
// splits back into exactly the vector, and split arguments by those rules,
// so the quoting is tested by round trip on every platform. List and
// option files are split by the same argument rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Quotes `argv` so that CommandLineToArgvW (and the C runtime's own
// splitter) gives back exactly `argv`. The program name argv[0] follows the
// simpler program-name rule, which has no escape for '"': any '"' in it is
// dropped (no Windows file name holds one). No element may hold a NUL.
std::string QuoteWindowsCommandLine(const std::vector<std::string>& argv);

// What separates arguments: on a command line space and tab; in list and
// option files also line ends and the rest of the C locale's white space
// (bytes from 0x80 up are ordinary).
enum class Blanks { SpaceAndTab, WhiteSpace };

// Splits one argument starting at `position`: leading blanks are skipped,
// then blanks outside quotes end it. Backslashes are literal except before
// a '"': 2n of them and a '"' give n backslashes and open or close a quoted
// part, 2n+1 give n backslashes and a literal '"'. Inside a quoted part,
// '""' gives a literal '"' and closes the part. The argument's characters
// are appended to `argument`; returns the position where it ended (a blank
// or the end), or nothing when no argument is left.
std::optional<size_t> NextArgument(std::string_view line, size_t position, Blanks blanks,
                                   std::string* argument);

// Every argument of `text` from `position` on, in order.
std::vector<std::string> SplitArguments(std::string_view text, Blanks blanks,
                                        size_t position = 0);

}  // namespace platform
