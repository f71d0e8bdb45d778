// Per-input option files: the file's tokens are parsed as options on top of
// the command line's, for that one input.
#include <new>
#include <string>
#include <vector>

#include "framework/arguments.h"
#include "framework/batch_tool.h"
#include "output/messages.h"
#include "platform/platform.h"

bool BatchTool::ReadOptionFile(const char* path, BatchOptions* options) {
  std::optional<std::string> text = platform::ReadTextFile(path);
  if (!text) {
    // An option file that exists but cannot be read would silently change
    // what the input turns into; the input fails instead.
    RaiseOrContinue(FormatMessage("Option file %s: can't load file.", Printable(path).c_str()));
    return false;
  }
  std::vector<std::string> tokens;
  std::vector<const char*> arguments;
  try {
    tokens = SplitArguments(*text, Blanks::WhiteSpace);
    text.reset();
    arguments.reserve(tokens.size());
    for (const std::string& token : tokens) arguments.push_back(token.c_str());
  } catch (const std::bad_alloc&) {
    RaiseOrContinue(
        FormatMessage("Option file %s: out of memory for parsing file.", Printable(path).c_str()));
    return false;
  }
  ParseOptions(static_cast<int32_t>(arguments.size()), arguments.data(), options);
  return true;
}
