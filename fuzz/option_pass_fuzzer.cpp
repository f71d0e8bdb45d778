// The option passes over token lists made from arbitrary bytes: the text
// before the first NUL is a command line, the text after it an input's
// option file. Values come lower-cased, an option file never changes the
// platform, and the reset between inputs gives back the defaults and then,
// with the command line again, the command line's state.
#include "framework/batch_tool.h"
#include "framework/tokenizer.h"
#include "fuzz/fuzz_check.h"
#include "output/messages.h"
#include "platform/path_rules.h"

namespace {

bool IsLower(const ToolString& text) { return platform::ToLowerAscii(text.Text()) == text.Text(); }

struct OptionTool : BatchTool {
  void MungeFile(ChunkWriter*, ChunkWriter*, ToolString&, ToolString&) override {}
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    FUZZ_CHECK(option.Text()[0] == '-' && value.Text()[0] != '-' && IsLower(option) &&
                   IsLower(value), "a tool option or its value taken wrong");
    state += std::string(option.Text()) + "=" + value.Text() + " ";
  }
  void ResetToolOptions() override { state.clear(); }
  void Parse(std::string_view text, bool platformPass = false) {
    std::vector<std::string> tokens = Tokenize(text);
    std::vector<const char*> pointers;
    for (const std::string& token : tokens) pointers.push_back(token.c_str());
    auto count = static_cast<int32_t>(pointers.size());
    platformPass ? ParsePlatform(count, pointers.data()) : ParseOptions(count, pointers.data());
  }
  std::string State() const {
    return state + outputDir.Text() + "|" + sourceDir.Text() + "|" + platformDir.Text() + "|" +
           std::to_string(checkDate + 2 * textOutput + 4 * skipInput + 8 * continueOnError) +
           std::to_string(ConsoleLevel()) + std::to_string(platform);
  }
  std::string state;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view commandLine = input.substr(0, input.find('\0'));
  SetConsoleLevel(0);
  OptionTool tool;
  tool.Parse(commandLine, true);
  FUZZ_CHECK(tool.platform >= kPlatformPs2 && tool.platform <= kPlatformNone, "platform code");
  tool.Parse(commandLine);
  std::string commandLineState = tool.State();
  FUZZ_CHECK(IsLower(tool.outputDir) && IsLower(tool.sourceDir) && IsLower(tool.platformDir),
             "a folder that is not lower-case");
  int32_t platform = tool.platform;
  tool.Parse(input.substr(std::min(commandLine.size() + 1, size)));
  std::string runState = std::to_string(ConsoleLevel()) + std::to_string(platform);
  tool.ResetStandardOptions();
  FUZZ_CHECK(tool.State() == "|||0" + runState, "an option survived the reset, or the run's did not");
  SetConsoleLevel(0);
  tool.Parse(commandLine);
  FUZZ_CHECK(tool.State() == commandLineState, "the command line's state did not come back");
  return 0;
}
