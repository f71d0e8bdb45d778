// A chunk file's chunks as a reader found them: in file order, each parent
// before its children, with the place and extent of each body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ChunkEntry {
  std::string name;         // the four characters as stored
  int32_t depth = 0;        // 0 for the root
  uint64_t place = 0;       // binary: offset of the header; text: line of the name
  uint64_t bodySize = 0;    // binary: bytes; text: values directly inside
  uint32_t childCount = 0;  // chunks directly inside
  size_t bodyBegin = 0;     // the body's bytes in the file
  size_t bodyEnd = 0;
  uint64_t bodyLine = 0;  // text: line on which the body begins
};

// As deep as the binary writer can nest; deeper files are taken as damaged,
// which also keeps every walk over a tree shallow.
constexpr int32_t kMaxChunkDepth = 100;
