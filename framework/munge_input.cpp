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
#include "platform/process.h"

bool FileExists(const std::string& path) { return platform::FileExists(path); }

int64_t GetFileTime(const std::string& path) {
  std::optional<platform::FileStatus> status = platform::StatFile(path);
  return status ? status->timeNs : 0;
}

void RemoveFile(const std::string& path) { platform::RemoveFile(path); }

namespace {

std::string Compose(const std::string& root, const std::string& dir, const std::string& name) {
  return root.empty() ? dir + "\\" + name : root + "\\" + dir + "\\" + name;
}

// The first candidate under the roots that exists, with its status; `path`
// holds the last one tried when none does.
bool FindInRoots(const std::vector<std::string>& roots, const std::string& dir,
                 const std::string& name, std::string* path,
                 platform::FileStatus* status = nullptr) {
  for (const std::string& root : roots) {
    *path = Compose(root, dir, name);
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
  size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string LastName(const std::string& path) { return platform::ToLowerAscii(FileNameOf(path)); }

}  // namespace

BatchTool::DecisionOptions BatchTool::CurrentDecisionOptions() const {
  return {outputDir, checkDate, skipInput, textOutput};
}

uint64_t BatchTool::FactsOf(const Decision& decision, const DecisionOptions& options) {
  uint64_t hash = HashFacts(decision.inputPath);
  for (int64_t number :
       {decision.input.timeNs, static_cast<int64_t>(decision.input.size), decision.optionTimeNs,
        toolFileTime, static_cast<int64_t>(options.textOutput),
        static_cast<int64_t>(decision.hasOptionFile)}) {
    hash = HashFacts(std::string_view(reinterpret_cast<const char*>(&number), sizeof number), hash);
  }
  if (decision.hasOptionFile) hash = HashFacts(decision.optionPath, hash);
  return HashFacts(ConversionFacts(), hash);
}

BuildRecord& BatchTool::RecordOf(const std::string& outputPath) {
  platform::PathParts parts = platform::SplitPath(outputPath);
  std::string folder = parts.drive + parts.dir;
  std::unique_ptr<BuildRecord>& record = records[platform::ToLowerAscii(folder)];
  if (!record) record = std::make_unique<BuildRecord>(folder);
  // One record at a time keeps a file open: outputs come folder by folder.
  if (lastRecord != nullptr && lastRecord != record.get()) lastRecord->Release();
  lastRecord = record.get();
  return *record;
}

bool BatchTool::WritesOverItsInput(const Decision& decision) {
  auto same = [](const std::string& a, const std::string& b) {
    // Files of other names are other files; most inputs end here.
    if (!platform::EqualsIgnoreCase(FileNameOf(a), FileNameOf(b))) return false;
    // Spellings relative to different places are compared as full paths.
    if (platform::IsSeparator(a.empty() ? ' ' : a[0]) != platform::IsSeparator(b.empty() ? ' ' : b[0]))
      return platform::CanonicalKey(platform::MakeFullPath(a).value_or(a)) ==
             platform::CanonicalKey(platform::MakeFullPath(b).value_or(b));
    return platform::CanonicalKey(a) == platform::CanonicalKey(b);
  };
  for (const std::string* written : {&decision.outputPath, &decision.reqPath}) {
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
  std::vector<std::string> roots = SearchRoots();
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
  decision->inputPath = Compose(roots[static_cast<size_t>(step.inputRoot)], step.dir, step.name);
  std::optional<platform::FileStatus> input = platform::StatFile(decision->inputPath);
  decision->found = input.has_value();
  if (input) decision->input = *input;
  decision->hasOptionFile = decision->found && step.optionRoot >= 0;
  if (decision->hasOptionFile) {
    decision->optionPath =
        Compose(roots[static_cast<size_t>(step.optionRoot)], step.dir, step.name + ".option");
  }
}

void BatchTool::Judge(const DecisionOptions& options, Decision* decision) {
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
  decision->reqPath = platform::JoinPath(drive, directory, parts.name + "." + extension, "req");
  if (decision->hasOptionFile) decision->optionTimeNs = GetFileTime(decision->optionPath);
  decision->facts = FactsOf(*decision, options);
  decision->munge = !options.skipInput && NeedsMunge(options.checkDate, *decision);
  decision->upToDate = !options.skipInput && !decision->munge;
  // A FIFO or a device would keep the conversion waiting, or reading, for
  // ever; a directory is no script.
  decision->regular = decision->input.isRegular;
  decision->judged = true;
}

void BatchTool::StartUpcoming() {
  // One at a time, each input's work starts at its turn.
  if (jobs <= 1) return;
  // Far enough ahead to keep every compiler busy past inputs that need no
  // work; the tool says when it takes no more.
  const size_t reach = 4 * static_cast<size_t>(jobs) + 16;
  for (size_t k = 0; k < reach && current + 1 + k < steps.size(); ++k) {
    const WalkStep& step = steps[current + 1 + k];
    if (step.kind == WalkStep::Kind::Fatal) break;  // nothing after it runs
    if (k == window.size()) {
      window.emplace_back();
      if (step.kind == WalkStep::Kind::Input) {
        Locate(step, &window.back());
        // By the command line's options: an input's option file is read
        // only at its turn, which then takes the decision again.
        if (window.back().found && (judgeOptionFilesAhead || !window.back().hasOptionFile))
          Judge(commandLineOptions, &window.back());
      }
    }
    Decision& decision = window[k];
    if (!decision.judged || !decision.munge || !decision.regular || decision.started) continue;
    if (!StartAhead(decision.inputPath, decision.outputPath)) break;
    decision.started = true;
  }
}

void BatchTool::ForgetDecisionsAbout(const Decision& written) {
  std::string outputName = LastName(written.outputPath);
  std::string reqName = LastName(written.reqPath);
  for (Decision& decision : window) {
    if (!decision.located) continue;
    std::string inputName = LastName(decision.inputPath);
    bool lookedAt = false;
    for (const std::string& name :
         {inputName, inputName + ".option", LastName(decision.outputPath)}) {
      if (!name.empty() && (name == outputName || name == reqName)) lookedAt = true;
    }
    if (!lookedAt) continue;
    if (decision.started) DropAhead(decision.inputPath, decision.outputPath);
    decision = Decision();
  }
}

void BatchTool::MungeInput(const std::string& dir, const std::string& name) {
  Decision decision;
  Locate({WalkStep::Kind::Input, dir, name, std::string()}, &decision);
  MungeDecided(dir, name, std::move(decision));
}

void BatchTool::MungeDecided(const std::string&, const std::string&, Decision decision) {
  if (!decision.found) {
    RaiseOrContinue(
        FormatMessage("Input file %s does not exist.", Printable(decision.inputPath).c_str()));
    return;
  }
  if (decision.hasOptionFile) {
    try {
      ReadOptionFile(decision.optionPath.c_str());
    } catch (HandyException error) {
      if (decision.started) DropAhead(decision.inputPath, decision.outputPath);
      RestoreCommandLineOptions();
      if (!continueOnError) throw error;
      ReportError("%s [continuing]\n", error.GetMessage());
      return;
    }
  }
  // A decision taken ahead holds unless it was taken without the input's
  // option file or what the tool makes has changed since (an earlier
  // option file may have switched a mode on for good).
  if (decision.judged &&
      (decision.hasOptionFile || FactsOf(decision, CurrentDecisionOptions()) != decision.facts))
    decision.judged = false;
  if (!decision.judged) {
    std::string startedFor = decision.outputPath;
    Judge(CurrentDecisionOptions(), &decision);
    // Work started for another output, or for none, is not wanted.
    if (decision.started && (!decision.munge || decision.outputPath != startedFor)) {
      DropAhead(decision.inputPath, startedFor);
      decision.started = false;
      if (decision.hasOptionFile) judgeOptionFilesAhead = false;
    }
  }
  const std::string& inputPath = decision.inputPath;
  const std::string& outputPath = decision.outputPath;
  const std::string& reqPath = decision.reqPath;
  platform::PathParts parts = platform::SplitPath(inputPath);

  PrintDebug("Considering [%s]\n", Printable(inputPath).c_str());
  if (!skipInput && WritesOverItsInput(decision)) {
    if (decision.started) DropAhead(inputPath, outputPath);
    RestoreCommandLineOptions();
    return;
  }
  if (decision.upToDate) PrintDebug("%s is up to date\n", Printable(outputPath).c_str());

  if (decision.munge) {
    if (!decision.regular) {
      RestoreCommandLineOptions();
      RaiseOrContinue(
          FormatMessage("Input file %s is not a regular file.", Printable(inputPath).c_str()));
      return;
    }
    PrintNormal("Munging %s%s\n", Printable(parts.name).c_str(), Printable(parts.ext).c_str());
    currentOutput = outputPath;
    ToolFile outputFile;
    ToolFile reqFile;
    // Whatever happens to this input, the decisions ahead that looked at
    // its outputs are taken again.
    struct Forget {
      BatchTool& tool;
      const Decision& written;
      ~Forget() { tool.ForgetDecisionsAbout(written); }
    } forget{*this, decision};
    bool handedToTool = false;
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
            handedToTool = true;
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
        if (std::optional<platform::FileStatus> made = platform::StatFile(outputPath)) {
          RecordOf(outputPath).Add(LastName(outputPath), {made->timeNs, made->size, decision.facts});
        }
      }
    } catch (HandyException error) {
      if (decision.started && !handedToTool) DropAhead(inputPath, outputPath);
      outputFile.Abandon();
      reqFile.Abandon();
      RemoveFile(outputPath);
      RemoveFile(reqPath);
      RestoreCommandLineOptions();
      if (!continueOnError) throw error;
      ReportError("%s [continuing]\n", error.GetMessage());
      return;
    }
  } else if (decision.started) {
    DropAhead(inputPath, outputPath);
  }
  // Only an option file or a munge changes the options.
  if (decision.hasOptionFile || decision.munge) RestoreCommandLineOptions();
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
  // An entry speaks for the very file it was written for; an output
  // without one goes by the dates alone.
  const RecordEntry* entry = RecordOf(decision.outputPath).Find(LastName(decision.outputPath));
  if (entry != nullptr && entry->outputTimeNs == outputTime && entry->outputSize == output->size &&
      entry->facts != decision.facts) {
    return true;
  }
  return IsOutOfDate(decision.inputPath.c_str(), outputTime);
}
