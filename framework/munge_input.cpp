// The procedure for one input: find it in the layered roots, apply its
// option file, name the outputs, obey "-skip" and "-checkdate", run the
// tool's conversion between the two output files, and clean up after a
// failure.
#include <memory>
#include <string>

#include "framework/batch_tool.h"
#include "output/binary_chunk_writer.h"
#include "output/messages.h"
#include "output/text_chunk_writer.h"
#include "output/tool_file.h"
#include "platform/path_rules.h"
#include "platform/platform.h"

bool FileExists(const std::string& path) { return platform::FileExists(path); }

int64_t GetFileTime(const std::string& path) {
  return platform::GetFileTime(path).value_or(0);
}

void RemoveFile(const std::string& path) { platform::RemoveFile(path); }

namespace {

std::string Compose(const std::string& root, const std::string& dir, const std::string& name) {
  return root.empty() ? dir + "\\" + name : root + "\\" + dir + "\\" + name;
}

// The first candidate under the roots that exists; `path` holds the last
// one tried when none does.
bool FindInRoots(const std::vector<std::string>& roots, const std::string& dir,
                 const std::string& name, std::string* path) {
  for (const std::string& root : roots) {
    *path = Compose(root, dir, name);
    if (FileExists(*path)) return true;
  }
  return false;
}

}  // namespace

void BatchTool::MungeInput(const std::string& dir, const std::string& name) {
  std::vector<std::string> roots = SearchRoots();
  std::string inputPath;
  if (!FindInRoots(roots, dir, name, &inputPath)) {
    RaiseOrContinue(FormatMessage("Input file %s does not exist.", Printable(inputPath).c_str()));
    return;
  }
  std::string optionPath;
  bool hasOptionFile = FindInRoots(roots, dir, name + ".option", &optionPath);
  if (hasOptionFile) {
    try {
      ReadOptionFile(optionPath.c_str());
    } catch (HandyException error) {
      RestoreCommandLineOptions();
      if (!continueOnError) throw error;
      ReportError("%s [continuing]\n", error.GetMessage());
      return;
    }
  }

  platform::PathParts parts = platform::SplitPath(inputPath);
  std::string drive = parts.drive;
  std::string directory = parts.dir;
  if (outputDir.NotEmpty()) {
    platform::PathParts out = platform::SplitPath(outputDir.Text());
    drive = out.drive;
    directory = out.dir;
  }
  std::string extension = GetOutputExtension().Text();
  std::string outputPath = platform::JoinPath(drive, directory, parts.name, extension);
  std::string reqName = parts.name + "." + extension;
  std::string reqPath = platform::JoinPath(drive, directory, reqName, "req");

  PrintDebug("Considering [%s]\n", Printable(inputPath).c_str());

  if (!skipInput && NeedsMunge(inputPath, hasOptionFile ? optionPath : std::string(), outputPath)) {
    // A FIFO or a device would keep the conversion waiting, or reading, for
    // ever; a directory is no script. Asked only here, so that an up-to-date
    // input costs no extra look.
    if (!platform::IsRegularFile(inputPath)) {
      RestoreCommandLineOptions();
      RaiseOrContinue(
          FormatMessage("Input file %s is not a regular file.", Printable(inputPath).c_str()));
      return;
    }
    PrintNormal("Munging %s%s\n", Printable(parts.name).c_str(), Printable(parts.ext).c_str());
    ToolFile outputFile;
    ToolFile reqFile;
    try {
      if (outputFile.OpenForOutput(outputPath.c_str(), true) &&
          reqFile.OpenForOutput(reqPath.c_str(), true)) {
        auto reqWriter = std::make_unique<TextChunkWriter>(&reqFile);
        std::unique_ptr<ChunkWriter> writer;
        if (textOutput) {
          writer = std::make_unique<TextChunkWriter>(&outputFile);
        } else {
          writer = std::make_unique<BinaryChunkWriter>(&outputFile);
        }
        uint32_t reqSizeBefore = 0;
        uint32_t reqSizeAfter = 0;
        if (writer->OpenChunk(textOutput ? "ucft" : "ucfb")) {
          if (reqWriter->OpenChunk("ucft")) {
            reqSizeBefore = reqFile.GetSize();
            ToolString toolInputPath(inputPath.c_str());
            ToolString baseName = ToolString(parts.name.c_str()).ToLower();
            MungeFile(writer.get(), reqWriter.get(), toolInputPath, baseName);
            reqSizeAfter = reqFile.GetSize();
            reqWriter->CloseChunk();
          }
          writer->CloseChunk();
        }
        writer.reset();
        reqWriter.reset();
        if (reqSizeBefore == reqSizeAfter) {
          // Nothing required: no requirements file, also not an older one.
          reqFile.Abandon();
          RemoveFile(reqPath);
        } else {
          reqFile.Close();
        }
        outputFile.Close();
      }
    } catch (HandyException error) {
      outputFile.Abandon();
      reqFile.Abandon();
      RemoveFile(outputPath);
      RemoveFile(reqPath);
      RestoreCommandLineOptions();
      if (!continueOnError) throw error;
      ReportError("%s [continuing]\n", error.GetMessage());
      return;
    }
  }
  RestoreCommandLineOptions();
}

bool BatchTool::NeedsMunge(const std::string& inputPath, const std::string& optionPath,
                           const std::string& outputPath) {
  if (!checkDate || !FileExists(outputPath)) return true;
  int64_t outputTime = GetFileTime(outputPath);
  if (outputTime < toolFileTime || outputTime < GetFileTime(inputPath) ||
      (!optionPath.empty() && outputTime < GetFileTime(optionPath))) {
    return true;
  }
  if (IsOutOfDate(inputPath.c_str(), outputTime)) return true;
  PrintDebug("%s is up to date\n", Printable(outputPath).c_str());
  return false;
}
