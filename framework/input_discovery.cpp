// Input discovery: each "-inputfile" value becomes inputs to munge, one for
// each of the files it names, found in the union of the layered roots. Each name is
// handed on once per directory search, by the last root in the order
// source, platform, override 1 .. n that holds it; MungeInput then reads
// the copy of the first root in its own order.
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "framework/batch_tool.h"
#include "framework/tokenizer.h"
#include "output/messages.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// Deep enough for any real tree of lists, shallow enough that the
// recursion cannot exhaust the stack.
constexpr size_t kMaxListNesting = 256;

std::string Under(const std::string& root, const std::string& dir, const std::string& name) {
  return root.empty() ? dir + "\\" + name : root + "\\" + dir + "\\" + name;
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The full path of a list, spelled one way: lower case, "." and ".."
// resolved.
std::string ListKey(const char* path) {
  std::string full = platform::ToLowerAscii(platform::MakeFullPath(path).value_or(path));
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= full.size(); ++i) {
    if (i < full.size() && !platform::IsSeparator(full[i])) {
      part += full[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string key;
  for (const std::string& p : parts) key += "\\" + p;
  return key;
}

using Reporter = std::function<void(const std::string&)>;

// A listing for discovery. A folder that is there but cannot be listed is
// reported as an error, once, also for what lies in it, and the walk goes
// on without it: its inputs are missing, which must not pass in silence.
std::vector<platform::DirEntry> ListInputs(const std::string& pattern,
                                           std::vector<std::string>& unlisted,
                                           const Reporter& report) {
  std::string error;
  std::vector<platform::DirEntry> entries = platform::ListDirectory(pattern, &error);
  if (error.empty()) return entries;
  size_t separator = pattern.find_last_of("\\/");
  std::string dir = separator == std::string::npos ? "." : pattern.substr(0, separator);
  std::string key = platform::ToLowerAscii(dir);
  for (char& c : key) {
    if (platform::IsSeparator(c)) c = '\\';
  }
  for (const std::string& known : unlisted) {
    if (key.compare(0, known.size(), known) == 0 &&
        (key.size() == known.size() || platform::IsSeparator(key[known.size()]))) {
      return entries;
    }
  }
  unlisted.push_back(key);
  report(FormatMessage("Input directory %s: cannot be listed (%s), passed over.\n",
                       Printable(dir).c_str(), Printable(error).c_str()));
  return entries;
}

std::vector<std::string> FileNames(const std::string& pattern, std::vector<std::string>& unlisted,
                                   const Reporter& report) {
  std::vector<std::string> names;
  for (platform::DirEntry& entry : ListInputs(pattern, unlisted, report)) {
    if (!entry.isDirectory) names.push_back(std::move(entry.name));
  }
  return names;
}

// A root's subdirectories of one relative directory, each with the mark
// that says whether the recursion has accounted for it.
struct RecordedDirs {
  std::vector<std::string> names;
  std::vector<bool> handled;

  RecordedDirs() = default;
  RecordedDirs(const std::string& pattern, std::vector<std::string>& unlisted,
               const Reporter& report) {
    for (platform::DirEntry& entry : ListInputs(pattern, unlisted, report)) {
      if (!entry.isDirectory) continue;
      handled.push_back(IsDotEntry(entry.name));
      names.push_back(std::move(entry.name));
    }
  }
  void MarkFirst(const std::string& name) {
    for (size_t k = 0; k < names.size(); ++k) {
      if (!handled[k] && platform::EqualsIgnoreCase(names[k], name)) {
        handled[k] = true;
        return;
      }
    }
  }
};

// Pops the list that is being read, also when reading it fails.
class OpenListGuard {
 public:
  explicit OpenListGuard(std::vector<std::string>& lists) : lists(lists) {}
  ~OpenListGuard() { lists.pop_back(); }
  OpenListGuard(const OpenListGuard&) = delete;
  OpenListGuard& operator=(const OpenListGuard&) = delete;

 private:
  std::vector<std::string>& lists;
};

}  // namespace

void BatchTool::InputFileOption(const char* value) {
  std::string text = value;
  if (!text.empty() && text[0] == '@') {
    ReadInputList(text.c_str() + 1);
    return;
  }
  bool recursive = !text.empty() && text[0] == '!';
  std::string pattern = recursive ? text.substr(1) : text;

  size_t wildcard = pattern.find_first_of("*?");
  size_t separator = pattern.find_last_of("\\/");
  if (wildcard != std::string::npos && separator != std::string::npos && wildcard < separator) {
    RaiseOrContinue(
        FormatMessage("Input file option %s: wildcards for directories are not supported.",
                      Printable(value).c_str()));
    return;
  }
  if (wildcard != std::string::npos) {
    std::string dir = separator == std::string::npos ? "." : pattern.substr(0, separator);
    std::string filePattern =
        separator == std::string::npos ? pattern : pattern.substr(separator + 1);
    if (recursive) {
      SearchDirectoryRecursive(dir, filePattern);
    } else {
      SearchDirectory(dir, filePattern);
    }
    return;
  }
  if (recursive) {
    if (!continueOnError) {
      RaiseOrContinue(FormatMessage(
          "Input file option %s: recursive '!' must be followed by wildcard.",
          Printable(value).c_str()));
      return;
    }
    WalkReport(FormatMessage(
        "Input file option %s: recursive ! must be followed by wildcard. [continuing]\n",
        Printable(value).c_str()));
    return;
  }
  AddInput(".", text);
}

void BatchTool::AddInput(const std::string& dir, const std::string& name) {
  if (!walking) {
    MungeInput(dir, name);
    return;
  }
  steps.push_back({WalkStep::Kind::Input, dir, name, std::string()});
}

void BatchTool::WalkReport(const std::string& text) {
  if (!walking) {
    ReportError("%s", text.c_str());
    return;
  }
  steps.push_back({WalkStep::Kind::Report, std::string(), std::string(), text});
}

void BatchTool::ReadInputList(const char* path) {
  // The file itself when it can be named, so that a link to a list is the
  // list; otherwise its spelling.
  std::optional<std::string> identity = platform::FileIdentity(path);
  std::string key = identity ? "id:" + *identity : ListKey(path);
  for (const std::string& open : openLists) {
    if (open == key) {
      RaiseOrContinue(FormatMessage("Input file @%s: list names itself.", Printable(path).c_str()));
      return;
    }
  }
  if (openLists.size() >= kMaxListNesting) {
    RaiseOrContinue(FormatMessage("Input file @%s: lists nested more than %zu deep.",
                                  Printable(path).c_str(), kMaxListNesting));
    return;
  }

  std::optional<std::string> text = platform::ReadTextFile(path);
  if (!text) {
    RaiseOrContinue(FormatMessage("Input file @%s: can't load file.", Printable(path).c_str()));
    return;
  }
  std::vector<std::string> tokens;
  try {
    tokens = Tokenize(*text);
  } catch (const std::bad_alloc&) {
    RaiseOrContinue(FormatMessage("Input file @%s: out of memory for parsing file.",
                                  Printable(path).c_str()));
    return;
  }
  text.reset();

  openLists.push_back(key);
  OpenListGuard guard(openLists);
  for (const std::string& token : tokens) InputFileOption(token.c_str());
}

void BatchTool::SearchDirectory(const std::string& dir, const std::string& pattern) {
  Reporter report = [this](const std::string& text) { WalkReport(text); };
  std::vector<std::string> overrides;
  for (const ToolString& overrideDir : overrideDirs) overrides.push_back(overrideDir.Text());
  std::string platformRoot = platformDir.Text();
  bool hasPlatform = platformDir.NotEmpty();

  auto inOverrideFrom = [&](size_t first, const std::string& name) {
    for (size_t j = first; j < overrides.size(); ++j) {
      if (FileExists(Under(overrides[j], dir, name))) return true;
    }
    return false;
  };

  for (const std::string& name :
       FileNames(Under(sourceDir.Text(), dir, pattern), unlistedDirs, report)) {
    if (inOverrideFrom(0, name)) continue;
    if (hasPlatform && FileExists(Under(platformRoot, dir, name))) continue;
    AddInput(dir, name);
  }
  if (hasPlatform) {
    for (const std::string& name :
         FileNames(Under(platformRoot, dir, pattern), unlistedDirs, report)) {
      if (!inOverrideFrom(0, name)) AddInput(dir, name);
    }
  }
  for (size_t i = 0; i < overrides.size(); ++i) {
    for (const std::string& name :
         FileNames(Under(overrides[i], dir, pattern), unlistedDirs, report)) {
      if (!inOverrideFrom(i + 1, name)) AddInput(dir, name);
    }
  }
}

void BatchTool::SearchDirectoryRecursive(const std::string& dir, const std::string& pattern) {
  Reporter report = [this](const std::string& text) { WalkReport(text); };
  // A directory that is its own ancestor in some root (a link loop) would
  // make the search go on without end.
  std::vector<std::string> roots = SearchRoots();
  std::vector<std::string> identities;
  for (const std::string& root : roots) {
    std::string path = root.empty() ? dir : root + "\\" + dir;
    identities.push_back(platform::DirectoryIdentity(path).value_or(""));
  }
  for (const std::vector<std::string>& level : recursionChain) {
    for (size_t r = 0; r < roots.size() && r < level.size(); ++r) {
      if (!identities[r].empty() && identities[r] == level[r]) {
        std::string path = roots[r].empty() ? dir : roots[r] + "\\" + dir;
        WalkReport(FormatMessage("Input directory %s: link loop, passed over.\n",
                                 Printable(path).c_str()));
        return;
      }
    }
  }
  recursionChain.push_back(identities);
  struct ChainGuard {
    std::vector<std::vector<std::string>>& chain;
    ~ChainGuard() { chain.pop_back(); }
  } chainGuard{recursionChain};

  SearchDirectory(dir, pattern);

  std::vector<RecordedDirs> overrides;
  for (const ToolString& overrideDir : overrideDirs)
    overrides.emplace_back(Under(overrideDir.Text(), dir, "*"), unlistedDirs, report);
  bool hasPlatform = platformDir.NotEmpty();
  RecordedDirs platformDirs;
  if (hasPlatform)
    platformDirs = RecordedDirs(Under(platformDir.Text(), dir, "*"), unlistedDirs, report);

  for (platform::DirEntry& entry :
       ListInputs(Under(sourceDir.Text(), dir, "*"), unlistedDirs, report)) {
    if (!entry.isDirectory || IsDotEntry(entry.name)) continue;
    for (RecordedDirs& recorded : overrides) recorded.MarkFirst(entry.name);
    platformDirs.MarkFirst(entry.name);
    SearchDirectoryRecursive(dir + "\\" + entry.name, pattern);
  }
  auto searchUnhandled = [&](RecordedDirs& recorded) {
    for (size_t k = 0; k < recorded.names.size(); ++k) {
      if (recorded.handled[k]) continue;
      recorded.handled[k] = true;
      SearchDirectoryRecursive(dir + "\\" + recorded.names[k], pattern);
    }
  };
  for (RecordedDirs& recorded : overrides) searchUnhandled(recorded);
  searchUnhandled(platformDirs);
}
