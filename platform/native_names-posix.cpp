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

// A folder as first resolved in this run.
struct Folder {
  std::string native;  // prefix form: "" for the current directory
  bool isDirectory = false;
  struct stat status;  // when it is a directory
  int error = 0;       // why it is none
  int fd = -1;         // open while the run looks at files in it
};

// The names of one folder by their lower-cased form.
using NameGroups = std::unordered_multimap<std::string, std::string>;

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
  std::unordered_map<std::string, std::pair<Folder*, size_t>> byText;
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
  auto [first, last] = groups.equal_range(lower);
  if (std::none_of(first, last, [&](const auto& entry) { return entry.second == name; }))
    groups.emplace(std::move(lower), name);
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

// The stored spelling of `name` in `folder`: itself when stored so, else
// the first in another case.
std::optional<std::string> StoredName(const std::string& folder, const std::string& name) {
  auto [first, last] = NamesOf(folder).equal_range(ToLowerAscii(name));
  std::optional<std::string> stored;
  for (auto at = first; at != last; ++at) {
    if (at->second == name) return name;
    if (!stored || ListingOrderLess(at->second, *stored)) stored = at->second;
  }
  return stored;
}

bool IsDot(std::string_view name) { return name == "." || name == ".."; }

Folder& ResolveFolder(const Parsed& parsed, size_t count) {
  std::string key = JoinRange(parsed, count);
  if (auto known = Resolved().find(key); known != Resolved().end()) return known->second;
  Folder folder;
  int result = 0;
  if (count == 0) {
    folder.native = parsed.prefix;
    result = stat(FolderKey(folder.native).c_str(), &folder.status);
  } else {
    const Folder& parent = ResolveFolder(parsed, count - 1);
    const std::string& name = parsed.components[count - 1];
    folder.native = Join(parent.native, name);
    if (!parent.isDirectory) {
      folder.error = parent.error;
      return Resolved().emplace(std::move(key), std::move(folder)).first->second;
    }
    // Through its ".": a folder that cannot be searched is no folder to
    // read or write files in.
    result = stat((folder.native + "/.").c_str(), &folder.status);
    if (result != 0 && errno == ENOENT && !IsDot(name)) {
      std::optional<std::string> stored = StoredName(FolderKey(parent.native), name);
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
  return Resolved().emplace(std::move(key), std::move(folder)).first->second;
}

bool NamesKnown(const std::string& folder) { return Names().count(folder) != 0; }

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
bool StatIn(Folder& folder, const std::string& name, struct stat* status) {
  if (folder.fd < 0 && runCache != nullptr) {
    folder.fd = open(FolderKey(folder.native).c_str(), kWalkFlags);
    if (folder.fd >= 0) {
      Folder*& slot = runCache->held[runCache->nextHeld++ % std::size(runCache->held)];
      if (slot != nullptr) close(std::exchange(slot->fd, -1));
      slot = &folder;
    }
  }
  if (folder.fd < 0) return stat(Join(folder.native, name).c_str(), status) == 0;
  return fstatat(folder.fd, name.c_str(), status, 0) == 0;
}

// The native path of the file `name` in `folder`, with its status when
// `found` is given: as spelt, else its stored spelling in another case.
std::string FileIn(Folder& folder, const std::string& name, NativeStatus* found) {
  std::string key = FolderKey(folder.native);
  std::string stored = name;
  bool known = NamesKnown(key);
  if (known) {
    // Listed already: no look of its own. A name not listed may be one a
    // child made since; the status tells.
    if (std::optional<std::string> spelt = StoredName(key, name)) stored = std::move(*spelt);
    if (!found) return Join(folder.native, stored);
  }
  // A look at the name as spelt is cheaper than reading a large folder.
  NativeStatus own;
  if (!found) found = &own;
  if (!folder.isDirectory) {
    found->error = folder.error;
  } else if (StatIn(folder, stored, &found->status)) {
    found->known = true;
  } else if (errno != ENOENT || known) {
    found->error = errno;
  } else if (std::optional<std::string> spelt = StoredName(key, name); spelt && *spelt != name) {
    stored = std::move(*spelt);
    if (StatIn(folder, stored, &found->status)) {
      found->known = true;
    } else {
      found->error = errno;
    }
  } else {
    found->error = ENOENT;
  }
  return Join(folder.native, stored);
}

}  // namespace

std::optional<std::string> TranslatePath(std::string_view path, NativeStatus* status) {
  Scope scope;
  NativeStatus found;
  NativeStatus* wanted = status ? &found : nullptr;
  // A plain name in a folder already resolved by the same text.
  size_t cut = path.find_last_of("\\/");
  std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  bool plain = cut != std::string_view::npos && !name.empty() && !IsDot(name) &&
               path.find('\0') == std::string_view::npos;
  std::string text(path.substr(0, plain ? cut + 1 : 0));
  if (plain) {
    auto known = current->byText.find(text);
    if (known != current->byText.end() && name.size() <= NAME_MAX &&
        known->second.second + name.size() + 1 < PATH_MAX) {
      std::string native = FileIn(*known->second.first, std::string(name), wanted);
      if (status) *status = found;
      return native;
    }
  }
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return std::nullopt;
  std::string native;
  size_t count = parsed->components.size();
  if (NamesAFolder(*parsed)) {
    const Folder& folder = ResolveFolder(*parsed, count);
    native = folder.native;
    // "file/" is not "file", but "dir/" is "dir".
    if (folder.isDirectory) {
      found.known = true;
      found.status = folder.status;
    } else if (folder.error != ENOTDIR) {
      found.error = folder.error;
    }
  } else {
    Folder& folder = ResolveFolder(*parsed, count - 1);
    if (plain) {
      size_t length = parsed->prefix.size();
      for (size_t i = 0; i + 1 < count; ++i) length += parsed->components[i].size() + 1;
      current->byText.emplace(std::move(text), std::make_pair(&folder, length));
    }
    native = FileIn(folder, parsed->components.back(), wanted);
  }
  if (status) *status = found;
  return Finish(std::move(native), parsed->trailingSeparator);
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
  const Folder& folder = ResolveFolder(*parsed, count - 1);
  target.dir = FolderKey(folder.native);
  target.givenName = parsed->components.back();
  target.name = target.givenName;
  if (lookUpName && folder.isDirectory) {
    if (std::optional<std::string> stored = StoredName(target.dir, target.givenName)) {
      target.name = std::move(*stored);
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

void NoteListing(const std::string& dir, const std::vector<std::string>& names) {
  if (runCache == nullptr) return;
  NameGroups& groups = runCache->names[FolderKey(dir)];
  groups.clear();
  groups.reserve(names.size());
  // A listing names each file once.
  for (const std::string& name : names) groups.emplace(ToLowerAscii(name), name);
}

bool ListedAbsent(const std::string& path) {
  if (runCache == nullptr || runCache->childFiles.count(path) != 0) return false;
  std::string dir;
  std::string name;
  SplitNativePath(path, &dir, &name);
  auto folder = runCache->names.find(FolderKey(dir));
  if (folder == runCache->names.end()) return false;
  return folder->second.count(ToLowerAscii(name)) == 0;
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
  auto [first, last] = folder->second.equal_range(ToLowerAscii(name));
  auto at = std::find_if(first, last, [&](const auto& entry) { return entry.second == name; });
  if (at != last) folder->second.erase(at);
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
