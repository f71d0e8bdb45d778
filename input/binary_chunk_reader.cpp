#include "binary_chunk_reader.h"

#include "chunk_file_error.h"

namespace {

constexpr size_t kHeaderSize = 8;

uint32_t DwordAt(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

size_t PaddingAfter(size_t offset) { return (4 - offset % 4) % 4; }

bool IsPrintableName(std::string_view name) {
  for (char c : name) {
    if (c < ' ' || c > '~') return false;
  }
  return true;
}

class TreeReader {
 public:
  TreeReader(std::string_view bytes, const ChunkClassifier& classify)
      : bytes(bytes), classify(classify) {}

  std::vector<ChunkEntry> Read() {
    if (bytes.size() >= 4 && bytes.substr(0, 4) != "ucfb") {
      throw ChunkFileError(OffsetPlace(0),
                           "the root chunk is " + Quoted(bytes.substr(0, 4)) + ", not \"ucfb\"");
    }
    size_t end = ReadChunk(0, bytes.size(), 0, "the file");
    if (end < bytes.size()) {
      throw ChunkFileError(OffsetPlace(end), std::to_string(bytes.size() - end) +
                                                 (bytes.size() - end == 1 ? " byte" : " bytes") +
                                                 " after the root chunk");
    }
    return std::move(chunks);
  }

 private:
  std::string_view bytes;
  const ChunkClassifier& classify;
  std::vector<ChunkEntry> chunks;

  // The chunk whose header is at `offset`, inside a parent body that ends
  // at `limit`; returns the offset after its padding.
  size_t ReadChunk(size_t offset, size_t limit, int32_t depth, const std::string& parent) {
    if (limit - offset < kHeaderSize) {
      throw ChunkFileError(OffsetPlace(offset),
                           "chunk header cut short: " + std::to_string(limit - offset) +
                               " bytes left in " + parent + ", a header takes 8");
    }
    std::string_view name = bytes.substr(offset, 4);
    uint32_t size = DwordAt(bytes, offset + 4);
    size_t bodyBegin = offset + kHeaderSize;
    if (size > limit - bodyBegin) {
      throw ChunkFileError(OffsetPlace(offset), "chunk " + Quoted(name) + " claims " +
                                                    std::to_string(size) + " bytes, only " +
                                                    std::to_string(limit - bodyBegin) +
                                                    " are left in " + parent);
    }
    if (depth >= kMaxChunkDepth) {
      throw ChunkFileError(OffsetPlace(offset), "chunk " + Quoted(name) + " nests deeper than " +
                                                    std::to_string(kMaxChunkDepth) + " chunks");
    }
    size_t bodyEnd = bodyBegin + size;
    size_t padding = PaddingAfter(bodyEnd);
    if (padding > limit - bodyEnd) {
      throw ChunkFileError(OffsetPlace(bodyEnd), "padding after chunk " + Quoted(name) +
                                                     " runs past the end of " + parent);
    }
    for (size_t i = bodyEnd; i < bodyEnd + padding; ++i) {
      if (bytes[i] != 0) {
        throw ChunkFileError(OffsetPlace(i), "non-zero padding after chunk " + Quoted(name));
      }
    }

    size_t index = chunks.size();
    ChunkEntry entry;
    entry.name = std::string(name);
    entry.depth = depth;
    entry.place = offset;
    entry.bodySize = size;
    entry.bodyBegin = bodyBegin;
    entry.bodyEnd = bodyEnd;
    chunks.push_back(std::move(entry));

    ChunkContent content = depth == 0 ? ChunkContent::kChunks : classify(name);
    if (content == ChunkContent::kEither) {
      content =
          HoldsChunks(bodyBegin, bodyEnd, depth + 1) ? ChunkContent::kChunks : ChunkContent::kData;
    }
    if (content == ChunkContent::kChunks) {
      std::string self = "chunk " + Quoted(name);
      for (size_t child = bodyBegin; child < bodyEnd;) {
        child = ReadChunk(child, bodyEnd, depth + 1, self);
        ++chunks[index].childCount;
      }
    }
    return bodyEnd + padding;
  }

  // Whether [begin, end) is one or more chunks with printable names whose
  // sizes and padding fit, at a depth the file may have. Looks at this
  // level's headers only, so a tree is scanned at most once per level.
  bool HoldsChunks(size_t begin, size_t end, int32_t depth) const {
    if (begin == end || depth >= kMaxChunkDepth) return false;
    for (size_t offset = begin; offset < end;) {
      if (end - offset < kHeaderSize || !IsPrintableName(bytes.substr(offset, 4))) return false;
      uint32_t size = DwordAt(bytes, offset + 4);
      if (size > end - offset - kHeaderSize) return false;
      size_t bodyEnd = offset + kHeaderSize + size;
      size_t padding = PaddingAfter(bodyEnd);
      if (padding > end - bodyEnd) return false;
      for (size_t i = bodyEnd; i < bodyEnd + padding; ++i) {
        if (bytes[i] != 0) return false;
      }
      offset = bodyEnd + padding;
    }
    return true;
  }
};

}  // namespace

std::vector<ChunkEntry> ReadBinaryChunks(std::string_view bytes, const ChunkClassifier& classify) {
  return TreeReader(bytes, classify).Read();
}

uint64_t BinaryValueReader::LittleEndian(size_t count) {
  if (end - position < count) {
    throw ChunkFileError(
        Place(), "a value of " + std::to_string(count) + " bytes runs past the end of the chunk");
  }
  uint64_t value = 0;
  for (size_t i = count; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[position + i]);
  position += count;
  return value;
}

std::string BinaryValueReader::ReadString() {
  std::string_view body = bytes.substr(position, end - position);
  size_t zero = body.find('\0');
  if (zero == std::string_view::npos) {
    throw ChunkFileError(Place(), "a string runs past the end of the chunk");
  }
  position += zero + 1;
  return std::string(body.substr(0, zero));
}

std::string BinaryValueReader::Place() { return OffsetPlace(position); }
