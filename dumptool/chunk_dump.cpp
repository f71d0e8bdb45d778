#include "chunk_dump.h"

#include <memory>
#include <optional>
#include <vector>

#include "compiled_lua_header.h"
#include "hex_rows.h"
#include "input/binary_chunk_reader.h"
#include "input/chunk_file.h"
#include "input/chunk_file_error.h"
#include "input/text_chunk_reader.h"

namespace {

constexpr int kIndent = 2;

std::string Count(uint64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// The script tool's chunks; everything else may hold chunks or data.
ChunkContent ClassifyChunk(std::string_view name) {
  if (name == "scr_") return ChunkContent::kChunks;
  if (name == "NAME" || name == "INFO" || name == "BODY" || name == "REQN") {
    return ChunkContent::kData;
  }
  return ChunkContent::kEither;
}

class FileDump {
 public:
  FileDump(std::string_view bytes, ChunkFileForm form, const DumpOptions& options, FILE* out)
      : bytes(bytes), form(form), options(options), out(out) {}

  void Print(const std::vector<ChunkEntry>& chunks) {
    std::vector<std::string_view> parents;
    for (const ChunkEntry& chunk : chunks) {
      parents.resize(static_cast<size_t>(chunk.depth));
      std::string_view parent = parents.empty() ? std::string_view() : parents.back();
      PrintHeading(chunk);
      if (form == ChunkFileForm::kText ? chunk.bodySize > 0 : chunk.childCount == 0) {
        PrintData(chunk, parent);
      }
      parents.push_back(chunk.name);
    }
  }

 private:
  std::string_view bytes;
  ChunkFileForm form;
  const DumpOptions& options;
  FILE* out;

  void PrintHeading(const ChunkEntry& chunk) {
    std::string name = ChunkNameText(chunk.name);
    int indent = kIndent * chunk.depth;
    if (form == ChunkFileForm::kBinary) {
      std::fprintf(out, "%*s%s  %s  %s\n", indent, "", name.c_str(),
                   OffsetPlace(chunk.place).c_str(), Count(chunk.bodySize, "byte").c_str());
      return;
    }
    std::string size;
    if (chunk.bodySize > 0 || chunk.childCount == 0) size = Count(chunk.bodySize, "value");
    if (chunk.childCount > 0) size += (size.empty() ? "" : ", ") + Count(chunk.childCount, "chunk");
    std::fprintf(out, "%*s%s  %s  %s\n", indent, "", name.c_str(), LinePlace(chunk.place).c_str(),
                 size.c_str());
  }

  std::unique_ptr<ChunkValueReader> Values(const ChunkEntry& chunk) {
    if (form == ChunkFileForm::kBinary) {
      return std::make_unique<BinaryValueReader>(bytes, chunk.bodyBegin, chunk.bodyEnd);
    }
    return std::make_unique<TextValueReader>(bytes, chunk);
  }

  // The body as bytes: the binary form's own, or the text form's values
  // when every one is a byte.
  std::optional<std::string> BodyBytes(const ChunkEntry& chunk) {
    if (form == ChunkFileForm::kBinary) {
      return std::string(bytes.substr(chunk.bodyBegin, chunk.bodyEnd - chunk.bodyBegin));
    }
    std::string body;
    TextValueReader values(bytes, chunk);
    try {
      while (!values.AtEnd()) body.push_back(static_cast<char>(values.ReadByte()));
    } catch (const ChunkFileError&) {
      return std::nullopt;
    }
    return body;
  }

  // Lines of a chunk whose layout is known; nothing when the body does not
  // have it, so that it is shown raw instead.
  std::optional<std::vector<std::string>> Decode(const ChunkEntry& chunk, std::string_view parent) {
    std::vector<std::string> lines;
    try {
      std::unique_ptr<ChunkValueReader> values = Values(chunk);
      if (chunk.name == "NAME") {
        lines.push_back(Quoted(values->ReadString()));
      } else if (chunk.name == "INFO") {
        uint32_t number;
        if (form == ChunkFileForm::kText || chunk.bodySize == 4) {
          number = values->ReadDword();
        } else if (chunk.bodySize == 2) {
          number = values->ReadWord();
        } else {
          number = values->ReadByte();
        }
        lines.push_back(std::to_string(number));
      } else if (chunk.name == "REQN") {
        while (!values->AtEnd()) lines.push_back(Quoted(values->ReadString()));
      } else if (chunk.name == "BODY" && parent == "scr_") {
        std::optional<std::string> code = BodyBytes(chunk);
        if (!code) return std::nullopt;
        return DescribeCompiledLua(*code);
      } else {
        return std::nullopt;
      }
      if (!values->AtEnd()) return std::nullopt;
    } catch (const ChunkFileError&) {
      return std::nullopt;
    }
    return lines;
  }

  void PrintData(const ChunkEntry& chunk, std::string_view parent) {
    int indent = kIndent * (chunk.depth + 1);
    std::optional<std::vector<std::string>> lines = Decode(chunk, parent);
    if (lines) {
      for (const std::string& line : *lines) std::fprintf(out, "%*s%s\n", indent, "", line.c_str());
    }
    bool hexRows = !lines || (chunk.name == "BODY" && parent == "scr_");
    if (!hexRows || options.brief) return;
    if (std::optional<std::string> body = BodyBytes(chunk)) {
      PrintHexRows(out, *body, indent);
    } else {
      PrintValues(chunk, indent);
    }
  }

  // A text body that is not all bytes: its values as written, 8 a row.
  void PrintValues(const ChunkEntry& chunk, int indent) {
    TextValueReader values(bytes, chunk);
    std::string row;
    int onRow = 0;
    while (!values.AtEnd()) {
      TextToken token = values.ReadToken();
      if (onRow > 0) row += ' ';
      row += token.kind == TextToken::Kind::kString ? Quoted(token.text) : std::string(token.text);
      if (++onRow == 8) {
        std::fprintf(out, "%*s%s\n", indent, "", row.c_str());
        row.clear();
        onRow = 0;
      }
    }
    if (onRow > 0) std::fprintf(out, "%*s%s\n", indent, "", row.c_str());
  }
};

}  // namespace

void DumpChunkFile(const std::string& label, std::string_view bytes, const DumpOptions& options,
                   bool blankLineFirst, FILE* out) {
  ChunkFileForm form = DetectChunkFileForm(bytes);
  std::vector<ChunkEntry> chunks = form == ChunkFileForm::kBinary
                                       ? ReadBinaryChunks(bytes, ClassifyChunk)
                                       : ReadTextChunks(bytes);
  if (blankLineFirst) std::fputc('\n', out);
  std::fprintf(out, "%s: %s chunk file, %s\n", label.c_str(),
               form == ChunkFileForm::kBinary ? "binary" : "text",
               Count(bytes.size(), "byte").c_str());
  FileDump(bytes, form, options, out).Print(chunks);
}
