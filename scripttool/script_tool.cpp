#include "scripttool/script_tool.h"

#include <string>
#include <vector>

#include "output/chunk_writer.h"
#include "output/messages.h"
#include "platform/platform.h"
#include "scripttool/shot_requirements.h"

namespace {

// A failed check that is only worth a diagnostic: the conversion goes on.
void DebugAssertion(const char* expression) {
  PrintDebug("Assertion failed: %s\n", expression);
}

[[noreturn]] void FailToRead() {
  std::fputs("ERROR reading processed script\n", stdout);
  std::fflush(stdout);
  platform::SleepMilliseconds(5000);
  throw HandyException("Could not read input file.");
}

// Runs the compiler; true when it succeeded. Its failures are told on
// standard output, beside the compiler's own messages.
bool Compile(const std::string& tempPath, const std::string& inputPath) {
  std::vector<std::string> argv{"luac"};
  if (!platform::GetEnv("LUA_DEBUG_SYMBOLS")) argv.push_back("-s");
  argv.push_back("-o");
  argv.push_back(platform::NativePath(tempPath));
  argv.push_back(platform::NativePath(inputPath));

  std::fflush(stdout);
  std::fflush(stderr);
  platform::RunResult result = platform::RunProgram(argv);
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

}  // namespace

ScriptTool::ScriptTool() = default;

void ScriptTool::ParseOption(const ToolString& option, const ToolString&) {
  if (option == "-b") {
    binaryMode = 1;
  } else if (option == "-t") {
    binaryMode = 0;
  } else if (option == "-cinematics") {
    cinematicsMode = true;
  }
}

void ScriptTool::MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter, ToolString& inputPath,
                           ToolString& name) {
  // Whatever happens, nothing of this conversion is left for the next.
  struct DiscardAfterwards {
    CompilerOutput& output;
    bool done = false;
    ~DiscardAfterwards() {
      if (!done) output.Discard();
    }
  } discard{compilerOutput};
  const std::string tempPath = compilerOutput.Path();
  if (tempPath.empty()) {
    DebugAssertion("0");
    FailToRead();
  }

  // A failed compile fails the conversion even when it left a file behind:
  // that file may be partial.
  if (!Compile(tempPath, inputPath.Text())) FailToRead();

  binaryMode = 1;
  FILE* compiled = platform::OpenStream(tempPath, "rb");
  if (compiled == nullptr) FailToRead();
  try {
    WriteScriptChunks(writer, compiled, name.ToLower().Text(), binaryMode);
  } catch (...) {
    std::fclose(compiled);
    throw;
  }
  std::fclose(compiled);

  if (reqWriter != nullptr && cinematicsMode) {
    // The shots are read from the source: the compiled code has no lines.
    std::optional<std::string> source = ReadScriptSource(inputPath.Text());
    if (!source) {
      throw HandyException("Could not read input file %s.", Printable(inputPath.Text()).c_str());
    }
    ToolStringNode root(ToolString("req"));
    CollectShotRequirements(*source, &root);
    WriteRequirements(reqWriter, root);
  }

  // The compiled file goes to the output, which may be written over it
  // and renamed into place instead of making a file of its own, or else
  // deletes it.
  discard.done = true;
  writer->OfferStorage(tempPath);
}

void WriteScriptChunks(ChunkWriter* writer, FILE* compiledStream, const char* name,
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
    unsigned char block[65536];
    for (;;) {
      size_t got = std::fread(block, 1, sizeof block, compiledStream);
      for (size_t i = 0; i < got; ++i) writer->WriteByte(block[i]);
      if (got < sizeof block) break;
    }
    if (std::ferror(compiledStream)) FailToRead();
    writer->CloseChunk();
  }
  writer->CloseChunk();
}
