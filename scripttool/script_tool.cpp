#include "scripttool/script_tool.h"

#include <cstring>
#include <optional>
#include <string>

#include "output/chunk_writer.h"
#include "output/messages.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "scripttool/builtin_compiler.h"
#include "scripttool/shot_requirements.h"

namespace {

// A failed check that is only worth a diagnostic: the conversion goes on.
void DebugAssertion(const char* expression) {
  PrintDebug("Assertion failed: %s\n", expression);
}

// The pause after a failed compile, so that its messages can be read
// before the next input's scroll them away. Tests shorten it.
int FailurePauseMilliseconds() {
  static const int pause = [] {
    std::optional<std::string> value = platform::GetEnv("TOLSCRIPT_FAILURE_PAUSE_MS");
    if (!value || value->empty() || value->size() > 6 ||
        value->find_first_not_of("0123456789") != std::string::npos) {
      return 5000;
    }
    return std::stoi(*value);
  }();
  return pause;
}

[[noreturn]] void FailToRead() {
  std::fputs("ERROR reading processed script\n", stdout);
  std::fflush(stdout);
  platform::SleepMilliseconds(FailurePauseMilliseconds());
  throw HandyException("Could not read input file.");
}

// Shows what the compiler printed, where it would have stood had it run
// now, and tells its failure on standard output; true when it succeeded.
bool ReportCompile(const platform::RunResult& result) {
  std::fflush(stdout);
  std::fflush(stderr);
  platform::WriteRaw(stdout, result.output);
  platform::WriteRaw(stderr, result.errorOutput);
  if (result.Succeeded()) return true;
  DebugAssertion("ErrorCode == 0");
  switch (result.kind) {
    case platform::RunResult::Kind::Exited:
      std::printf("\n**** ERROR: luac returned %d\n", result.exitCode);
      break;
    case platform::RunResult::Kind::Signalled:
      std::printf("\n**** ERROR: luac was ended by signal %d\n", result.exitCode);
      break;
    case platform::RunResult::Kind::StartFailed:
      std::printf("\n**** ERROR: luac could not be run: %s\n", result.error.c_str());
      break;
  }
  return false;
}

// What luac prints on its standard error before it exits 1, printed here
// through the same text stream, so that line ends come out as luac's.
void ReportBuiltinFailure(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "luac: %s\n", message.c_str());
  platform::RunResult failed;
  failed.kind = platform::RunResult::Kind::Exited;
  failed.exitCode = 1;
  ReportCompile(failed);
}

}  // namespace

ScriptTool::ScriptTool() = default;

void ScriptTool::ParseCommandLineOnly(int32_t count, const char* const* arguments) {
  compilerFacts.clear();
  builtinCompiler = false;
  for (const std::string& value : OptionValues(count, arguments, "-compiler")) {
    ToolString lowered = ToolString(value.c_str()).ToLower();
    if (!(lowered == "builtin") && !(lowered == "luac"))
      throw HandyException("Invalid value %s for -compiler.", Printable(value).c_str());
    builtinCompiler = lowered == "builtin";
  }
  compilers.SetLimit(jobs);
  compilers.UseBuiltin(builtinCompiler);
}

void ScriptTool::ParseOption(const ToolString& option, const ToolString&) {
  if (option == "-b") {
    binaryMode = 1;
  } else if (option == "-t") {
    binaryMode = 0;
  } else if (option == "-cinematics") {
    cinematicsMode = true;
  }
  // "-compiler" counts from the command line only.
}

const std::string& ScriptTool::ConversionFacts() {
  // The compiler that PATH gives, by its file, time and size: an upgraded
  // or swapped compiler may write other code. The built-in one is the Lua
  // release linked in.
  if (compilerFacts.empty()) {
    if (builtinCompiler) {
      compilerFacts = std::string("builtin\n") + BuiltinCompilerRelease();
    } else {
      const std::string& compiler = compilers.Luac();
      std::optional<platform::FileStatus> status =
          compiler.empty() ? std::nullopt : platform::StatFile(compiler);
      compilerFacts = !status ? std::string("no compiler")
                              : compiler + '\n' + std::to_string(status->timeNs) + '\n' +
                                    std::to_string(status->size);
    }
    compilerFacts += KeepsDebugSymbols() ? "\ndebug symbols" : "\nstripped";
    cinematicsFacts = compilerFacts + "\ncinematics";
  }
  return cinematicsMode ? cinematicsFacts : compilerFacts;
}

bool ScriptTool::StartAhead(size_t step, const std::string& inputPath,
                            const std::string& outputPath) {
  return compilers.Queue(step, inputPath, outputPath);
}

void ScriptTool::DropAhead(size_t step) { compilers.Drop(step); }

void ScriptTool::MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                           ToolString& name) {
  CompilerPool::Compiled compiled =
      compilers.Finish(CurrentStep(), inputPath.Text(), currentOutput);
  std::optional<std::string> bytes;
  if (compiled.inMemory) {
    // No file: the code, or the message luac would have printed.
    if (!compiled.builtin.succeeded) {
      ReportBuiltinFailure(compiled.builtin.message);
      FailToRead();
    }
    bytes = std::move(compiled.builtin.code);
  } else {
    if (compiled.tempPath.empty()) {
      throw HandyException("Could not open %s for output. DOS reports:\n%s\n",
                           Printable(currentOutput).c_str(), std::strerror(compiled.nameError));
    }
    // A failed compile fails the conversion even when it left code behind:
    // that code may be partial. An empty file is an empty body.
    bool succeeded = ReportCompile(compiled.result);
    // The compiled file becomes the output's temporary file, so it goes
    // with the output whatever happens now.
    bytes = writer->TakeOverTemporaryFile(compiled.tempPath);
    if (!succeeded || !bytes) FailToRead();
  }

  binaryMode = 1;
  WriteScriptChunks(writer, *bytes, name.ToLower().Text(), binaryMode);

  if (reqWriter != nullptr && cinematicsMode) {
    // The shots are read from the source: the compiled code has no lines.
    // NUL bytes and all: the scan reads to the end, wherever a NUL stands.
    std::optional<std::string> source = platform::ReadWholeFile(inputPath.Text());
    if (!source) {
      throw HandyException("Could not read input file %s.", Printable(inputPath.Text()).c_str());
    }
    ToolStringNode root(ToolString("req"));
    CollectShotRequirements(*source, &root);
    WriteRequirements(reqWriter, root);
  }
}

void WriteScriptChunks(ChunkWriter* writer, const std::string& compiled, const char* name,
                       uint32_t bodyFormat) {
  if (!writer->OpenChunk("scr")) return;
  if (name != nullptr && writer->OpenChunk("NAME")) {
    writer->WriteString(name);
    writer->CloseChunk();
  }
  if (writer->OpenChunk("INFO")) {
    writer->WriteByte(static_cast<uint8_t>(bodyFormat & 0xFF));
    writer->CloseChunk();
  }
  if (writer->OpenChunk("BODY")) {
    writer->WriteBytes(compiled);
    writer->CloseChunk();
  }
  writer->CloseChunk();
}
