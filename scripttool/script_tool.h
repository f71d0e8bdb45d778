// The script tool: compiles each Lua script with the external compiler
// "luac" (or, with "-compiler builtin", with Lua's own compiler inside the
// program) and writes the compiled bytes as a script chunk; in cinematics
// mode it also lists the shots each script plays as requirements.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/batch_tool.h"
#include "scripttool/compiler_pool.h"

class ChunkWriter;

class ScriptTool : public BatchTool {
 public:
  ScriptTool();

  // "-compiler luac|builtin", from the command line only; the last value
  // counts. Raises a fatal error on any other value, or none.
  void ParseCommandLineOnly(int32_t count, const char* const* arguments) override;

  void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                 ToolString& name) override;
  ToolString GetOutputExtension() override { return ToolString("script"); }
  void ParseOption(const ToolString& option, const ToolString& value) override;
  void ResetToolOptions() override { binaryMode = 0; }
  const std::string& ConversionFacts() override;
  bool StartAhead(size_t step, const std::string& inputPath,
                  const std::string& outputPath) override;
  void DropAhead(size_t step) override;

  uint32_t binaryMode = 0;
  bool cinematicsMode = false;
  bool builtinCompiler = false;

 private:
  CompilerPool compilers;
  // The compiler and how it is run, found once a run (empty until then),
  // and the same with the cinematics mode.
  std::string compilerFacts;
  std::string cinematicsFacts;
};

// Writes "scr" holding "NAME" (`name` and its zero byte, when given),
// "INFO" (the low byte of `bodyFormat`) and "BODY" (`compiled`).
void WriteScriptChunks(ChunkWriter* writer, const std::string& compiled, const char* name,
                       uint32_t bodyFormat);
