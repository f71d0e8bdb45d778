// The option passes shared by the command line and the option files: an
// argument beginning with '-' names an option, the arguments up to the next
// such one are its values, and every name and value is lowered.
#include <algorithm>
#include <cstring>

#include "framework/batch_tool.h"
#include "output/messages.h"
#include "platform/process.h"

namespace {

bool IsOption(const char* argument) { return argument[0] == '-'; }

}  // namespace

void BatchTool::ParsePlatform(int32_t count, const char* const* arguments) {
  platform = kPlatformNone;
  for (int32_t i = 0; i < count; ++i) {
    if (!IsOption(arguments[i]) || !(ToolString(arguments[i]).ToLower() == "-platform"))
      continue;
    while (i + 1 < count && !IsOption(arguments[i + 1])) {
      ++i;
      SetPlatform(ToolString(arguments[i]).ToLower());
    }
  }
}

std::vector<std::string> OptionValues(int32_t count, const char* const* arguments,
                                      const char* name) {
  std::vector<std::string> values;
  for (int32_t i = 0; i < count; ++i) {
    if (!IsOption(arguments[i]) || !(ToolString(arguments[i]).ToLower() == name)) continue;
    bool valued = false;
    for (; i + 1 < count && !IsOption(arguments[i + 1]); ++i, valued = true)
      values.emplace_back(arguments[i + 1]);
    if (!valued) values.emplace_back();
  }
  return values;
}

void BatchTool::ParseJobs(int32_t count, const char* const* arguments) {
  jobs = platform::ProcessorCount();
  for (const std::string& value : OptionValues(count, arguments, "-jobs")) {
    // A whole number from 1 up; past a million it only says "as many as
    // there are inputs".
    int64_t number = 0;
    size_t digits = 0;
    for (; digits < value.size() && value[digits] >= '0' && value[digits] <= '9'; ++digits)
      number = std::min<int64_t>(number * 10 + (value[digits] - '0'), 1000000);
    if (digits != value.size() || digits == 0 || number < 1)
      throw HandyException("Invalid value %s for -jobs.", value.c_str());
    jobs = static_cast<int32_t>(number);
  }
}

void BatchTool::ParseCommandLineOnly(int32_t, const char* const*) {}

void BatchTool::SetPlatform(const ToolString& value) {
  if (value == "xbox") {
    platform = kPlatformXbox;
  } else if (value == "ps2") {
    platform = kPlatformPs2;
  } else if (value == "pc") {
    platform = kPlatformPc;
  } else {
    platform = kPlatformNone;
  }
}

void BatchTool::ParseOptions(int32_t count, const char* const* arguments,
                             BatchOptions* options) {
  int32_t i = 0;
  while (i < count) {
    if (!IsOption(arguments[i])) {
      ++i;
      continue;
    }
    ToolString option = ToolString(arguments[i]).ToLower();
    ++i;
    if (option == "-platform") continue;  // its values pass as non-options
    if (i < count && !IsOption(arguments[i])) {
      while (i < count && !IsOption(arguments[i])) {
        HandleStandardOption(option, ToolString(arguments[i]).ToLower(), options);
        ++i;
      }
    } else {
      HandleStandardOption(option, ToolString(), options);
    }
  }
}

void BatchTool::HandleStandardOption(const ToolString& name, const ToolString& value,
                                     BatchOptions* options) {
  if (name == "-quiet" || name == "-verbose" || name == "-debug") {
    options->consoleLevel = name == "-quiet" ? 0 : name == "-verbose" ? 2 : 3;
    SetConsoleLevel(*options->consoleLevel);
  } else if (name == "-checkdate") {
    options->checkDate = true;
  } else if (name == "-text") {
    options->textOutput = true;
  } else if (name == "-skip") {
    options->skipInput = true;
  } else if (name == "-continue") {
    options->continueOnError = true;
  } else if (name == "-inputfile" || name == "-jobs") {
    // Taken from the command line only, by the run's input walk and by
    // ParseJobs.
  } else if (name == "-outputdir") {
    options->outputDir = value;
  } else if (name == "-sourcedir") {
    options->sourceDir = value;
  } else if (name == "-platformdir") {
    options->platformDir = value;
  } else {
    options->toolOptions.emplace_back(name, value);
    ParseOption(name, value);
  }
}

void BatchTool::RestoreToolOptions() {
  ResetToolOptions();
  for (const auto& [name, value] : commandLine.toolOptions) ParseOption(name, value);
  // A level that an option file set lasts unless the command line names
  // one of its own.
  if (commandLine.consoleLevel) SetConsoleLevel(*commandLine.consoleLevel);
}
