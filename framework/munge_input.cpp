// The procedure for one input: find it in the layered roots, apply its
// option file, name the outputs, obey "-skip" and "-checkdate", run the
// tool's conversion between the two output files, and clean up after a
// failure.
#include <memory>
#include <string>

#include "framework/batch_tool.h"
#include "framework/input_paths.h"
#include "output/binary_chunk_writer.h"
#include "output/messages.h"
#include "output/text_chunk_writer.h"
#include "output/tool_file.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// The first candidate under the roots that exists, with its status; `path`
// holds the last one tried when none does.
bool FindInRoots(const std::vector<std::string>& roots, const std::string& dir,
                 const std::string& name, std::string* path,
                 platform::FileStatus* status = nullptr) {
  for (const std::string& root : roots) {
    *path = UnderRoot(root, dir, name);
    std::optional<platform::FileStatus> found = platform::StatFile(*path);
    if (!found) continue;
    if (status != nullptr) *status = *found;
    return true;
  }
  return false;
}

// The last component of a path, lowered: what two spellings of one file
// share.
std::string_view FileNameOf(std::string_view path) {
  size_t start = path.size();
  while (start > 0 && !platform::IsSeparator(path[start - 1])) --start;
  return path.substr(start);
}

std::string LastName(const std::string& path) { return platform::ToLowerAscii(FileNameOf(path)); }

// A path spelled the same whatever the current folder and however the
// roots were written, for the build record.
std::string RecordedPath(const std::string& workingFolder, const std::string& path) {
  bool absolute = platform::HasDrive(path) || (!path.empty() && platform::IsSeparator(path[0]));
  return CanonicalKey(absolute ? path : workingFolder + "\\" + path);
}

int64_t FileTime(const std::string& path) {
  std::optional<platform::FileStatus> status = platform::StatFile(path);
  return status ? status->timeNs : 0;
}

}  // namespace

uint64_t BatchTool::HashRecordedPath(const std::string& path) {
  std::string_view name = FileNameOf(path);
  if (name.empty() || name == "." || name == "..")
    return HashFacts(RecordedPath(workingFolder, path));
  std::string_view folder(path);
  folder.remove_suffix(name.size());
  auto known = recordedFolders.find(folder);
  if (known == recordedFolders.end()) {
    std::string key = RecordedPath(workingFolder, std::string(folder));
    // As the whole path's key: one '\' before the name, none after a root
    // or a drive.
    if (!key.empty() && key.back() != '\\' && key.back() != ':') key += '\\';
    known = recordedFolders.emplace(std::string(folder), HashFacts(key)).first;
  }
  return HashFacts(platform::ToLowerAscii(name), known->second);
}

uint64_t BatchTool::FactsOf(const Decision& decision, const BatchOptions& options) {
  const std::string& conversion = ConversionFacts();
  if (conversion != conversionFacts) {
    conversionHash = HashFacts(conversion);
    conversionFacts = conversion;
  }
  uint64_t hash = HashRecordedPath(decision.inputPath);
  for (uint64_t number :
       {static_cast<uint64_t>(decision.input.timeNs), decision.input.size,
        static_cast<uint64_t>(decision.optionTimeNs), static_cast<uint64_t>(toolFileTime),
        static_cast<uint64_t>(options.textOutput), static_cast<uint64_t>(decision.hasOptionFile),
        decision.hasOptionFile ? HashRecordedPath(decision.optionPath) : 0, conversionHash}) {
    hash = HashFacts(std::string_view(reinterpret_cast<const char*>(&number), sizeof number), hash);
  }
  return hash;
}

BuildRecord& BatchTool::RecordOf(const std::string& outputPath) {
  std::string_view folder(outputPath);
  folder.remove_suffix(FileNameOf(outputPath).size());
  if (folder.empty() && platform::HasDrive(outputPath))
    folder = std::string_view(outputPath).substr(0, 2);
  // Outputs come folder by folder.
  if (lastRecord != nullptr && folder == lastRecordFolder) return *lastRecord;
  std::unique_ptr<BuildRecord>& record = records[platform::ToLowerAscii(folder)];
  if (!record) record = std::make_unique<BuildRecord>(std::string(folder));
  // One record at a time keeps a file open: outputs come folder by folder.
  if (lastRecord != nullptr && lastRecord != record.get()) lastRecord->Release();
  lastRecord = record.get();
  lastRecordFolder = folder;
  return *record;
}

