#include "path_translation-posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "directory_index-posix.h"
#include "path_rules.h"

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

std::string JoinRange(const Parsed& parsed, size_t begin, size_t end, std::string prefix) {
  for (size_t i = begin; i < end; ++i) prefix = Join(prefix, parsed.components[i]);
  return prefix;
}

std::string DirKey(const std::string& prefix) { return prefix.empty() ? "." : prefix; }

bool Exists(const std::string& path, bool mustBeDirectory, struct stat* status) {
  if (stat(path.c_str(), status) != 0) return false;
  return !mustBeDirectory || S_ISDIR(status->st_mode);
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

struct Resolved {
  std::string path;  // native prefix form ("" for the current directory)
  bool exists = false;
  NativeStatus status;  // of `path`, when it was read
};

// Resolves the first `count` components of `parsed`.
Resolved Resolve(const Parsed& parsed, size_t count) {
  Resolved resolved;
  resolved.path = JoinRange(parsed, 0, count, parsed.prefix);
  if (count == 0) {
    resolved.exists = true;
    return resolved;
  }
  if (Exists(resolved.path, false, &resolved.status.status)) {
    resolved.exists = resolved.status.known = true;
    return resolved;
  }
  int spellingError = errno;
  // Start from the longest leading part that exists as spelt, so that only
  // the components below it go through the index.
  size_t known = count - 1;
  std::string current;
  struct stat knownStatus;
  for (; known > 0; --known) {
    current = JoinRange(parsed, 0, known, parsed.prefix);
    if (Exists(current, true, &knownStatus)) break;
  }
  if (known == 0) current = parsed.prefix;
  for (size_t i = known; i < count; ++i) {
    const std::string& component = parsed.components[i];
    if (component == "." || component == "..") {
      current = Join(current, component);
      continue;
    }
    std::optional<std::string> stored =
        FindStoredName(DirKey(current), component, i == known && known > 0 ? &knownStatus : nullptr);
    if (!stored) {
      // Unchanged up to here: the rest is as given, so the path is the
      // spelling that was just found missing.
      bool asGiven = current == JoinRange(parsed, 0, i, parsed.prefix);
      resolved.path = JoinRange(parsed, i, count, std::move(current));
      if (asGiven) resolved.status.error = spellingError;
      return resolved;
    }
    current = Join(current, *stored);
  }
  resolved.path = std::move(current);
  resolved.exists = true;
  return resolved;
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

}  // namespace

std::optional<std::string> TranslatePath(std::string_view path, NativeStatus* status) {
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return std::nullopt;
  Resolved resolved = Resolve(*parsed, parsed->components.size());
  if (status) {
    *status = resolved.status;
    // "file/" is not "file", but "dir/" is "dir".
    if (parsed->trailingSeparator && !(status->known && S_ISDIR(status->status.st_mode))) {
      *status = NativeStatus();
    }
  }
  return Finish(std::move(resolved.path), parsed->trailingSeparator);
}

std::optional<CreationTarget> TranslateForCreation(std::string_view path, bool lookUpName) {
  std::optional<Parsed> parsed = Parse(path);
  if (!parsed) return std::nullopt;
  CreationTarget target;
  size_t count = parsed->components.size();
  if (count == 0 || parsed->trailingSeparator || parsed->components.back() == "." ||
      parsed->components.back() == "..") {
    // Names a directory, not a file: nothing to create here.
    Resolved resolved = Resolve(*parsed, count);
    target.path = Finish(std::move(resolved.path), parsed->trailingSeparator);
    target.exists = resolved.exists;
    return target;
  }
  target.givenName = parsed->components.back();
  std::string exact = JoinRange(*parsed, 0, count, parsed->prefix);
  struct stat status;
  if (lookUpName && Exists(exact, false, &status)) {
    target.dir = DirKey(JoinRange(*parsed, 0, count - 1, parsed->prefix));
    target.name = target.givenName;
    target.path = std::move(exact);
    target.exists = true;
    return target;
  }
  Resolved dir = Resolve(*parsed, count - 1);
  target.dir = DirKey(dir.path);
  target.name = target.givenName;
  if (lookUpName && dir.exists) {
    const struct stat* dirStatus = dir.status.known ? &dir.status.status : nullptr;
    if (std::optional<std::string> stored =
            FindStoredName(target.dir, target.givenName, dirStatus)) {
      target.name = std::move(*stored);
      target.exists = true;
    }
  }
  target.path = Join(dir.path, target.name);
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
    *dir = DirKey(std::string());
    *name = path;
  } else {
    *dir = path.substr(0, slash == 0 ? 1 : slash);
    *name = path.substr(slash + 1);
  }
}

}  // namespace platform::posix
