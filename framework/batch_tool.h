// The application base of every tool: the standard options, the layered
// input roots, the run sequence over one command line, input discovery and
// the per-file procedure around the tool's own conversion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/tool_string.h"

class ChunkWriter;

// Platform codes of "-platform".
enum PlatformCode : int32_t {
  kPlatformPs2 = 0,
  kPlatformXbox = 1,
  kPlatformPc = 2,
  kPlatformNone = 3,
};

class BatchTool {
 public:
  BatchTool();
  virtual ~BatchTool();
  BatchTool(const BatchTool&) = delete;
  BatchTool& operator=(const BatchTool&) = delete;

  // Converts one input. `inputPath` is the path as found, `name` the file
  // name without directory and extension, in lower case.
  virtual void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter,
                         ToolString& inputPath, ToolString& name) = 0;
  // Extension of the output files, without the dot.
  virtual ToolString GetOutputExtension() = 0;
  // Receives every option that is not a standard one, once per value.
  virtual void ParseOption(const ToolString& option, const ToolString& value);
  virtual void ResetToolOptions();
  // Asked under "-checkdate" when the output looks up to date.
  virtual bool IsOutOfDate(const char* inputPath, int64_t outputTime);

  // The run sequence over argv (argument 0 is the program name).
  void Run(int32_t argc, const char* const* argv);

  // Option passes (options.cpp).
  void ParsePlatform(int32_t count, const char* const* arguments);
  void ParseOptions(int32_t count, const char* const* arguments);
  void HandleStandardOption(const ToolString& name, const ToolString& value);
  void SetPlatform(const ToolString& value);
  void ResetStandardOptions();

  // Per-input option files (option_file.cpp).
  bool ReadOptionFile(const char* path);

  // Input discovery (input_discovery.cpp).
  void InputFileOption(const char* value);
  void ReadInputList(const char* path);
  void SearchDirectory(const std::string& dir, const std::string& pattern);
  void SearchDirectoryRecursive(const std::string& dir, const std::string& pattern);

  // The per-file procedure (munge_input.cpp).
  void MungeInput(const std::string& dir, const std::string& name);

  // Builds the override directories from the platform directory and the
  // two environment variables (run_sequence.cpp).
  void BuildOverrideDirs();

  // Standard option state.
  std::vector<ToolString> overrideDirs;
  ToolString sourceDir;
  ToolString platformDir;
  ToolString outputDir;
  bool checkDate = false;
  bool textOutput = false;
  bool skipInput = false;
  bool continueOnError = false;
  int64_t toolFileTime = 0;
  int32_t platform = kPlatformNone;
  // The command line after the program name, kept to restore the options
  // after every input.
  const char* const* args = nullptr;
  int32_t argCount = 0;

 private:
  void RestoreCommandLineOptions();
  // The "-checkdate" rule; `optionPath` is empty when there is no option
  // file.
  bool NeedsMunge(const std::string& inputPath, const std::string& optionPath,
                  const std::string& outputPath);
  // Raises `message` as a fatal error, or with "-continue" reports it with
  // " [continuing]\n" and returns.
  void RaiseOrContinue(const std::string& message);
  // The roots in the order in which an input is looked for: override
  // directories, platform directory, source directory ("" when absent).
  std::vector<std::string> SearchRoots() const;

  // List files being read, outermost first, to refuse a list that names
  // itself.
  std::vector<std::string> openLists;
  // Folders reported as impossible to list (lower case), so that neither
  // they nor what lies in them is reported again.
  std::vector<std::string> unlistedDirs;
  // Directory identities of each level of the current recursive search,
  // one per root ("" where the root lacks the directory).
  std::vector<std::vector<std::string>> recursionChain;
};

// File tests on paths through the platform layer.
bool FileExists(const std::string& path);
int64_t GetFileTime(const std::string& path);  // 0 when unreadable
void RemoveFile(const std::string& path);
