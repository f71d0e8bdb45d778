#include "stale_temporaries.h"

#include <set>

#include "platform/platform.h"
#include "platform/process.h"
#include "temporary_names.h"

void ClearStaleTemporaries(const std::string& directory) {
  // By the path as given: folders whose names differ only in case may be
  // two on POSIX, and one folder spelled two ways is only listed twice.
  static auto* cleared = new std::set<std::string>();
  if (!cleared->insert(directory).second) return;
  const uint64_t self = platform::CurrentProcessId();
  for (const platform::DirEntry& entry : platform::ListDirectory(directory + "*.tmp*-??????")) {
    if (entry.isDirectory) continue;
    std::optional<uint64_t> owner = TemporaryNameOwner(entry.name);
    if (!owner || *owner == self || platform::ProcessIsAlive(*owner)) continue;
    platform::RemoveFile(directory + entry.name);
  }
}
