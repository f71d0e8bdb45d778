// Loading a chunk file whole and telling its form by its first bytes.
#pragma once

#include <string>
#include <string_view>

enum class ChunkFileForm { kBinary, kText };

// The bytes of the plain file at `path`. Raises ChunkFileError when it is
// not a plain file or cannot be read.
std::string LoadChunkFile(const std::string& path);

// "ucfb" at the start is the binary form; "ucft" as the first word (after
// the text form's leading line break) the text form. Raises ChunkFileError
// for an empty file or any other start.
ChunkFileForm DetectChunkFileForm(std::string_view bytes);
