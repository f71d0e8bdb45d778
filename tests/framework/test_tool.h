// A tool for testing the framework: its conversion writes a small known
// chunk, records what it was given, and on request writes a requirement or
// fails.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "framework/batch_tool.h"
#include "output/chunk_writer.h"
#include "output/messages.h"

struct MungeCall {
  std::string inputPath;
  std::string name;
  bool textOutput;
  std::string outputDir;
};

class TestTool : public BatchTool {
 public:
  void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                 ToolString& name) override {
    calls.push_back({inputPath.Text(), name.Text(), textOutput, outputDir.Text()});
    if (writer->OpenChunk("TEST")) {
      writer->WriteString(name);
      writer->CloseChunk();
    }
    if (requireSomething && reqWriter->OpenChunk("REQN")) {
      reqWriter->WriteString("needed");
      reqWriter->CloseChunk();
    }
    if (failingNames.count(name.Text())) throw HandyException("conversion of %s failed", name.Text());
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    toolOptions.push_back(std::string(option.Text()) + "=" + value.Text());
  }
  void ResetToolOptions() override { ++resets; }
  bool IsOutOfDate(const char*, int64_t) override { return outOfDate; }

  // Runs the option pass over a list given as strings.
  void Parse(const std::vector<std::string>& arguments) {
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    ParseOptions(static_cast<int32_t>(pointers.size()), pointers.data());
  }
  // Sets the saved command line, as the run does before the first input.
  void SetCommandLine(const std::vector<std::string>& arguments) {
    commandLine = arguments;
    commandLinePointers.clear();
    for (const std::string& argument : commandLine) commandLinePointers.push_back(argument.c_str());
    args = commandLinePointers.data();
    argCount = static_cast<int32_t>(commandLinePointers.size());
    ResetStandardOptions();
    ParseOptions(argCount, args);
  }
  std::vector<std::string> InputPaths() const {
    std::vector<std::string> paths;
    for (const MungeCall& call : calls) paths.push_back(call.inputPath);
    return paths;
  }

  std::vector<MungeCall> calls;
  std::vector<std::string> toolOptions;
  std::set<std::string> failingNames;
  bool requireSomething = false;
  bool outOfDate = false;
  int resets = 0;

 private:
  std::vector<std::string> commandLine;
  std::vector<const char*> commandLinePointers;
};
