// How list and option files are split into arguments: the rules by which
// the C runtime on Windows splits a command line, with more blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
