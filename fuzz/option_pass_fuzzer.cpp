// The option passes over token lists made from arbitrary bytes: the text
// before the first NUL is a command line, the text after it an input's
// option file (read, like the real one, up to its own NUL). Each pass is
// compared with a model of the option rules written here, and the reset
// between inputs must give back the defaults and then the command line's
// state.
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

namespace {

using OptionList = std::vector<std::pair<std::string, std::string>>;

bool HasUpperCase(std::string_view text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') return true;
  }
  return false;
}

std::string Lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return result;
}

bool IsOptionToken(const std::string& token) { return !token.empty() && token[0] == '-'; }

class OptionTool : public BatchTool {
 public:
  void MungeFile(ChunkWriter*, ChunkWriter*, ToolString&, ToolString&) override {
    FUZZ_CHECK(false, "an option pass munged an input");
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    FUZZ_CHECK(option.Text()[0] == '-', "a tool option without its dash");
    FUZZ_CHECK(value.Text()[0] != '-', "an option taken as a value");
    FUZZ_CHECK(!HasUpperCase(option.Text()) && !HasUpperCase(value.Text()),
               "a tool option that is not lower-case");
    toolOptions.emplace_back(option.Text(), value.Text());
  }
  void ResetToolOptions() override {
    ++resets;
    toolOptions.clear();
  }

  void Parse(const std::vector<std::string>& tokens) {
    std::vector<const char*> pointers = Pointers(tokens);
    ParseOptions(static_cast<int32_t>(pointers.size()), pointers.data());
  }
  void ParsePlatformOf(const std::vector<std::string>& tokens) {
    std::vector<const char*> pointers = Pointers(tokens);
    ParsePlatform(static_cast<int32_t>(pointers.size()), pointers.data());
  }

  OptionList toolOptions;
  int resets = 0;

 private:
  static std::vector<const char*> Pointers(const std::vector<std::string>& tokens) {
    std::vector<const char*> pointers;
    for (const std::string& token : tokens) pointers.push_back(token.c_str());
    return pointers;
  }
};

// The option state as the rules say it should be.
struct Model {
  bool checkDate = false;
  bool textOutput = false;
  bool skipInput = false;
  bool continueOnError = false;
  std::string outputDir;
  std::string sourceDir;
  std::string platformDir;
  int consoleLevel = 0;
  OptionList toolOptions;

  void Handle(const std::string& name, const std::string& value) {
    if (name == "-quiet") consoleLevel = 0;
    else if (name == "-verbose") consoleLevel = 2;
    else if (name == "-debug") consoleLevel = 3;
    else if (name == "-checkdate") checkDate = true;
    else if (name == "-text") textOutput = true;
    else if (name == "-skip") skipInput = true;
    else if (name == "-continue") continueOnError = true;
    else if (name == "-inputfile") {}
    else if (name == "-outputdir") outputDir = value;
    else if (name == "-sourcedir") sourceDir = value;
    else if (name == "-platformdir") platformDir = value;
    else toolOptions.emplace_back(name, value);
  }

  // An option's values are the non-options up to the next option; one
  // without values is handled once with an empty value.
  void Apply(const std::vector<std::string>& tokens) {
    size_t i = 0;
    while (i < tokens.size()) {
      if (!IsOptionToken(tokens[i])) {
        ++i;
        continue;
      }
      std::string name = Lowered(tokens[i]);
      size_t end = i + 1;
      while (end < tokens.size() && !IsOptionToken(tokens[end])) ++end;
      if (name != "-platform") {
        if (end == i + 1) Handle(name, "");
        for (size_t v = i + 1; v < end; ++v) Handle(name, Lowered(tokens[v]));
      }
      i = end;
    }
  }
};

