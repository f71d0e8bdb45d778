// Rules about the paths of inputs: where an input lies under a root, which
// names found on disk can be inputs, and one spelling per file.
#pragma once

#include <string>
#include <string_view>

// "root\dir\name", or "dir\name" without a root: where an input of the
// relative folder `dir` lies under one of the roots.
std::string UnderRoot(std::string_view root, std::string_view dir, std::string_view name);

// Whether Windows could hold `name` as one file name: no '\\', none of
// <>:"|?* and no byte below 0x20. On POSIX a listed name that it could not
// would be taken apart as a path.
bool IsPortableName(std::string_view name);

// A path spelled one way, for telling whether two spellings name one file:
// lower case, '\' between components, "." and ".." resolved, no empty
// components. The drive and a leading separator are kept, so a relative
// and an absolute path never compare equal.
std::string CanonicalKey(std::string_view path);
