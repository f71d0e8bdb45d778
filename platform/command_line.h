// Windows passes a program one command line, not an argument vector; the
// child's runtime splits it again. A pure function builds a line that
// splits back into exactly the vector; the rules it undoes are those of
// list and option files (framework/arguments.h), so the quoting is tested
// by round trip on every platform.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Quotes `argv` so that CommandLineToArgvW (and the C runtime's own
// splitter) gives back exactly `argv`. The program name argv[0] follows the
// simpler program-name rule, which has no escape for '"': any '"' in it is
// dropped (no Windows file name holds one). No element may hold a NUL.
std::string QuoteWindowsCommandLine(const std::vector<std::string>& argv);

}  // namespace platform
