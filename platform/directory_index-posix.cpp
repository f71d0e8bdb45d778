#include "directory_index-posix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "path_rules.h"

namespace platform::posix {
namespace {

struct DirectoryStamp {
  dev_t device = 0;
  ino_t inode = 0;
  int64_t mtimeNs = 0;
  // Also the status change time: unlike the modification time, no program
  // can set it back.
  int64_t ctimeNs = 0;
  bool operator==(const DirectoryStamp&) const = default;
};

int64_t ToNanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::optional<DirectoryStamp> StampOf(const struct stat& status) {
  if (!S_ISDIR(status.st_mode)) return std::nullopt;
#ifdef __APPLE__
  int64_t mtime = ToNanoseconds(status.st_mtimespec);
  int64_t ctime = ToNanoseconds(status.st_ctimespec);
#else
  int64_t mtime = ToNanoseconds(status.st_mtim);
  int64_t ctime = ToNanoseconds(status.st_ctim);
#endif
  return DirectoryStamp{status.st_dev, status.st_ino, mtime, ctime};
}

std::optional<DirectoryStamp> ReadStamp(const std::string& dir) {
  struct stat status;
  if (stat(dir.c_str(), &status) != 0) return std::nullopt;
  return StampOf(status);
}

int64_t NowNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return ToNanoseconds(now);
}

// All names of one folded key; `first` is the least in listing order.
struct NameGroup {
  std::string first;
  std::vector<std::string> others;  // sorted in listing order

  bool Contains(std::string_view name) const {
    return first == name || std::find(others.begin(), others.end(), name) != others.end();
  }
  void Add(std::string name) {
    if (Contains(name)) return;
    if (ListingOrderLess(name, first)) std::swap(name, first);
    auto at = std::lower_bound(others.begin(), others.end(), name, ListingOrderLess);
    others.insert(at, std::move(name));
  }
  // False when the group became empty.
  bool Remove(std::string_view name) {
    if (first == name) {
      if (others.empty()) return false;
      first = std::move(others.front());
      others.erase(others.begin());
      return true;
    }
    auto at = std::find(others.begin(), others.end(), name);
    if (at != others.end()) others.erase(at);
    return true;
  }
};

struct Index {
  DirectoryStamp stamp;
  // The directory changed so shortly before it was read that a later change
  // could carry the same time stamp (file systems stamp with a coarse
  // clock); such an index is read once more on its first use after
  // `racyUntilNs`, when any such change would show. Reading it again on
  // every use instead would rescan a folder that is being written to at
  // each lookup.
  bool racy = false;
  int64_t racyUntilNs = 0;
  std::unordered_map<std::string, NameGroup> names;
};

// Longer than a tick of the kernel's coarse clock; file systems that keep
// whole seconds only need more.
constexpr int64_t kRacyWindowNs = 50'000'000;
constexpr int64_t kRacyWindowWholeSecondsNs = 2'000'000'000;
// Bounds the memory a walk over a large tree can pin. A run over layered
// roots touches each directory once per root, so the bound must stay well
// above the directory count of a big tree or every lookup rescans.
constexpr size_t kMaxIndexes = 65536;

std::mutex indexMutex;
std::unordered_map<std::string, Index>& Indexes() {
  static auto* indexes = new std::unordered_map<std::string, Index>();
  return *indexes;
}

// How many children are creating a file in each directory.
std::unordered_map<std::string, int>& ChildCreations() {
  static auto* creations = new std::unordered_map<std::string, int>();
  return *creations;
}

bool ChildrenCreateIn(const std::string& dir) { return ChildCreations().count(dir) != 0; }

void AddName(Index& index, std::string name) {
  std::string key = ToLowerAscii(name);
  auto [at, inserted] = index.names.try_emplace(std::move(key));
  if (inserted) {
    at->second.first = std::move(name);
  } else {
    at->second.Add(std::move(name));
  }
}

void RemoveName(Index& index, const std::string& name) {
  auto at = index.names.find(ToLowerAscii(name));
  if (at != index.names.end() && !at->second.Remove(name)) index.names.erase(at);
}

Index ReadIndex(const std::string& dir, const DirectoryStamp& stamp) {
  Index index;
  index.stamp = stamp;
  int64_t readStart = NowNanoseconds();
  // The change time is the kernel's own clock; a modification time may have
  // been set to any value.
  int64_t window =
      stamp.ctimeNs % 1000000000 == 0 ? kRacyWindowWholeSecondsNs : kRacyWindowNs;
  index.racy = readStart - stamp.ctimeNs < window;
  index.racyUntilNs = stamp.ctimeNs + window;
  // An unreadable directory gives an empty index: nothing in it can be
  // found by another spelling, which is what reading it would say too.
  DIR* handle = opendir(dir.c_str());
  if (!handle) return index;
  while (dirent* entry = readdir(handle)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    AddName(index, std::string(name));
  }
  closedir(handle);
  return index;
}

}  // namespace

