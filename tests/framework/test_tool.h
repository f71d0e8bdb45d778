// A tool for testing the framework. Its conversion writes a small known
// chunk and notes what it was given: the input path, the name, and the
// options in force. A name holding "req" also requires something, one
// holding "fail" fails, and an input whose path holds "stale" is always
// out of date.
#pragma once

#include <string>
#include <vector>

#include "framework/batch_tool.h"
#include "output/chunk_writer.h"
#include "output/messages.h"

class TestTool : public BatchTool {
 public:
  void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                 ToolString& name) override {
    calls += std::string(inputPath.Text()) + ">" + name.Text() + State() + ";";
    if (writer->OpenChunk("TEST")) {
      writer->WriteString(name);
      writer->CloseChunk();
    }
    std::string text = name.Text();
    if (text.find("req") != std::string::npos && reqWriter->OpenChunk("REQN")) {
      reqWriter->WriteString("needed");
      reqWriter->CloseChunk();
    }
    if (text.find("fail") != std::string::npos) throw HandyException("%s failed", name.Text());
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  void ParseOption(const ToolString& option, const ToolString& value) override {
    toolOptions += std::string(" ") + option.Text() + "=" + value.Text();
  }
  void ResetToolOptions() override { toolOptions.clear(); }
  bool IsOutOfDate(const char* path, int64_t) override {
    return std::string(path).find("stale") != std::string::npos;
  }

  // The options in force, those left at their defaults left out.
  std::string State() const {
    return std::string(textOutput ? " text" : "") + (checkDate ? " checkdate" : "") +
           (outputDir.NotEmpty() ? std::string(" out=") + outputDir.Text() : "") +
           (platform != kPlatformNone ? " platform" + std::to_string(platform) : "") +
           toolOptions;
  }
  // Runs an option pass, or the whole run, over `arguments` (as from main,
  // where a null pointer follows the last).
  void Parse(const std::vector<std::string>& arguments,
             void (BatchTool::*pass)(int32_t, const char* const*) = &BatchTool::ParseOptions) {
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    (this->*pass)(static_cast<int32_t>(arguments.size()), pointers.data());
  }

  std::string calls;
  std::string toolOptions;
};
