// Undoes the writers' run-length encoding: packets of a control byte c and
// c + 1 raw elements (c < 0x80), or one element repeated c - 0x7F times.
// The stream has no end marker; it ends with the values of the reader.
#pragma once

#include <cstdint>
#include <vector>

#include "chunk_value_reader.h"

// Elements of `width` bits (8, 16, anything else 32) up to the end of the
// chunk. A packet cut short raises ChunkFileError.
std::vector<uint32_t> DecodeRunLength(ChunkValueReader& reader, int32_t width);
