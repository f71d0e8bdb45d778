// The per-process index of directory names that makes case-insensitive
// lookups cheap on POSIX: each directory is read once, on the first lookup
// that misses in it, into a map from the lower-cased name to the names as
// stored. An index is trusted while the directory's identity and
// modification time are unchanged; changes this process makes through the
// platform layer are applied to it directly.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

// The stored spelling of `name` in directory `dir` (a native path, "." for
// the current directory): `name` itself when stored so, else the first
// case variant in listing order; nothing when no name matches or the
// directory cannot be read. `dirStatus`, when given, is the directory's
// status read just before, saving one call to the system.
std::optional<std::string> FindStoredName(const std::string& dir, std::string_view name,
                                          const struct stat* dirStatus = nullptr);

// A change this process is about to make in a directory. Taken before the
// change, so that an index that was already out of date is dropped rather
// than patched and then trusted.
struct DirectoryChange {
  std::string dir;
  bool indexWasCurrent = false;
};
DirectoryChange BeginDirectoryChange(const std::string& dir);
void CommitNameAdded(const DirectoryChange& change, const std::string& name);
void CommitNameRemoved(const DirectoryChange& change, const std::string& name);

// A child of this process is to create `name` in `dir`. While any such
// child runs, the directory's index is trusted whatever its stamp says:
// the change is taken for the children's, and the name is added when the
// child has ended. Without this each child's file would have the next
// lookup read the whole directory again. Left open: a change another
// process makes in that directory meanwhile.
void BeginChildCreation(const std::string& dir);
void EndChildCreation(const std::string& dir, const std::string& name);

}  // namespace platform::posix
