#include "text_chunk_reader.h"

#include <charconv>
#include <optional>

#include "chunk_file_error.h"

using Kind = TextToken::Kind;

namespace {

std::optional<int64_t> ParseInteger(std::string_view word) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  if (word.empty() || word[0] == '+') return std::nullopt;
  int64_t value = 0;
  std::from_chars_result result =
      std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (result.ec != std::errc() || result.ptr != word.data() + word.size()) return std::nullopt;
  if (base == 16 && word[0] == '-') return std::nullopt;
  return value;
}

std::optional<double> ParseFloat(std::string_view word) {
  double value = 0;
  std::from_chars_result result = std::from_chars(word.data(), word.data() + word.size(), value);
  if (result.ec != std::errc() || result.ptr != word.data() + word.size()) return std::nullopt;
  return value;
}

}  // namespace

bool IsTextNumber(std::string_view word) {
  return ParseInteger(word).has_value() || ParseFloat(word).has_value();
}

std::vector<ChunkEntry> ReadTextChunks(std::string_view text) {
  std::vector<ChunkEntry> chunks;
  std::vector<size_t> open;  // indices of the chunks not yet closed
  TextChunkTokenizer tokens(text);
  TextToken root = tokens.Next();
  if (root.kind != Kind::kWord || root.text != "ucft") {
    throw ChunkFileError(LinePlace(root.line),
                         "the root chunk is " + Quoted(root.text) + ", not \"ucft\"");
  }
  TextToken token = root;
  for (;;) {
    if (token.kind == Kind::kWord && (chunks.empty() || !open.empty())) {
      TextChunkTokenizer ahead = tokens;
      TextToken after = ahead.Next();
      if (chunks.empty() && after.kind != Kind::kOpen) {
        throw ChunkFileError(LinePlace(after.line), "\"{\" is missing after the root chunk's name");
      }
      if (after.kind == Kind::kOpen) {
        if (token.text.size() != 4) {
          throw ChunkFileError(LinePlace(token.line),
                               "chunk name " + Quoted(token.text) + " is not four characters");
        }
        if (open.size() >= static_cast<size_t>(kMaxChunkDepth)) {
          throw ChunkFileError(LinePlace(token.line),
                               "chunk " + Quoted(token.text) + " nests deeper than " +
                                   std::to_string(kMaxChunkDepth) + " chunks");
        }
        tokens = ahead;
        if (!open.empty()) ++chunks[open.back()].childCount;
        ChunkEntry entry;
        entry.name = std::string(token.text);
        entry.depth = static_cast<int32_t>(open.size());
        entry.place = token.line;
        entry.bodyBegin = after.end;
        entry.bodyLine = after.line;
        open.push_back(chunks.size());
        chunks.push_back(std::move(entry));
      } else if (IsTextNumber(token.text)) {
        ++chunks[open.back()].bodySize;
      } else {
        throw ChunkFileError(LinePlace(token.line),
                             Quoted(token.text) + " is neither a number nor a chunk name");
      }
    } else if (open.empty()) {
      if (token.kind == Kind::kEnd) return chunks;
      break;
    } else if (token.kind == Kind::kString) {
      ++chunks[open.back()].bodySize;
    } else if (token.kind == Kind::kClose) {
      chunks[open.back()].bodyEnd = token.begin;
      open.pop_back();
    } else if (token.kind == Kind::kOpen) {
      throw ChunkFileError(LinePlace(token.line), "\"{\" without a chunk name before it");
    } else {
      const ChunkEntry& chunk = chunks[open.back()];
      throw ChunkFileError(LinePlace(token.line),
                           "the file ends inside chunk " + Quoted(chunk.name) + " of " +
                               LinePlace(chunk.place) + ", which is not closed");
    }
    token = tokens.Next();
  }
  throw ChunkFileError(LinePlace(token.line), "text after the root chunk");
}

TextToken& TextValueReader::Peek() {
  // Child chunks are skipped whole: a name, "{", and all up to its "}".
  while (!peeked) {
    next = tokens.Next();
    if (next.kind == Kind::kWord) {
      TextChunkTokenizer ahead = tokens;
      if (ahead.Next().kind == Kind::kOpen) {
        tokens = ahead;
        for (int depth = 1; depth > 0;) {
          Kind kind = tokens.Next().kind;
          if (kind == Kind::kOpen) ++depth;
          if (kind == Kind::kClose) --depth;
          if (kind == Kind::kEnd) break;
        }
        continue;
      }
    }
    peeked = true;
  }
  return next;
}

bool TextValueReader::AtEnd() { return Peek().kind == Kind::kEnd; }

std::string TextValueReader::Place() { return LinePlace(Peek().line); }

TextToken TextValueReader::ReadToken() {
  TextToken token = Peek();
  if (token.kind == Kind::kEnd) throw ChunkFileError(LinePlace(token.line), "a value is missing");
  peeked = false;
  return token;
}

int64_t TextValueReader::ReadInteger(int64_t low, int64_t high, const char* what) {
  TextToken token = ReadToken();
  std::optional<int64_t> value;
  if (token.kind == Kind::kWord) value = ParseInteger(token.text);
  if (!value || *value < low || *value > high) {
    throw ChunkFileError(LinePlace(token.line), Quoted(token.text) + " is not " + what);
  }
  return *value;
}

std::string TextValueReader::ReadString() {
  TextToken token = ReadToken();
  if (token.kind != Kind::kString) {
    throw ChunkFileError(LinePlace(token.line), Quoted(token.text) + " is not a string");
  }
  return std::string(token.text);
}
