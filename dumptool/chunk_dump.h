// The printed form of one chunk file: a line per chunk (name, offset or
// line, body size) indented by depth, and under each leaf its data, decoded
// for the chunks of the script tool ("NAME", "INFO", "REQN", and the
// compiled code in "BODY" of "scr"), else as hex rows.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

struct DumpOptions {
  bool brief = false;  // no hex rows
};

// Reads the whole tree of `bytes` first, so a damaged file raises
// ChunkFileError before anything of it is printed. `label` names the file;
// `blankLineFirst` separates it from the file dumped before.
void DumpChunkFile(const std::string& label, std::string_view bytes, const DumpOptions& options,
                   bool blankLineFirst, FILE* out);
