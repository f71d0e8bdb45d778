// The option passes over token lists made from arbitrary bytes: the text
// before the first NUL is a command line, the text after it an input's
// option file. Values come lower-cased, an option file never changes the
// platform, and the reset between inputs gives back the defaults and then,
// with the command line again, the command line's state.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/batch_tool.h"
#include "framework/tokenizer.h"
#include "fuzz/fuzz_check.h"
#include "output/messages.h"
#include "platform/path_rules.h"

namespace {

bool IsLower(std::string_view text) { return platform::ToLowerAscii(text) == text; }

class OptionTool : public BatchTool {
 public:
  void MungeFile(ChunkWriter*, ChunkWriter*, ToolString&, ToolString&) override {
    FUZZ_CHECK(false, "an option pass munged an input");
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    FUZZ_CHECK(option.Text()[0] == '-' && value.Text()[0] != '-', "an option taken as a value");
    FUZZ_CHECK(IsLower(option.Text()) && IsLower(value.Text()), "a tool option's case");
    toolOptions.emplace_back(option.Text(), value.Text());
  }
  void ResetToolOptions() override { toolOptions.clear(); }

  void Parse(const std::vector<std::string>& tokens, bool platformPass = false) {
    std::vector<const char*> pointers;
    for (const std::string& token : tokens) pointers.push_back(token.c_str());
    int32_t count = static_cast<int32_t>(pointers.size());
    platformPass ? ParsePlatform(count, pointers.data()) : ParseOptions(count, pointers.data());
  }
  std::vector<std::string> State() const {
    std::vector<std::string> state = {outputDir.Text(), sourceDir.Text(), platformDir.Text(),
                                      std::to_string(checkDate) + std::to_string(textOutput) +
                                          std::to_string(skipInput) +
                                          std::to_string(continueOnError) +
                                          std::to_string(ConsoleLevel()) +
                                          std::to_string(platform)};
    for (const auto& [option, value] : toolOptions) state.push_back(option + "=" + value);
    return state;
  }

  std::vector<std::pair<std::string, std::string>> toolOptions;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::vector<std::string> commandLine = Tokenize(input.substr(0, split));
  std::vector<std::string> optionFile =
      Tokenize(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));

  SetConsoleLevel(0);
  OptionTool tool;
  tool.Parse(commandLine, true);
  FUZZ_CHECK(tool.platform >= kPlatformPs2 && tool.platform <= kPlatformNone, "platform code");
  tool.ResetStandardOptions();
  tool.Parse(commandLine);
  std::vector<std::string> commandLineState = tool.State();
  for (const std::string& dir : {commandLineState[0], commandLineState[1], commandLineState[2]})
    FUZZ_CHECK(IsLower(dir), "a directory value that is not lower-case");

  int32_t platform = tool.platform;
  tool.Parse(optionFile);
  FUZZ_CHECK(tool.platform == platform, "an option file changed the platform");

  int level = ConsoleLevel();
  tool.ResetStandardOptions();
  FUZZ_CHECK(!tool.checkDate && !tool.textOutput && !tool.skipInput && !tool.continueOnError &&
                 tool.outputDir.Length() == 0 && tool.sourceDir.Length() == 0 &&
                 tool.platformDir.Length() == 0 && tool.toolOptions.empty(),
             "an option survived the reset");
  FUZZ_CHECK(ConsoleLevel() == level && tool.platform == platform, "the reset took run state");
  SetConsoleLevel(0);
  tool.Parse(commandLine);
  FUZZ_CHECK(tool.State() == commandLineState, "the command line's state did not come back");
  SetConsoleLevel(0);
  return 0;
}
