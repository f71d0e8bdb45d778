// Program-form paths as native POSIX paths: the start directory from
// SplitForPosix, then each component as spelt when it exists so, else its
// stored spelling in another case, else as given.
//
// Each folder is resolved at most once per run, and each folder's names
// are read at most once (on the first lookup that needs them, or from a
// listing), so the program sees the tree as it was when it first looked,
// plus the changes it makes itself; it follows no other change on disk.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

// The native path of `path`, resolved as far as its components exist.
// Nothing, with errno set, for a path that cannot be translated: empty
// (ENOENT), holding a NUL (EINVAL), or too long (ENAMETOOLONG).
std::optional<std::string> TranslatePath(std::string_view path);

// The status of what `path` names, found as TranslatePath finds it; false
// with errno set when there is none.
bool StatPath(std::string_view path, struct stat* status);

// Where a file named by `path` is to be created or replaced.
struct CreationTarget {
  std::string path;       // native path to open
  std::string dir;        // native directory, "." for the current one
  std::string name;       // the file name in `dir`; empty when there is none
  std::string givenName;  // the last component as given
  bool exists = false;    // `name` is already in `dir`
};

// The directory is resolved like TranslatePath; the file name is an
// existing case variant when `lookUpName` and there is one, else as given.
std::optional<CreationTarget> TranslateForCreation(std::string_view path, bool lookUpName = true);

// Whether `path`, too long to hand to the system whole, names an existing
// directory: walked one component at a time from where it starts, each
// name as spelt or else in another case.
bool IsLongPathDirectory(std::string_view path);

// The directory of a native path ("." for none), and the name.
void SplitNativePath(const std::string& path, std::string* dir, std::string* name);

// What a listing of the native directory `dir` found: every name in it.
void NoteListing(const std::string& dir, std::vector<std::string> names);

// A file at the native path `path` that a child is started to make, or
// (`made` false) one that this process removed or renamed.
void NoteChildFile(const std::string& path, bool made = true);

// Changes this process made in the native directory `dir`.
void NoteNameAdded(const std::string& dir, const std::string& name);
void NoteNameRemoved(const std::string& dir, const std::string& name);

// Whether the run's names of the folder of the native path `path` are
// known and hold it in no case: then it is not there for the run.
bool ListedAbsent(const std::string& path);

}  // namespace platform::posix
