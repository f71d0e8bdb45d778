// What the first bytes of compiled Lua code say about it, one fact per
// line ("version: 5.1"): its signature, version, format, byte order, the
// sizes of its types, whether numbers are integral and, for Lua 5.1,
// whether debug information was kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> DescribeCompiledLua(std::string_view code);
