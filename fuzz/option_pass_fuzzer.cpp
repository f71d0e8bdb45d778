// The option passes over token lists made from arbitrary bytes: the text
// before the first NUL is a command line, the text after it an input's
// option file. Values come lower-cased, an option file never changes the
// platform, and the reset between inputs gives back the defaults and then,
// with the command line again, the command line's state.
#include "framework/arguments.h"
#include "framework/batch_tool.h"
#include "fuzz/fuzz_check.h"
#include "output/messages.h"

namespace {

struct OptionTool : BatchTool {
  void MungeFile(ChunkWriter*, ChunkWriter*, ToolString&, ToolString&) override {}
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    FUZZ_CHECK(option.Text()[0] == '-' && value.Text()[0] != '-' && option.ToLower() == option &&
                   value.ToLower() == value, "a tool option or its value taken wrong");
    state += std::string(option.Text()) + "=" + value.Text() + " ";
  }
  void ResetToolOptions() override { state.clear(); }
  // Runs a pass over the tokens of `text`; gives the state it leaves: the
  // values, the flags, the console level and the platform.
  std::string Parse(std::string_view text, bool platformPass = false) {
    std::vector<std::string> tokens =
        SplitArguments(text, Blanks::WhiteSpace);
    std::vector<const char*> pointers;
    for (const std::string& token : tokens) pointers.push_back(token.c_str());
    auto count = static_cast<int32_t>(pointers.size());
    if (platformPass) {
      ParsePlatform(count, pointers.data());
    } else {
      ParseOptions(count, pointers.data(), &options);
    }
    for (const ToolString* dir : {&options.outputDir, &options.sourceDir, &options.platformDir})
      FUZZ_CHECK(dir->ToLower() == *dir, "a folder that is not lower-case");
    return state + options.outputDir.Text() + "|" + options.sourceDir.Text() + "|" +
           options.platformDir.Text() + "|" +
           "0123456789abcdef"[options.checkDate + 2 * options.textOutput +
                              4 * options.skipInput + 8 * options.continueOnError] +
           std::to_string(ConsoleLevel()) + std::to_string(platform);
  }
  std::string state;
  BatchOptions options;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view commandLine = input.substr(0, input.find('\0'));
  SetConsoleLevel(0);
  OptionTool tool;
  tool.Parse(commandLine, true);
  std::string commandLineState = tool.Parse(commandLine);
  std::string runState = tool.Parse(input.substr(std::min(commandLine.size() + 1, size)));
  std::string kept = runState.substr(runState.size() - 2);  // the level and the platform
  FUZZ_CHECK(kept.back() == commandLineState.back(), "an option file changed the platform");
  tool.ResetToolOptions();
  tool.options = BatchOptions();
  FUZZ_CHECK(tool.Parse("") == "|||0" + kept, "an option survived the reset, or the run's not");
  SetConsoleLevel(0);
  FUZZ_CHECK(tool.Parse(commandLine) == commandLineState, "the command line's state is lost");
  return 0;
}