std::optional<std::string> FindStoredName(const std::string& dir, std::string_view name,
                                          const struct stat* dirStatus) {
  std::lock_guard<std::mutex> lock(indexMutex);
  auto& indexes = Indexes();
  std::optional<DirectoryStamp> stamp = dirStatus ? StampOf(*dirStatus) : ReadStamp(dir);
  auto at = indexes.find(dir);
  if (!stamp) {
    if (at != indexes.end()) indexes.erase(at);
    return std::nullopt;
  }
  bool trusted = at != indexes.end() &&
                 (ChildrenCreateIn(dir) ||
                  (at->second.stamp == *stamp &&
                   !(at->second.racy && NowNanoseconds() >= at->second.racyUntilNs)));
  if (!trusted) {
    if (at == indexes.end() && indexes.size() >= kMaxIndexes) indexes.clear();
    Index fresh = ReadIndex(dir, *stamp);
    at = indexes.insert_or_assign(dir, std::move(fresh)).first;
  }
  auto group = at->second.names.find(ToLowerAscii(name));
  if (group == at->second.names.end()) return std::nullopt;
  if (group->second.Contains(name)) return std::string(name);
  return group->second.first;
}

DirectoryChange BeginDirectoryChange(const std::string& dir) {
  DirectoryChange change{dir, false};
  std::lock_guard<std::mutex> lock(indexMutex);
  auto& indexes = Indexes();
  auto at = indexes.find(dir);
  if (at == indexes.end()) return change;
  // While children create files there the index is trusted whatever the
  // stamp says; it is read again when the last of them ends.
  if (ChildrenCreateIn(dir)) {
    change.indexWasCurrent = true;
    return change;
  }
  std::optional<DirectoryStamp> stamp = ReadStamp(dir);
  change.indexWasCurrent = stamp && *stamp == at->second.stamp;
  return change;
}

void BeginChildCreation(const std::string& dir) {
  std::lock_guard<std::mutex> lock(indexMutex);
  auto& indexes = Indexes();
  auto at = indexes.find(dir);
  // An index that is out of date already goes now, not once trusted.
  if (at != indexes.end() && !ChildrenCreateIn(dir) && ReadStamp(dir) != at->second.stamp)
    indexes.erase(at);
  ++ChildCreations()[dir];
}

void EndChildCreation(const std::string& dir, const std::string& name) {
  std::lock_guard<std::mutex> lock(indexMutex);
  auto& creations = ChildCreations();
  auto count = creations.find(dir);
  if (count == creations.end()) return;
  bool last = --count->second == 0;
  if (last) creations.erase(count);
  auto& indexes = Indexes();
  auto at = indexes.find(dir);
  if (at == indexes.end()) return;
  struct stat status;
  if (lstat((dir + "/" + name).c_str(), &status) == 0) AddName(at->second, name);
  if (!last) return;
  std::optional<DirectoryStamp> stamp = ReadStamp(dir);
  if (!stamp) {
    indexes.erase(at);
    return;
  }
  at->second.stamp = *stamp;
  at->second.racy = false;
}

namespace {

void Commit(const DirectoryChange& change, const std::string& name, bool added) {
  std::lock_guard<std::mutex> lock(indexMutex);
  auto& indexes = Indexes();
  auto at = indexes.find(change.dir);
  if (at == indexes.end()) return;
  bool childrenCreate = ChildrenCreateIn(change.dir);
  std::optional<DirectoryStamp> stamp =
      childrenCreate ? std::optional(at->second.stamp) : ReadStamp(change.dir);
  if (!change.indexWasCurrent || !stamp) {
    indexes.erase(at);
    return;
  }
  if (added) {
    AddName(at->second, name);
  } else {
    RemoveName(at->second, name);
  }
  at->second.stamp = *stamp;
  // The new stamp is our own change, which the index now holds; treating it
  // as racy would rescan a folder that is being written to every few
  // milliseconds. Left open: another process changing the same folder
  // within the same clock tick as our change.
  at->second.racy = false;
}

}  // namespace

void CommitNameAdded(const DirectoryChange& change, const std::string& name) {
  Commit(change, name, true);
}

void CommitNameRemoved(const DirectoryChange& change, const std::string& name) {
  Commit(change, name, false);
}

}  // namespace platform::posix