bool BatchTool::WritesOverItsInput(const Decision& decision) {
  auto same = [this](const std::string& a, const std::string& b) {
    // Files of other names are other files; most inputs end here.
    return platform::EqualsIgnoreCase(FileNameOf(a), FileNameOf(b)) &&
           RecordedPath(workingFolder, a) == RecordedPath(workingFolder, b);
  };
  // The requirements file can be the input only when that is named so.
  std::string_view inputName = FileNameOf(decision.inputPath);
  const bool reqNamed = inputName.size() >= 4 &&
      platform::EqualsIgnoreCase(inputName.substr(inputName.size() - 4), ".req");
  const std::string reqPath = reqNamed ? decision.ReqPath() : std::string();
  for (const std::string* written : {&decision.outputPath, &reqPath}) {
    if (written->empty()) continue;
    const char* replaced = nullptr;
    if (same(*written, decision.inputPath)) {
      replaced = "the input itself";
    } else if (decision.hasOptionFile && same(*written, decision.optionPath)) {
      replaced = "its option file";
    }
    if (replaced == nullptr) continue;
    RaiseOrContinue(FormatMessage("Input file %s: its output %s would replace %s.",
                                  Printable(decision.inputPath).c_str(),
                                  Printable(*written).c_str(), replaced));
    return true;
  }
  return false;
}

void BatchTool::Locate(const WalkStep& step, Decision* decision) {
  decision->located = true;
  if (step.inputRoot == kUnknownRoot) {
    decision->found = FindInRoots(roots, step.dir, step.name, &decision->inputPath,
                                  &decision->input);
    if (decision->found) {
      decision->hasOptionFile =
          FindInRoots(roots, step.dir, step.name + ".option", &decision->optionPath);
    }
    return;
  }
  // The walk's listings told which roots hold the input and its option
  // file; only the input's status is still to be read.
  decision->inputPath = UnderRoot(roots[static_cast<size_t>(step.inputRoot)], step.dir, step.name);
  std::optional<platform::FileStatus> input = platform::StatFile(decision->inputPath);
  decision->found = input.has_value();
  if (input) decision->input = *input;
  decision->hasOptionFile = decision->found && step.optionRoot >= 0;
  if (decision->hasOptionFile) {
    decision->optionPath =
        UnderRoot(roots[static_cast<size_t>(step.optionRoot)], step.dir, step.name + ".option");
  }
}

void BatchTool::Judge(const BatchOptions& options, Decision* decision) {
  platform::PathParts parts = platform::SplitPath(decision->inputPath);
  std::string drive = parts.drive;
  std::string directory = parts.dir;
  if (options.outputDir.NotEmpty()) {
    platform::PathParts out = platform::SplitPath(options.outputDir.Text());
    drive = out.drive;
    directory = out.dir;
  }
  std::string extension = GetOutputExtension().Text();
  decision->outputPath = platform::JoinPath(drive, directory, parts.name, extension);
  if (decision->hasOptionFile) decision->optionTimeNs = FileTime(decision->optionPath);
  decision->facts = FactsOf(*decision, options);
  decision->factsAt = optionFilesApplied;
  decision->munge = !options.skipInput && NeedsMunge(options.checkDate, *decision);
  decision->judged = true;
}

void BatchTool::DecideAhead() {
  // One at a time, each input's work starts at its turn.
  if (jobs <= 1) return;
  // Far enough ahead to keep every compiler busy past inputs that need no
  // work; the tool says when it takes no more.
  const size_t reach = 4 * static_cast<size_t>(jobs) + 16;
  for (size_t k = settledAhead; k < reach && current + 1 + k < steps.size(); ++k) {
    const WalkStep& step = steps[current + 1 + k];
    if (step.kind == WalkStep::Kind::Fatal) break;  // nothing after it runs
    if (k == window.size()) {
      window.emplace_back();
      if (step.kind == WalkStep::Kind::Input) {
        Locate(step, &window.back());
        // By the command line's options: an input's option file is read
        // only at its turn, which then takes the decision again.
        if (window.back().found && (judgeOptionFilesAhead || !window.back().hasOptionFile))
          Judge(commandLine, &window.back());
      }
    }
    Decision& decision = window[k];
    // A FIFO or a device would keep the compiler waiting, or reading, for
    // ever; a directory is no script.
    if (decision.judged && decision.munge && decision.input.isRegular && !decision.started) {
      if (!StartAhead(current + 1 + k, decision.inputPath, decision.outputPath)) break;
      decision.started = true;
    }
    if (k == settledAhead) ++settledAhead;
  }
}

