#include "native_names-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "path_rules.h"
#include "platform.h"

#ifndef NAME_MAX
#define NAME_MAX 255
#endif
#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

namespace platform::posix {
namespace {

// A parsed path: `prefix` is the start directory as a native prefix ("" for
// the current directory, "/" for the root, else without a trailing '/').
struct Parsed {
  std::string prefix;
  std::vector<std::string> components;
  bool trailingSeparator = false;
};

std::string DriveRoot() {
  const char* value = std::getenv("MUNGE_DRIVE_ROOT");
  std::string root = value && *value ? value : "/";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string Join(const std::string& prefix, std::string_view name) {
  if (prefix.empty()) return std::string(name);
  std::string path;
  path.reserve(prefix.size() + 1 + name.size());
  path += prefix;
  if (prefix.back() != '/') path += '/';
  path += name;
  return path;
}

std::string JoinRange(const Parsed& parsed, size_t end) {
  std::string path = parsed.prefix;
  for (size_t i = 0; i < end; ++i) path = Join(path, parsed.components[i]);
  return path;
}

// One spelling per folder: no trailing '/', "." for the current one.
std::string FolderKey(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native.empty() ? "." : native;
}

std::optional<Parsed> Parse(std::string_view path) {
  if (path.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  if (path.find('\0') != std::string_view::npos) {
    errno = EINVAL;
    return std::nullopt;
  }
  PosixPath split = SplitForPosix(path, DriveRoot());
  Parsed parsed;
  if (split.start != ".") parsed.prefix = std::move(split.start);
  size_t total = parsed.prefix.size();
  for (const std::string& component : split.components) {
    if (component.size() > NAME_MAX) {
      errno = ENAMETOOLONG;
      return std::nullopt;
    }
    total += component.size() + 1;
  }
  if (total >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  parsed.components = std::move(split.components);
  parsed.trailingSeparator = IsSeparator(path.back()) && !parsed.components.empty();
  return parsed;
}

// The names of one folder by their lower-cased form. A listing's names
// are grouped only when a name is asked for in another case: most listed
// files are only ever looked at as spelt.
struct NameGroups {
  std::vector<std::string> listed;
  std::unordered_multimap<std::string, std::string> byLower;
  std::unordered_multimap<std::string, std::string>& All() {
    for (std::string& name : listed) byLower.emplace(ToLowerAscii(name), std::move(name));
    listed.clear();
    return byLower;
  }
};

// A folder as first resolved in this run.
struct Folder {
  std::string native;  // prefix form: "" for the current directory
  std::string key;     // FolderKey(native)
  bool isDirectory = false;
  struct stat status;  // when it is a directory
  int error = 0;       // why it is none
  int fd = -1;         // open while the run looks at files in it
  NameGroups* names = nullptr;  // once read or listed
};

// Lookups by a part of a path need no string of their own.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// Folders by their program-form spelling, resolved once; folders' names by
// native folder, read once. The run's while a NameCache lives; otherwise
// each translation's own. Used from the main thread only.
struct Cache {
  std::unordered_map<std::string, Folder> resolved;
  std::unordered_map<std::string, NameGroups> names;
  // Native paths of files that children were started to make, which no
  // listing may have seen yet.
  std::unordered_set<std::string> childFiles;
  // Folders by the text of a path up to its last name, as it was given:
  // a run names the files of one folder alike, so most lookups end here.
  // Each with the length of its native path as Parse counts it.
  std::unordered_map<std::string, std::pair<Folder*, size_t>, TextHash, std::equal_to<>> byText;
  // The folders holding a descriptor, oldest first: a status read through
  // one walks no path. Few, since children need descriptors too.
  Folder* held[8] = {};
  size_t nextHeld = 0;
  ~Cache() {
    for (Folder* folder : held) {
      if (folder != nullptr) close(folder->fd);
    }
  }
};
Cache* runCache = nullptr;
Cache* current = nullptr;

// The cache for one translation: the run's, or a fresh one.
class Scope {
 public:
  Scope() {
    // The run's, or one made only for this translation.
    if (runCache == nullptr) own.emplace();
    current = runCache != nullptr ? runCache : &*own;
  }
  ~Scope() { current = nullptr; }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  std::optional<Cache> own;
};

std::unordered_map<std::string, Folder>& Resolved() { return current->resolved; }
std::unordered_map<std::string, NameGroups>& Names() { return current->names; }

void AddName(NameGroups& groups, const std::string& name) {
  std::string lower = ToLowerAscii(name);
  auto [first, last] = groups.All().equal_range(lower);
  if (std::none_of(first, last, [&](const auto& entry) { return entry.second == name; }))
    groups.byLower.emplace(std::move(lower), name);
}

NameGroups& NamesOf(const std::string& folder) {
  auto [at, added] = Names().try_emplace(folder);
  if (!added) return at->second;
  // An unreadable folder has no names: nothing in it can be found by
  // another spelling, which is what reading it would say too.
  if (DIR* handle = opendir(folder.c_str())) {
    while (dirent* entry = readdir(handle)) {
      std::string_view name = entry->d_name;
      if (name != "." && name != "..") AddName(at->second, std::string(name));
    }
    closedir(handle);
  }
  return at->second;
}

// The folder's names when a listing or a lookup read them already.
NameGroups* KnownNames(Folder& folder) {
  if (folder.names == nullptr) {
    auto known = Names().find(folder.key);
    if (known != Names().end()) folder.names = &known->second;
  }
  return folder.names;
}

NameGroups& NamesOf(Folder& folder) {
  if (folder.names == nullptr) folder.names = &NamesOf(folder.key);
  return *folder.names;
}

// The stored spelling of `name` among `names`: itself when stored so, else
// the first in another case.
std::optional<std::string_view> StoredIn(NameGroups& names, std::string_view name) {
  auto [first, last] = names.All().equal_range(ToLowerAscii(name));
  std::optional<std::string_view> stored;
  for (auto at = first; at != last; ++at) {
    if (at->second == name) return name;
    if (!stored || ListingOrderLess(at->second, *stored)) stored = at->second;
  }
  return stored;
}

bool IsDot(std::string_view name) { return name == "." || name == ".."; }

Folder& Remember(std::string key, Folder folder) {
  folder.key = FolderKey(folder.native);
  return Resolved().emplace(std::move(key), std::move(folder)).first->second;
}

Folder& ResolveFolder(const Parsed& parsed, size_t count) {
  std::string key = JoinRange(parsed, count);
  if (auto known = Resolved().find(key); known != Resolved().end()) return known->second;
  Folder folder;
  int result = 0;
  if (count == 0) {
    folder.native = parsed.prefix;
    result = stat(FolderKey(folder.native).c_str(), &folder.status);
  } else {
    Folder& parent = ResolveFolder(parsed, count - 1);
    const std::string& name = parsed.components[count - 1];
    folder.native = Join(parent.native, name);
    if (!parent.isDirectory) {
      folder.error = parent.error;
      return Remember(std::move(key), std::move(folder));
    }
    // Through its ".": a folder that cannot be searched is no folder to
    // read or write files in.
    result = stat((folder.native + "/.").c_str(), &folder.status);
    if (result != 0 && errno == ENOENT && !IsDot(name)) {
      std::optional<std::string_view> stored = StoredIn(NamesOf(parent), name);
      if (stored && *stored != name) {
        folder.native = Join(parent.native, *stored);
        result = stat((folder.native + "/.").c_str(), &folder.status);
      } else {
        errno = ENOENT;
      }
    }
  }
  if (result != 0) {
    folder.error = errno;
  } else if (!S_ISDIR(folder.status.st_mode)) {
    folder.error = ENOTDIR;
  } else {
    folder.isDirectory = true;
  }
  return Remember(std::move(key), std::move(folder));
}

#ifdef O_PATH
// Enough to walk through a directory that may not be read.
constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Opens the directory `name` in the directory open as `dirFd`: as spelt,
// else the first name in another case. -1 when there is none.
int OpenSubdirectory(int dirFd, const std::string& name) {
  int fd = openat(dirFd, name.c_str(), kWalkFlags);
  if (fd >= 0 || errno != ENOENT) return fd;
  int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return -1;
  DIR* handle = fdopendir(listFd);
  if (!handle) {
    close(listFd);
    return -1;
  }
  while (dirent* entry = readdir(handle)) {
    if (EqualsIgnoreCase(entry->d_name, name)) {
      fd = openat(dirFd, entry->d_name, kWalkFlags);
      if (fd >= 0) break;
    }
  }
  closedir(handle);
  return fd;
}

std::string Finish(std::string path, bool trailingSeparator) {
  if (path.empty()) return ".";
  if (trailingSeparator && path.back() != '/') path += '/';
  return path;
}

bool NamesAFolder(const Parsed& parsed) {
  return parsed.components.empty() || parsed.trailingSeparator ||
         IsDot(parsed.components.back());
}

// The status of `name` in `folder`, read through the folder's descriptor.
bool StatIn(Folder& folder, std::string_view name, struct stat* status) {
  if (name.size() > NAME_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (folder.fd < 0 && runCache != nullptr) {
    folder.fd = open(folder.key.c_str(), kWalkFlags);
    if (folder.fd >= 0) {
      Folder*& slot = runCache->held[runCache->nextHeld++ % std::size(runCache->held)];
      if (slot != nullptr) close(std::exchange(slot->fd, -1));
      slot = &folder;
    }
  }
  if (folder.fd < 0) return stat(Join(folder.native, name).c_str(), status) == 0;
  char terminated[NAME_MAX + 1];
  name.copy(terminated, name.size());
  terminated[name.size()] = '\0';
  return fstatat(folder.fd, terminated, status, 0) == 0;
}

// The status of the file `name` in `folder`: as spelt, else its stored
// spelling in another case. False with errno set when there is none.
bool StatName(Folder& folder, std::string_view name, struct stat* status) {
  if (!folder.isDirectory) {
    errno = folder.error;
    return false;
  }
  // The name as spelt first: a look is cheaper than reading a large
  // folder, or than grouping a listing's names.
  if (StatIn(folder, name, status)) return true;
  if (errno != ENOENT) return false;
  std::optional<std::string_view> stored = StoredIn(NamesOf(folder), name);
  if (!stored || *stored == name) {
    errno = ENOENT;
    return false;
  }
  return StatIn(folder, *stored, status);
}

// The native path of the file `name` in `folder`, spelt as StatName finds it.
std::string FileIn(Folder& folder, std::string_view name) {
  if (NameGroups* names = KnownNames(folder))
    return Join(folder.native, StoredIn(*names, name).value_or(name));
  struct stat status;
  if (!folder.isDirectory || StatIn(folder, name, &status) || errno != ENOENT)
    return Join(folder.native, name);
  return Join(folder.native, StoredIn(NamesOf(folder), name).value_or(name));
}

// The folder of a path already resolved by the same text before its last
// name, and that name; nothing when the path is not such a one.
Folder* FolderByText(std::string_view path, std::string_view* name) {
  size_t cut = LastSeparator(path);
  if (cut == std::string_view::npos) return nullptr;
  *name = path.substr(cut + 1);
  if (name->empty() || IsDot(*name) || name->size() > NAME_MAX) return nullptr;
  auto known = current->byText.find(path.substr(0, cut + 1));
  if (known == current->byText.end() || known->second.second + name->size() + 1 >= PATH_MAX ||
      path.find('\0') != std::string_view::npos) {
    return nullptr;
  }
  return known->second.first;
}

// The folder of the file that `parsed` names, resolved, and remembered by
// the text of `path` before its last name.
Folder& FolderOfFile(std::string_view path, const Parsed& parsed) {
  size_t count = parsed.components.size();
  Folder& folder = ResolveFolder(parsed, count - 1);
  size_t cut = LastSeparator(path);
  if (cut != std::string_view::npos && path.substr(cut + 1) == parsed.components.back()) {
    size_t length = parsed.prefix.size();
    for (size_t i = 0; i + 1 < count; ++i) length += parsed.components[i].size() + 1;
    current->byText.emplace(std::string(path.substr(0, cut + 1)), std::make_pair(&folder, length));
  }
  return folder;
}

}  // namespace

std::optional<std::string> TranslatePath(std::string_view path) {
  Scope scope;
  std::string_view name;
  if (Folder* folder = FolderByText(path, &name)) return FileIn(*folder, name);
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return std::nullopt;
  if (NamesAFolder(*parsed)) {
    const Folder& folder = ResolveFolder(*parsed, parsed->components.size());
    return Finish(folder.native, parsed->trailingSeparator);
  }
  std::string native = FileIn(FolderOfFile(path, *parsed), parsed->components.back());
  return Finish(std::move(native), parsed->trailingSeparator);
}

bool StatPath(std::string_view path, struct stat* status) {
  Scope scope;
  std::string_view name;
  if (Folder* folder = FolderByText(path, &name)) return StatName(*folder, name, status);
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return false;
  if (!NamesAFolder(*parsed))
    return StatName(FolderOfFile(path, *parsed), parsed->components.back(), status);
  const Folder& folder = ResolveFolder(*parsed, parsed->components.size());
  if (folder.isDirectory) {
    *status = folder.status;
    return true;
  }
  // "file/" is not "file", but "dir/" is "dir".
  if (folder.error != ENOTDIR) {
    errno = folder.error;
    return false;
  }
  return stat(Finish(folder.native, parsed->trailingSeparator).c_str(), status) == 0;
}

std::optional<CreationTarget> TranslateForCreation(std::string_view path, bool lookUpName) {
  Scope scope;
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return std::nullopt;
  CreationTarget target;
  size_t count = parsed->components.size();
  if (NamesAFolder(*parsed)) {
    // Names a directory, not a file: nothing to create here.
    const Folder& folder = ResolveFolder(*parsed, count);
    target.path = Finish(folder.native, parsed->trailingSeparator);
    target.exists = folder.isDirectory;
    return target;
  }
  Folder& folder = ResolveFolder(*parsed, count - 1);
  target.dir = folder.key;
  target.givenName = parsed->components.back();
  target.name = target.givenName;
  if (lookUpName && folder.isDirectory) {
    if (std::optional<std::string_view> stored = StoredIn(NamesOf(folder), target.givenName)) {
      target.name = std::string(*stored);
      target.exists = true;
    }
  }
  target.path = Join(folder.native, target.name);
  return target;
}

bool IsLongPathDirectory(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  PosixPath split = SplitForPosix(path, DriveRoot());
  int fd = open(split.start.c_str(), kWalkFlags);
  for (const std::string& component : split.components) {
    if (fd < 0) break;
    int next = component.size() > NAME_MAX ? -1 : OpenSubdirectory(fd, component);
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  close(fd);
  return true;
}

void SplitNativePath(const std::string& path, std::string* dir, std::string* name) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *dir = FolderKey(std::string());
    *name = path;
  } else {
    *dir = path.substr(0, slash == 0 ? 1 : slash);
    *name = path.substr(slash + 1);
  }
}

void NoteListing(const std::string& dir, std::vector<std::string> names) {
  if (runCache == nullptr) return;
  NameGroups& groups = runCache->names[FolderKey(dir)];
  groups.byLower.clear();
  groups.listed = std::move(names);
}

bool ListedAbsent(const std::string& path) {
  if (runCache == nullptr || runCache->childFiles.count(path) != 0) return false;
  std::string dir;
  std::string name;
  SplitNativePath(path, &dir, &name);
  auto folder = runCache->names.find(FolderKey(dir));
  if (folder == runCache->names.end()) return false;
  return folder->second.All().count(ToLowerAscii(name)) == 0;
}

void NoteChildFile(const std::string& path, bool made) {
  if (runCache == nullptr) return;
  if (made) {
    runCache->childFiles.insert(path);
  } else {
    runCache->childFiles.erase(path);
  }
}

void NoteNameAdded(const std::string& dir, const std::string& name) {
  if (runCache == nullptr) return;
  auto folder = runCache->names.find(FolderKey(dir));
  if (folder != runCache->names.end() && !name.empty()) AddName(folder->second, name);
}

void NoteNameRemoved(const std::string& dir, const std::string& name) {
  if (runCache == nullptr) return;
  auto folder = runCache->names.find(FolderKey(dir));
  if (folder == runCache->names.end()) return;
  auto& names = folder->second.All();
  auto [first, last] = names.equal_range(ToLowerAscii(name));
  auto at = std::find_if(first, last, [&](const auto& entry) { return entry.second == name; });
  if (at != last) names.erase(at);
}

}  // namespace platform::posix

namespace platform {

NameCache::NameCache() {
  if (posix::runCache == nullptr) {
    posix::runCache = new posix::Cache();
    owner = true;
  }
}

NameCache::~NameCache() {
  if (!owner) return;
  delete posix::runCache;
  posix::runCache = nullptr;
}

}  // namespace platform
