// Windows passes a program one command line, not an argument vector; the
// child's runtime splits it again. These pure functions build a line that
// splits back into exactly the vector, and split a line by those rules, so
// the quoting is tested by round trip on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Quotes `argv` so that CommandLineToArgvW (and the C runtime's own
// splitter) gives back exactly `argv`. The program name argv[0] follows the
// simpler program-name rule, which has no escape for '"': any '"' in it is
// dropped (no Windows file name holds one). No element may hold a NUL.
std::string QuoteWindowsCommandLine(const std::vector<std::string>& argv);

// Splits a command line the way CommandLineToArgvW does. argv[0] ends at
// the first blank, or, when it begins with '"', at the next '"'. In the
// arguments, blanks (space, tab) outside quotes separate; backslashes are
// literal except before a '"': 2n of them and a '"' give n backslashes and
// open or close a quoted part, 2n+1 give n backslashes and a literal '"'.
// Inside a quoted part, '""' gives a literal '"' and closes the part. An
// empty line gives an empty vector.
std::vector<std::string> ParseWindowsCommandLine(std::string_view commandLine);

}  // namespace platform
