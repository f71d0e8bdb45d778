// Input discovery: each "-inputfile" value becomes inputs to munge, one for
// each of the files it names, found in the union of the layered roots. Each name is
// handed on once per directory search, by the last root in the order
// source, platform, override 1 .. n that holds it; MungeInput then reads
// the copy of the first root in its own order.
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "framework/arguments.h"
#include "framework/batch_tool.h"
#include "framework/input_paths.h"
#include "output/messages.h"
#include "platform/path_rules.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// Deep enough for any real tree of lists, shallow enough that the
// recursion cannot exhaust the stack.
constexpr size_t kMaxListNesting = 256;

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The full path of a list, spelled one way.
std::string ListKey(const char* path) {
  return CanonicalKey(platform::MakeFullPath(path).value_or(path));
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
  size_t separator = platform::LastSeparator(pattern);
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

// A root's subdirectories of one relative directory, each with the mark
// that says whether the recursion has accounted for it.
struct RecordedDirs {
  std::vector<std::string> names;
  std::vector<bool> handled;

  RecordedDirs() = default;
  explicit RecordedDirs(const std::vector<platform::DirEntry>& entries) {
    for (const platform::DirEntry& entry : entries) {
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
  size_t separator = platform::LastSeparator(pattern);
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
    if (!commandLine.continueOnError) {
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

void BatchTool::AddInput(const std::string& dir, const std::string& name, int inputRoot,
                         int optionRoot) {
  if (!walking) {
    MungeInput(dir, name);
    return;
  }
  steps.push_back({WalkStep::Kind::Input, dir, name, std::string(), inputRoot, optionRoot});
}

const BatchTool::DirListing& BatchTool::ListOnce(const std::string& root, const std::string& dir) {
  std::string pattern = UnderRoot(root, dir, "*");
  // By the exact spelling: folders whose names differ only in letter case
  // are each listed.
  auto [listing, added] = listings.try_emplace(pattern);
  if (added) {
    Reporter report = [this](const std::string& text) { WalkReport(text); };
    listing->second.entries = ListInputs(pattern, unlistedDirs, report);
    constexpr std::string_view kOption = ".option";
    for (const platform::DirEntry& entry : listing->second.entries) {
      std::string lower = platform::ToLowerAscii(entry.name);
      if (lower.size() > kOption.size() && lower.ends_with(kOption))
        listing->second.optionsOf.insert(lower.substr(0, lower.size() - kOption.size()));
      listing->second.lowerNames.insert(std::move(lower));
    }
  }
  return listing->second;
}

bool BatchTool::Usable(const std::string& root, const std::string& dir, const std::string& name) {
  if (IsPortableName(name)) return true;
  WalkReport(FormatMessage("Input file %s: a name Windows cannot hold, passed over.\n",
                           Printable(UnderRoot(root, dir, name)).c_str()));
  return false;
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
    tokens = SplitArguments(*text, Blanks::WhiteSpace);
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
  // Roots in their search order: overrides, platform, source. Each
  // directory is listed once per root; who holds a name is told by the
  // listings, so that no name costs a look of its own.
  std::vector<const DirListing*> listed;
  for (const std::string& root : roots) listed.push_back(&ListOnce(root, dir));
  const size_t overrides = overrideDirs.size();
  const size_t source = roots.size() - 1;
  auto firstHolder = [&](const std::string& lowerName, size_t from, size_t to,
                         bool option = false) {
    for (size_t r = from; r < to; ++r) {
      const auto& names = option ? listed[r]->optionsOf : listed[r]->lowerNames;
      if (!names.empty() && names.count(lowerName)) return static_cast<int>(r);
    }
    return -1;
  };
  // A name goes on from the last root in the order source, platform,
  // override 1 .. n that holds it, read from the first in search order.
  auto handOn = [&](size_t root, size_t laterFrom, size_t laterTo) {
    for (const platform::DirEntry& entry : listed[root]->entries) {
      // The build record lives among the outputs, which may be the inputs' folder.
      if (entry.isDirectory || platform::EqualsIgnoreCase(entry.name, BuildRecord::kFileName) ||
          !platform::WildcardMatch(pattern, entry.name) || !Usable(roots[root], dir, entry.name)) {
        continue;
      }
      std::string lowerName = platform::ToLowerAscii(entry.name);
      if (firstHolder(lowerName, laterFrom, laterTo) >= 0) continue;
      // No root between the earlier ones and this one holds it.
      int inputRoot = firstHolder(lowerName, 0, laterFrom);
      AddInput(dir, entry.name, inputRoot >= 0 ? inputRoot : static_cast<int>(root),
               firstHolder(lowerName, 0, roots.size(), true));
    }
  };
  handOn(source, 0, source);
  if (commandLine.platformDir.NotEmpty()) handOn(source - 1, 0, overrides);
  for (size_t i = 0; i < overrides; ++i) handOn(i, i + 1, overrides);
}

void BatchTool::SearchDirectoryRecursive(const std::string& dir, const std::string& pattern) {
  // A directory that is its own ancestor in some root (a link loop) would
  // make the search go on without end.
  std::vector<std::string> identities;
  for (const std::string& root : roots) {
    std::string path = root.empty() ? dir : root + "\\" + dir;
    identities.push_back(platform::FileIdentity(path).value_or(""));
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
    overrides.emplace_back(ListOnce(overrideDir.Text(), dir).entries);
  RecordedDirs platformDirs;
  if (commandLine.platformDir.NotEmpty())
    platformDirs = RecordedDirs(ListOnce(commandLine.platformDir.Text(), dir).entries);

  for (const platform::DirEntry& entry : ListOnce(commandLine.sourceDir.Text(), dir).entries) {
    if (!entry.isDirectory || IsDotEntry(entry.name)) continue;
    if (!Usable(commandLine.sourceDir.Text(), dir, entry.name)) continue;
    for (RecordedDirs& recorded : overrides) recorded.MarkFirst(entry.name);
    platformDirs.MarkFirst(entry.name);
    SearchDirectoryRecursive(dir + "\\" + entry.name, pattern);
  }
  auto searchUnhandled = [&](RecordedDirs& recorded, const std::string& root) {
    for (size_t k = 0; k < recorded.names.size(); ++k) {
      if (recorded.handled[k] || !Usable(root, dir, recorded.names[k])) continue;
      SearchDirectoryRecursive(dir + "\\" + recorded.names[k], pattern);
    }
  };
  for (size_t i = 0; i < overrides.size(); ++i) searchUnhandled(overrides[i], roots[i]);
  searchUnhandled(platformDirs, commandLine.platformDir.Text());
}