void BatchTool::ForgetDecisionsAbout(const Decision& written) {
  std::string outputName = LastName(written.outputPath);
  std::string reqName = LastName(written.ReqPath());
  auto writes = [&](const std::string& name) {
    return !name.empty() && (name == outputName || name == reqName);
  };
  for (size_t k = 0; k < window.size(); ++k) {
    Decision& decision = window[k];
    if (!decision.located) continue;
    std::string inputName = LastName(decision.inputPath);
    if (writes(inputName) || writes(inputName + ".option")) {
      if (decision.started) DropAhead(current + 1 + k);
      decision = Decision();
    } else if (writes(LastName(decision.outputPath))) {
      // Only the judgement looked at it: work started on the same input
      // is kept unless its turn judges otherwise.
      decision.judged = false;
    }
  }
}

void BatchTool::MungeInput(const std::string& dir, const std::string& name) {
  Decision decision;
  Locate({WalkStep::Kind::Input, dir, name, std::string()}, &decision);
  MungeDecided(std::move(decision));
}

void BatchTool::MungeDecided(Decision decision) {
  if (!decision.found) {
    RaiseOrContinue(
        FormatMessage("Input file %s does not exist.", Printable(decision.inputPath).c_str()));
    return;
  }
  // This input's options: the command line's with its option file's on
  // top, for its turn only (a copy only then). Every failure of the input
  // is still handled by the command line's "-continue".
  std::optional<BatchOptions> own;
  if (decision.hasOptionFile) own.emplace(commandLine);
  const BatchOptions& options = own ? *own : commandLine;
  struct Restore {
    BatchTool& tool;
    bool toolOptionsChanged = false;
    ~Restore() {
      tool.inForce = &tool.commandLine;
      if (toolOptionsChanged) tool.RestoreToolOptions();
    }
  } restore{*this, decision.hasOptionFile};
  if (own && !ReadOptionFile(decision.optionPath.c_str(), &*own)) {
    if (decision.started) DropAhead(current);
    return;
  }
  if (decision.hasOptionFile) ++optionFilesApplied;
  inForce = &options;
  // A decision taken ahead holds unless it was taken without the input's
  // option file or what the tool makes has changed since (an earlier
  // option file may have switched a mode on for good).
  if (decision.judged &&
      (decision.hasOptionFile || (decision.factsAt != optionFilesApplied &&
                                  FactsOf(decision, options) != decision.facts)))
    decision.judged = false;
  if (!decision.judged) {
    std::string startedFor = decision.outputPath;
    Judge(options, &decision);
    // Work started for another output, or for none, is not wanted.
    if (decision.started && (!decision.munge || decision.outputPath != startedFor)) {
      DropAhead(current);
      decision.started = false;
      if (decision.hasOptionFile) judgeOptionFilesAhead = false;
    }
  }

  if (PrintsAt(3)) PrintDebug("Considering [%s]\n", Printable(decision.inputPath).c_str());
  if (!options.skipInput && WritesOverItsInput(decision)) {
    if (decision.started) DropAhead(current);
    return;
  }
  if (!options.skipInput && !decision.munge && PrintsAt(3))
    PrintDebug("%s is up to date\n", Printable(decision.outputPath).c_str());
  if (!decision.munge) {
    if (decision.started) DropAhead(current);
    return;
  }
  if (!decision.input.isRegular) {
    RaiseOrContinue(FormatMessage("Input file %s is not a regular file.",
                                  Printable(decision.inputPath).c_str()));
    return;
  }
  platform::PathParts parts = platform::SplitPath(decision.inputPath);
  PrintNormal("Munging %s%s\n", Printable(parts.name).c_str(), Printable(parts.ext).c_str());
  // The conversion may change the tool's options.
  restore.toolOptionsChanged = true;
  // Whatever happens to this input, the decisions ahead that looked at
  // its outputs are taken again.
  struct Forget {
    BatchTool& tool;
    const Decision& written;
    ~Forget() { tool.ForgetDecisionsAbout(written); }
  } forget{*this, decision};
  WriteOutputs(options, decision);
}

