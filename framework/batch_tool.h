// The application base of every tool: the standard options, the layered
// input roots, the run sequence over one command line, input discovery and
// the per-file procedure around the tool's own conversion.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "framework/build_record.h"
#include "framework/tool_string.h"
#include "platform/platform.h"

class ChunkWriter;

// The values of every `name` option (lowered) in an argument list, in
// order, as given; one empty value for each such option given without one.
std::vector<std::string> OptionValues(int32_t count, const char* const* arguments,
                                      const char* name);

// Platform codes of "-platform".
enum PlatformCode : int32_t {
  kPlatformPs2 = 0,
  kPlatformXbox = 1,
  kPlatformPc = 2,
  kPlatformNone = 3,
};

// Thrown when an interrupt stops the run; the outputs being written are
// abandoned, older ones are left as they were.
struct RunInterrupted {};

// The standard options. The command line's are one value, kept for the
// whole run; an input's are a copy of it with the input's option file
// applied, and end with its turn. Work done ahead for later inputs sees
// the command line's only.
struct BatchOptions {
  ToolString sourceDir;
  ToolString platformDir;
  ToolString outputDir;
  bool checkDate = false;
  bool textOutput = false;
  bool skipInput = false;
  bool continueOnError = false;
  // The last level option of the list ("-quiet" 0 ... "-debug" 3), if any.
  std::optional<int> consoleLevel;
  // The options handed to the tool's ParseOption, in order.
  std::vector<std::pair<ToolString, ToolString>> toolOptions;
};

class BatchTool {
 public:
  BatchTool();
  virtual ~BatchTool();
  BatchTool(const BatchTool&) = delete;
  BatchTool& operator=(const BatchTool&) = delete;

  // Converts one input. `inputPath` is the path as found, `name` the file
  // name without directory and extension, in lower case.
  virtual void MungeFile(ChunkWriter* writer, ChunkWriter* reqWriter,
                         ToolString& inputPath, ToolString& name) = 0;
  // Extension of the output files, without the dot.
  virtual ToolString GetOutputExtension() = 0;
  // Receives every option that is not a standard one, once per value.
  virtual void ParseOption(const ToolString& option, const ToolString& value);
  virtual void ResetToolOptions();
  // Asked under "-checkdate" when the output looks up to date; the time is
  // in nanoseconds since 1970.
  virtual bool IsOutOfDate(const char* inputPath, int64_t outputTime);

  // What else, besides the input, its option file, the program and the
  // form, decides what the tool writes (its compiler, say); an output made
  // with other facts is remade under "-checkdate". Asked for every input.
  virtual const std::string& ConversionFacts();

  // Work that a tool can do ahead for step `step` of the run, before its
  // turn, when it will be munged with the command line's options into
  // `outputPath`. It may print, write or delete nothing that its input's
  // turn would not. False when the tool takes no more for now.
  virtual bool StartAhead(size_t step, const std::string& inputPath,
                          const std::string& outputPath);
  // Drops such work: the step will not use it.
  virtual void DropAhead(size_t step);

  // The run sequence over argv (argument 0 is the program name).
  void Run(int32_t argc, const char* const* argv);

  // Option passes (options.cpp). ParseOptions applies a list on top of
  // `options`.
  void ParsePlatform(int32_t count, const char* const* arguments);
  // "-jobs", from the command line only.
  void ParseJobs(int32_t count, const char* const* arguments);
  // The tool's own options that only the command line sets; called once a
  // run, after "-jobs", and may raise a fatal error.
  virtual void ParseCommandLineOnly(int32_t count, const char* const* arguments);
  void ParseOptions(int32_t count, const char* const* arguments, BatchOptions* options);
  void HandleStandardOption(const ToolString& name, const ToolString& value,
                            BatchOptions* options);
  void SetPlatform(const ToolString& value);

  // Per-input option files (option_file.cpp): applies the file on top of
  // `options`. False, after raising or reporting it, when the file cannot
  // be read: the input is then not munged.
  bool ReadOptionFile(const char* path, BatchOptions* options);

  // The options in force: the current input's during its turn, the
  // command line's otherwise.
  const BatchOptions& Options() const { return *inForce; }
  // The run's step whose turn it is.
  size_t CurrentStep() const { return current; }

  // Input discovery (input_discovery.cpp). During the run's walk the inputs
  // found become steps of the run; called on their own, each input found
  // is munged at once.
  void InputFileOption(const char* value);
  // `inputRoot` and `optionRoot` index the search roots: the roots that
  // hold the input and its option file, when a listing told (-1: none
  // holds an option file); kUnknownRoot: to be looked for.
  static constexpr int kUnknownRoot = -2;
  void AddInput(const std::string& dir, const std::string& name, int inputRoot = kUnknownRoot,
                int optionRoot = kUnknownRoot);
  void ReadInputList(const char* path);
  void SearchDirectory(const std::string& dir, const std::string& pattern);
  void SearchDirectoryRecursive(const std::string& dir, const std::string& pattern);

  // The per-file procedure (munge_input.cpp).
  void MungeInput(const std::string& dir, const std::string& name);

  // Builds the override directories from the platform directory and the
  // two environment variables (run_sequence.cpp).
  void BuildOverrideDirs();

