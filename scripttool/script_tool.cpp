#include "scripttool/script_tool.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "framework/tokenizer.h"
#include "output/chunk_writer.h"
#include "output/messages.h"
#include "platform/platform.h"
#include "scripttool/shot_requirements.h"

namespace {

// A failed check that is only worth a diagnostic: the conversion goes on.
void DebugAssertion(const char* expression) {
  PrintDebug("Assertion failed: %s\n", expression);
}

// Removes the compiler's temporary file on the way out of a failed
// conversion; the normal path removes it itself and reports a failure.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path(std::move(path)) {}
  ~TemporaryFile() {
    if (!path.empty()) platform::RemoveFile(path);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& Path() const { return path; }
  // Deletes the file now; returns the C library's error number, 0 on
  // success.
  int Remove() {
    std::string error;
    int result = platform::RemoveFile(path, &error) ? 0 : (errno != 0 ? errno : -1);
    path.clear();
    return result;
  }

 private:
  std::string path;
};

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
  // The unique name is reserved atomically; the compiler writes a file of
  // its own beside it, named after it, so that no other run can pick the
  // same name and the compiler creates its output rather than truncating
  // ours (which makes some file systems flush it to disk at once).
  std::string reservedPath = "luaXXXXXX";
  FILE* created = platform::CreateUniqueFile(reservedPath);
  if (created == nullptr) {
    DebugAssertion("0");
    FailToRead();
  }
  std::fclose(created);
  TemporaryFile reserved(reservedPath);
  TemporaryFile temp(reservedPath + ".luac");

  // A failed compile fails the conversion even when it left a file behind:
  // that file may be partial.
  if (!Compile(temp.Path(), inputPath.Text())) FailToRead();

  binaryMode = 1;
  FILE* compiled = platform::OpenStream(temp.Path(), "rb");
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
    std::optional<std::string> source = LoadTextFile(inputPath.Text());
    if (!source) throw HandyException("Could not read input file %s.", inputPath.Text());
    ToolStringNode root(ToolString("req"));
    CollectShotRequirements(*source, &root);
    WriteRequirements(reqWriter, root);
  }

  reserved.Remove();
  int removeError = temp.Remove();
  if (removeError != 0) {
    std::printf("Could not delete, res = %d, errno = %d\n", -1, removeError);
    DebugAssertion("RemoveRes == 0");
  }
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
