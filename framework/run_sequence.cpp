// The run over one command line: logging start, the tool's own time, the
// option passes, the override directories, and the walk over the inputs.
#include <ctime>
#include <string>

#include "framework/batch_tool.h"
#include "framework/usage_text.h"
#include "output/messages.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

BatchTool::BatchTool() = default;
BatchTool::~BatchTool() = default;

void BatchTool::ParseOption(const ToolString&, const ToolString&) {}
void BatchTool::ResetToolOptions() {}
bool BatchTool::IsOutOfDate(const char*, int64_t) { return false; }
const std::string& BatchTool::ConversionFacts() {
  static const std::string none;
  return none;
}
bool BatchTool::StartAhead(size_t, const std::string&, const std::string&) { return false; }
void BatchTool::DropAhead(size_t) {}

namespace {

// Ends the input walk at a fatal error: nothing after it is looked for.
struct WalkStopped {};

void LogStartTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (const std::tm* converted = std::localtime(&now)) local = *converted;
  char clock[16];
  char date[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  std::strftime(date, sizeof date, "%m/%d/%y", &local);
  PrintToLog("%s", clock);
  PrintToLog("%s\n", date);
}

}  // namespace

void BatchTool::Run(int32_t argc, const char* const* argv) {
  // The run sees the tree as it first looked at it, plus its own changes.
  platform::NameCache names;
  try {
    std::string fullName = platform::GetExecutablePath();
    platform::PathParts self = platform::SplitPath(fullName);

    OpenToolLog(argc > 0 ? argv[0] : self.name.c_str(), 2, false);
    PrintToLog("Logging %s\n", self.name.c_str());
    LogStartTime();

    // The program as the system reports it, extension and all.
    std::optional<platform::FileStatus> program = platform::StatFile(fullName);
    toolFileTime = program ? program->timeNs : 0;
    workingFolder = platform::MakeFullPath(".").value_or(".");

    const char* const* args = argc > 1 ? argv + 1 : nullptr;
    int32_t argCount = argc > 1 ? argc - 1 : 0;
    int32_t inputCount = 0;

    ParsePlatform(argCount, args);
    ParseJobs(argCount, args);
    ParseCommandLineOnly(argCount, args);
    ResetToolOptions();
    commandLine = BatchOptions();
    inForce = &commandLine;
    ParseOptions(argCount, args, &commandLine);

    overrideDirs.clear();
    if (commandLine.platformDir.NotEmpty()) BuildOverrideDirs();
    roots.clear();
    for (const ToolString& dir : overrideDirs) roots.push_back(dir.Text());
    if (commandLine.platformDir.NotEmpty()) roots.push_back(commandLine.platformDir.Text());
    roots.push_back(commandLine.sourceDir.Text());

    // The inputs are all found first, so that the work for those to come
    // can start while one is written; what the walk has to report keeps
    // its place among them.
    steps.clear();
    listings.clear();
    walking = true;
    try {
      ToolString option;
      for (int32_t i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
          option = ToolString(argv[i]).ToLower();
        } else if (option == "-inputfile") {
          ++inputCount;
          InputFileOption(ToolString(argv[i]).ToLower().Text());
        }
      }
    } catch (WalkStopped) {
    }
    walking = false;
    listings.clear();

    window.clear();
    settledAhead = 0;
    judgeOptionFilesAhead = true;
    // The first steps are decided before the first turn, so that their
    // compilers start with the first one's (window[k] is for step k here).
    current = static_cast<size_t>(-1);
    DecideAhead();
    for (current = 0; current < steps.size(); ++current) {
      if (platform::Interrupted()) throw RunInterrupted();
      WalkStep& step = steps[current];
      Decision decision;
      if (!window.empty()) {
        decision = std::move(window.front());
        window.pop_front();
        if (settledAhead > 0) --settledAhead;
      }
      switch (step.kind) {
        case WalkStep::Kind::Input:
          if (!decision.located) Locate(step, &decision);
          MungeDecided(std::move(decision));
          break;
        case WalkStep::Kind::Report:
          ReportError("%s", step.message.c_str());
          break;
        case WalkStep::Kind::Fatal:
          throw HandyException("%s", step.message.c_str());
      }
      DecideAhead();
    }

    if (inputCount == 0) PrintNormal(kUsageText, self.name.c_str(), self.name.c_str());
  } catch (HandyException error) {
    ReportError("%s\n", error.GetMessage());
  } catch (RunInterrupted) {
    ReportError("Interrupted.\n");
  }
  // Work started ahead for inputs that never came is not wanted, nor that
  // of an input that failed.
  if (current < steps.size()) DropAhead(current);
  for (size_t k = 0; k < window.size(); ++k) {
    if (window[k].started) DropAhead(current + 1 + k);
  }
  window.clear();
  steps.clear();
  records.clear();
  lastRecord = nullptr;
  CloseLogs();
}

void BatchTool::BuildOverrideDirs() {
  std::string marker = platform::GetEnv("MUNGE_PLATFORM_DIR_STR").value_or("");
  std::string entries = platform::GetEnv("MUNGE_PLATFORM_OVERRIDE_STR").value_or("");
  const ToolString& platformDir = commandLine.platformDir;
  std::string platformText = platformDir.Text();
  size_t position = platformText.find(marker);
  if (position == std::string::npos) return;
  ToolString begin = platformDir.Substring(0, static_cast<int32_t>(position));
  ToolString end = platformDir.Substring(static_cast<int32_t>(position + marker.size()),
                                         platformDir.Length());
  for (const std::string& piece : platform::SplitList(entries, ';')) {
    if (!piece.empty()) overrideDirs.push_back(begin + ToolString(piece.c_str()) + end);
  }
}

void BatchTool::RaiseOrContinue(const std::string& message) {
  if (walking) {
    if (commandLine.continueOnError) {
      steps.push_back({WalkStep::Kind::Report, std::string(), std::string(),
                       message + " [continuing]\n"});
      return;
    }
    steps.push_back({WalkStep::Kind::Fatal, std::string(), std::string(), message});
    throw WalkStopped();
  }
  if (!commandLine.continueOnError) throw HandyException("%s", message.c_str());
  ReportError("%s [continuing]\n", message.c_str());
}