void BatchTool::WriteOutputs(const BatchOptions& options, const Decision& decision) {
  const std::string& inputPath = decision.inputPath;
  const std::string& outputPath = decision.outputPath;
  const std::string reqPath = decision.ReqPath();
  currentOutput = outputPath;
  BuildRecord& record = RecordOf(outputPath);
  ToolFile outputFile;
  ToolFile reqFile;
  bool handedToTool = false;
  try {
    if (outputFile.OpenForOutput(outputPath.c_str(), true) &&
        reqFile.OpenForOutput(reqPath.c_str(), true)) {
      record.PrepareToWrite();
      auto reqWriter = std::make_unique<TextChunkWriter>(&reqFile);
      std::unique_ptr<ChunkWriter> writer;
      if (options.textOutput) {
        writer = std::make_unique<TextChunkWriter>(&outputFile);
      } else {
        writer = std::make_unique<BinaryChunkWriter>(&outputFile);
      }
      uint32_t reqSizeBefore = 0;
      uint32_t reqSizeAfter = 0;
      if (writer->OpenChunk(options.textOutput ? "ucft" : "ucfb")) {
        if (reqWriter->OpenChunk("ucft")) {
          reqSizeBefore = reqFile.GetSize();
          ToolString toolInputPath(inputPath.c_str());
          ToolString baseName = ToolString(platform::SplitPath(inputPath).name.c_str()).ToLower();
          handedToTool = true;
          MungeFile(writer.get(), reqWriter.get(), toolInputPath, baseName);
          reqSizeAfter = reqFile.GetSize();
          reqWriter->CloseChunk();
        }
        writer->CloseChunk();
      }
      if (reqSizeBefore == reqSizeAfter) {
        // Nothing required: no requirements file, also not an older one.
        reqFile.Abandon();
        platform::RemoveFile(reqPath);
      } else {
        reqFile.Close();
      }
      // The entry goes on disk before the output takes its name: no way
      // of ending the run leaves an output that no entry describes.
      std::string outputName = LastName(outputPath);
      outputFile.Close([&](const platform::FileStatus& made) {
        record.Append(outputName, {made.timeNs, made.size, made.fileId, decision.facts});
      });
    }
  } catch (HandyException error) {
    if (decision.started && !handedToTool) DropAhead(current);
    outputFile.Abandon();
    reqFile.Abandon();
    platform::RemoveFile(outputPath);
    platform::RemoveFile(reqPath);
    if (!commandLine.continueOnError) throw error;
    ReportError("%s [continuing]\n", error.GetMessage());
  }
}

bool BatchTool::NeedsMunge(bool checkDate, const Decision& decision) {
  if (!checkDate) return true;
  std::optional<platform::FileStatus> output = platform::StatFile(decision.outputPath);
  if (!output) return true;
  int64_t outputTime = output->timeNs;
  if (outputTime < toolFileTime || outputTime < decision.input.timeNs ||
      (decision.hasOptionFile && outputTime < decision.optionTimeNs)) {
    return true;
  }
  // In a folder that this program has written to, only an entry for the
  // very file that is there vouches for it; a folder without a record
  // goes by the dates alone.
  BuildRecord& record = RecordOf(decision.outputPath);
  if (record.Exists()) {
    const RecordEntry* entry = record.Find(LastName(decision.outputPath));
    if (entry == nullptr || entry->outputTimeNs != outputTime ||
        entry->outputSize != output->size ||
        (entry->outputId != 0 && output->fileId != 0 && entry->outputId != output->fileId) ||
        entry->facts != decision.facts) {
      return true;
    }
  }
  return IsOutOfDate(decision.inputPath.c_str(), outputTime);
}