int ModelPlatform(const std::vector<std::string>& tokens) {
  int platform = kPlatformNone;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!IsOptionToken(tokens[i]) || Lowered(tokens[i]) != "-platform") continue;
    for (size_t v = i + 1; v < tokens.size() && !IsOptionToken(tokens[v]); ++v) {
      std::string value = Lowered(tokens[v]);
      platform = value == "xbox" ? kPlatformXbox
                 : value == "ps2" ? kPlatformPs2
                 : value == "pc"  ? kPlatformPc
                                  : kPlatformNone;
    }
  }
  return platform;
}

void CheckState(const OptionTool& tool, const Model& model) {
  FUZZ_CHECK(tool.checkDate == model.checkDate, "-checkdate");
  FUZZ_CHECK(tool.textOutput == model.textOutput, "-text");
  FUZZ_CHECK(tool.skipInput == model.skipInput, "-skip");
  FUZZ_CHECK(tool.continueOnError == model.continueOnError, "-continue");
  FUZZ_CHECK(tool.outputDir.Text() == model.outputDir, "-outputdir");
  FUZZ_CHECK(tool.sourceDir.Text() == model.sourceDir, "-sourcedir");
  FUZZ_CHECK(tool.platformDir.Text() == model.platformDir, "-platformdir");
  for (const ToolString* dir : {&tool.outputDir, &tool.sourceDir, &tool.platformDir}) {
    FUZZ_CHECK(!HasUpperCase(dir->Text()), "a directory value that is not lower-case");
  }
  FUZZ_CHECK(ConsoleLevel() == model.consoleLevel, "console level");
  FUZZ_CHECK(tool.toolOptions == model.toolOptions, "tool options");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string_view commandText = input.substr(0, split);
  std::string_view optionText;
  if (split != std::string_view::npos) {
    optionText = input.substr(split + 1);
    optionText = optionText.substr(0, optionText.find('\0'));
  }
  std::vector<std::string> commandLine = Tokenize(commandText);
  std::vector<std::string> optionFile = Tokenize(optionText);

  SetConsoleLevel(0);
  OptionTool tool;
  tool.overrideDirs = {ToolString("c:\\override\\")};

  // The run's start: the platform pass (which starts from "none"), the
  // reset, the option pass.
  tool.platform = kPlatformXbox;
  tool.ParsePlatformOf(commandLine);
  int platform = ModelPlatform(commandLine);
  FUZZ_CHECK(tool.platform >= kPlatformPs2 && tool.platform <= kPlatformNone, "platform code");
  FUZZ_CHECK(tool.platform == platform, "platform");
  tool.ResetStandardOptions();
  tool.Parse(commandLine);
  Model model;
  model.Apply(commandLine);
  CheckState(tool, model);

  // An input's option file applies on top; "-platform" has no effect there.
  tool.Parse(optionFile);
  model.Apply(optionFile);
  CheckState(tool, model);
  FUZZ_CHECK(tool.platform == platform, "an option file changed the platform");

  // After the input: the defaults, except the console level, the platform
  // and the override directories, which belong to the whole run.
  int level = ConsoleLevel();
  tool.ResetStandardOptions();
  FUZZ_CHECK(tool.resets == 2, "ResetToolOptions not called once per reset");
  FUZZ_CHECK(!tool.checkDate && !tool.textOutput && !tool.skipInput && !tool.continueOnError,
             "a flag survived the reset");
  for (const ToolString* dir : {&tool.outputDir, &tool.sourceDir, &tool.platformDir}) {
    FUZZ_CHECK(dir->UsesSharedEmptyText(), "a directory survived the reset");
  }
  FUZZ_CHECK(ConsoleLevel() == level, "the reset changed the console level");
  FUZZ_CHECK(tool.platform == platform, "the reset changed the platform");
  FUZZ_CHECK(tool.overrideDirs.size() == 1 && tool.overrideDirs[0] == "c:\\override\\",
             "the reset changed the override directories");

  // ...and the command line's options again.
  tool.Parse(commandLine);
  Model restored;
  restored.consoleLevel = level;
  restored.Apply(commandLine);
  CheckState(tool, restored);

  SetConsoleLevel(0);
  return 0;
}
