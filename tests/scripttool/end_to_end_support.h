// The older names of helpers that now live in support/test_support.h.
#pragma once

#include <regex>

#include "platform/platform.h"
#include "support/test_support.h"

namespace end_to_end {
using namespace test_support;
inline std::string WithoutCarriageReturns(const std::string& text) { return NormalizeLineEnds(text); }
inline ProgramRun RunTool(const std::vector<std::string>& args) { return RunTolscript(args); }
}  // namespace end_to_end
