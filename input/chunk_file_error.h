// What the chunk file readers raise for a damaged file: the place of the
// damage ("offset 0x1c", "line 12") and what is wrong there.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class ChunkFileError : public std::runtime_error {
 public:
  ChunkFileError(const std::string& place, const std::string& problem)
      : std::runtime_error(place.empty() ? problem : place + ": " + problem) {}
};

std::string OffsetPlace(uint64_t offset);
std::string LinePlace(uint64_t line);

// `bytes` between double quotes, with '"', '\' and every byte outside
// printable ASCII escaped (\n, \t, \xNN), so that any name or string can
// be shown on one line.
std::string Quoted(std::string_view bytes);

// A chunk name as it stands when it is four printable characters without
// blanks or quotes, else Quoted.
std::string ChunkNameText(std::string_view name);
