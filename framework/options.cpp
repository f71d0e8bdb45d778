// The option passes shared by the command line and the option files: an
// argument beginning with '-' names an option, the arguments up to the next
// such one are its values, and every name and value is lowered.
#include <cstring>

#include "framework/batch_tool.h"
#include "output/messages.h"

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

void BatchTool::ParseOptions(int32_t count, const char* const* arguments) {
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
        HandleStandardOption(option, ToolString(arguments[i]).ToLower());
        ++i;
      }
    } else {
      HandleStandardOption(option, ToolString());
    }
  }
}

void BatchTool::HandleStandardOption(const ToolString& name, const ToolString& value) {
  if (name == "-quiet") {
    SetConsoleLevel(0);
  } else if (name == "-verbose") {
    SetConsoleLevel(2);
  } else if (name == "-debug") {
    SetConsoleLevel(3);
  } else if (name == "-checkdate") {
    checkDate = true;
  } else if (name == "-text") {
    textOutput = true;
  } else if (name == "-skip") {
    skipInput = true;
  } else if (name == "-continue") {
    continueOnError = true;
  } else if (name == "-inputfile") {
    // Inputs are taken by the run's input walk only.
  } else if (name == "-outputdir") {
    outputDir = value;
  } else if (name == "-sourcedir") {
    sourceDir = value;
  } else if (name == "-platformdir") {
    platformDir = value;
  } else {
    ParseOption(name, value);
  }
}

void BatchTool::ResetStandardOptions() {
  ResetToolOptions();
  sourceDir = ToolString();
  platformDir = ToolString();
  outputDir = ToolString();
  checkDate = false;
  textOutput = false;
  skipInput = false;
  continueOnError = false;
}

void BatchTool::RestoreCommandLineOptions() {
  ResetStandardOptions();
  ParseOptions(argCount, args);
}
