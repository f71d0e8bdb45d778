// The names of the temporary files beside an output:
// "<stem>.tmp<owner's process id>-<6 random characters [a-z0-9]>". The owner
// in the name lets a run tell a live run's files from those that a run
// killed half-way left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// The name of a temporary file of the output file `fileName` (no folder)
// owned by `owner`. The stem is `fileName`, cut short (never inside a UTF-8
// sequence) so that the whole name fits in 255 bytes. `random` is used as
// given: TemporaryRandomCharacters() makes it.
std::string TemporaryName(std::string_view fileName, uint64_t owner, std::string_view random);

// The path of such a file beside the output `outputPath` (a program-form
// path): its folder and TemporaryName of its file name.
std::string TemporaryPath(std::string_view outputPath, uint64_t owner, std::string_view random);

// The owner of `name` when it is such a name; nothing otherwise.
std::optional<uint64_t> TemporaryNameOwner(std::string_view name);

// Six characters for a temporary name, none that this process drew before:
// names picked for other programs to create must differ before they exist.
std::string TemporaryRandomCharacters();

// Creates a new temporary file of this process beside the output
// `outputPath`; the check for a free name and the creation are one step.
// On success `tempPath` gets its path and the file is returned open for
// reading and writing in binary mode; on failure returns nullptr with
// errno set.
FILE* CreateTemporaryFile(const std::string& outputPath, std::string* tempPath);