  std::vector<ToolString> overrideDirs;
  int64_t toolFileTime = 0;  // nanoseconds since 1970
  int32_t platform = kPlatformNone;
  // At most this many inputs are worked on at once ("-jobs").
  int32_t jobs = 1;
  // The output of the input being munged.
  std::string currentOutput;

 private:
  // One step of the run, found by the input walk before any is munged.
  struct WalkStep {
    enum class Kind { Input, Report, Fatal } kind;
    std::string dir;   // Input: where and what to munge
    std::string name;
    std::string message;  // Report: an error to report; Fatal: the error that ends the run
    int inputRoot = kUnknownRoot;
    int optionRoot = kUnknownRoot;
  };
  // A root's directory as the walk listed it, once per run.
  struct DirListing {
    std::vector<platform::DirEntry> entries;
    std::unordered_set<std::string> lowerNames;  // files and directories
    std::unordered_set<std::string> optionsOf;   // lowered names that have an option file
  };
  // What the per-file procedure decides for one input. A decision taken
  // ahead of its turn is dropped when an input before it writes a file
  // that it looked at.
  struct Decision {
    bool located = false;
    bool found = false;
    std::string inputPath;  // the last candidate tried when not found
    platform::FileStatus input;
    int64_t optionTimeNs = 0;
    uint64_t facts = 0;  // what the output is made from
    size_t factsAt = 0;  // option files applied when the facts were taken
    bool hasOptionFile = false;
    std::string optionPath;
    bool judged = false;  // the rest is known
    std::string outputPath;
    bool munge = false;
    bool started = false;  // the tool's work was started ahead
    std::string ReqPath() const { return outputPath + ".req"; }
  };

  void Locate(const WalkStep& step, Decision* decision);
  void Judge(const BatchOptions& options, Decision* decision);
  // Decides the steps after the current one and offers the tool the work
  // of those that will be munged.
  void DecideAhead();
  // Drops the decisions ahead that looked at the files written for the
  // current input.
  void ForgetDecisionsAbout(const Decision& written);
  void MungeDecided(Decision decision);
  void WriteOutputs(const BatchOptions& options, const Decision& decision);
  // Gives the tool back the command line's options after an input whose
  // option file changed them.
  void RestoreToolOptions();
  // The "-checkdate" rule for a located input: the date rule, and the
  // entry its output's build record holds.
  bool NeedsMunge(bool checkDate, const Decision& decision);
  uint64_t FactsOf(const Decision& decision, const BatchOptions& options);
  // The hash of `path` as the build record spells it.
  uint64_t HashRecordedPath(const std::string& path);
  BuildRecord& RecordOf(const std::string& outputPath);
  // True, after raising or reporting it, when the input's outputs would
  // replace the input or its option file.
  bool WritesOverItsInput(const Decision& decision);
  const DirListing& ListOnce(const std::string& root, const std::string& dir);
  // False, after reporting it, for a listed name that Windows could not
  // hold: it is never taken apart as a path.
  bool Usable(const std::string& root, const std::string& dir, const std::string& name);
  // Raises `message` as a fatal error, or with the command line's
  // "-continue" reports it with " [continuing]\n" and returns. While the
  // walk runs, only notes it.
  void RaiseOrContinue(const std::string& message);
  // Notes an error for the walk's place in the run.
  void WalkReport(const std::string& text);

  BatchOptions commandLine;
  const BatchOptions* inForce = &commandLine;
  // The roots in the order in which an input is looked for: override
  // directories, platform directory, source directory ("" when absent).
  // The command line's, for the whole run.
  std::vector<std::string> roots;
  // The current folder, for paths in the build records that do not
  // depend on where the run was started.
  std::string workingFolder;
  // The hashes of folders' paths as the build record spells them, ready
  // for a name, by the text that named them: worked out once per folder.
  std::map<std::string, uint64_t, std::less<>> recordedFolders;
  // The tool's facts as last asked for, and their hash.
  std::string conversionFacts;
  uint64_t conversionHash = 0;

  // The run's steps, the current one, and the decisions taken ahead for
  // the steps after it (window[k] is for step current + 1 + k).
  std::vector<WalkStep> steps;
  bool walking = false;
  size_t current = 0;
  std::deque<Decision> window;
  // How many decisions at the window's front DecideAhead has passed: none
  // of them can be started ahead any more (a decision taken again is taken
  // only at its turn).
  size_t settledAhead = 0;
  // Inputs with option files are decided ahead by the command line's
  // options until one's own options change its decision: work started
  // for it would then be wasted on every such input.
  bool judgeOptionFilesAhead = true;
  // Option files applied so far: only one can change what the tool
  // makes, so facts taken at the same count still hold.
  size_t optionFilesApplied = 0;

  // List files being read, outermost first, to refuse a list that names
  // itself.
  std::vector<std::string> openLists;
  // Folders reported as impossible to list (lower case), so that neither
  // they nor what lies in them is reported again.
  std::vector<std::string> unlistedDirs;
  // The build records of the output folders, by lowered folder path.
  std::map<std::string, std::unique_ptr<BuildRecord>> records;
  BuildRecord* lastRecord = nullptr;
  std::string lastRecordFolder;  // as the last output named it
  // The walk's listings, by lowered directory path.
  std::unordered_map<std::string, DirListing> listings;
  // Directory identities of each level of the current recursive search,
  // one per root ("" where the root lacks the directory).
  std::vector<std::vector<std::string>> recursionChain;
};

