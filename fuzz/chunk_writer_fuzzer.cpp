// Random sequences of chunk-writer calls on a BinaryChunkWriter over a real
// ToolFile, read back by the tests' independent reader of the binary form:
// the tree, every value and the layout (sizes, padding) must be what the
// calls asked for. The nesting limit and the run-length width rule must
// raise their internal errors and leave the writer usable.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "output/binary_chunk_writer.h"
#include "output/messages.h"
#include "output/tool_file.h"
#include "platform/platform.h"
#include "tests/output/binary_chunk_reader.h"

namespace {

// What the reader must find next.
struct Expect {
  enum Kind { kEnter, kLeave, kByte, kWord, kDword, kFloat, kString, kData, kRun, kAlign };
  explicit Expect(Kind kind, uint32_t value = 0, std::string text = {})
      : kind(kind), value(value), text(std::move(text)) {}

  Kind kind;
  uint32_t value;                // a value; the width of a run
  std::string text;              // a chunk name, string or data
  std::vector<uint32_t> values;  // a run's elements, cut to their width
};

// Made once: a fresh directory for the output, which also serves as the
// drive root, so that no report reaches the real root's munge log.
std::filesystem::path outputDir;
std::string outputPath;

void RemoveOutputDir() {
  std::error_code ignored;
  std::filesystem::remove_all(outputDir, ignored);
}

uint32_t WidthMask(uint32_t width) {
  return width == 8 ? 0xFFu : width == 16 ? 0xFFFFu : 0xFFFFFFFFu;
}

std::string PackedName(uint32_t id) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += static_cast<char>((id >> (8 * i)) & 0xFF);
  return name;
}

// The first four characters up to a NUL, filled up with '_'.
std::string FilledName(const char* name) {
  std::string filled;
  for (int i = 0; name != nullptr && i < 4 && name[i] != '\0'; ++i) filled += name[i];
  filled.resize(4, '_');
  return filled;
}

template <typename Call>
void ExpectRaise(Call call, const char* message) {
  try {
    call();
  } catch (const HandyException& exception) {
    FUZZ_CHECK(std::strcmp(exception.GetMessage(), message) == 0, exception.GetMessage());
    return;
  }
  FUZZ_CHECK(false, message);
}

class Session {
 public:
  Session(FuzzedDataProvider& input, ToolFile& file) : input(input), writer(&file) {}

  void Play() {
    Open();
    bool dived = false;
    bool mixed = false;
    bool done = false;
    for (int step = 0; step < 4000 && !done && input.remaining_bytes() > 0; ++step) {
      switch (input.ConsumeIntegralInRange(0, 14)) {
        case 0: case 1: if (depth < BinaryChunkWriter::kMaxDepth) Open(); break;
        case 2: case 3: if (depth > 1) Close(); break;
        case 4: Byte(); break;
        case 5: Word(); break;
        case 6: Dword(); break;
        case 7: Float(); break;
        case 8: String(); break;
        case 9: Data(); break;
        case 10: RunLength(); break;
        case 11:
          writer.Align();
          expected.push_back(Expect(Expect::kAlign));
          break;
        case 12:
          if (!dived) Dive();
          dived = true;
          break;
        case 13:
          if (!mixed && rleWidth != 0) MixedWidth();
          mixed = true;
          break;
        case 14: done = true; break;
      }
      FUZZ_CHECK(writer.GetDepth() == depth, "GetDepth");
    }
    while (depth > 0) Close();
    if (input.ConsumeBool()) {
      ExpectRaise([&] { writer.CloseChunk(); }, "[INTERNAL: Chunk nesting underflow]");
      FUZZ_CHECK(writer.GetDepth() == 0, "an underflow changed the depth");
    }
  }

  std::vector<Expect> expected;

 private:
  FuzzedDataProvider& input;
  BinaryChunkWriter writer;
  int32_t depth = 0;
  // The encoder's width stays from its first value until a chunk is
  // opened by name.
  uint32_t rleWidth = 0;
  size_t bigBytes = 0;

  void Open() {
    if (input.ConsumeBool()) {
      uint32_t id = input.ConsumeIntegral<uint32_t>();
      FUZZ_CHECK(writer.OpenChunk(id), "OpenChunk(id) failed");
      expected.push_back(Expect(Expect::kEnter, 0, PackedName(id)));
    } else {
      size_t length = input.ConsumeIntegralInRange<size_t>(0, 7);
      std::string name = input.ConsumeBytesAsString(length % 7);
      const char* text = length == 7 ? nullptr : name.c_str();
      FUZZ_CHECK(writer.OpenChunk(text), "OpenChunk failed");
      expected.push_back(Expect(Expect::kEnter, 0, FilledName(text)));
      rleWidth = 0;
    }
    ++depth;
  }

  void Close() {
    writer.CloseChunk();
    expected.push_back(Expect(Expect::kLeave));
    --depth;
  }

  void Byte() {
    uint8_t value = input.ConsumeIntegral<uint8_t>();
    writer.WriteByte(value);
    expected.push_back(Expect(Expect::kByte, value));
  }
  void Word() {
    uint16_t value = input.ConsumeIntegral<uint16_t>();
    writer.WriteWord(value);
    expected.push_back(Expect(Expect::kWord, value));
  }
  void Dword() {
    uint32_t value = input.ConsumeIntegral<uint32_t>();
    writer.WriteDword(value);
    expected.push_back(Expect(Expect::kDword, value));
  }
  void Float() {
    uint32_t bits = input.ConsumeIntegral<uint32_t>();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    writer.WriteFloat(value);
    expected.push_back(Expect(Expect::kFloat, bits));
  }

  void String() {
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 41);
    if (length == 41) {
      writer.WriteString(static_cast<const char*>(nullptr));
      expected.push_back(Expect(Expect::kString));
      return;
    }
    std::string text = input.ConsumeBytesAsString(length);
    writer.WriteString(text.c_str());
    expected.push_back(Expect(Expect::kString, 0, text.substr(0, text.find('\0'))));
  }

  void Data() {
    std::string data;
    if (input.ConsumeBool()) {
      data = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64));
    } else if (bigBytes < (512u << 10)) {
      // Past the file's 64 KiB buffer, so that headers are patched in bytes
      // already handed to the stream.
      size_t size = input.ConsumeIntegralInRange<size_t>(0, 100000);
      uint8_t seed = input.ConsumeIntegral<uint8_t>();
      // A block of prime length repeated, so a shifted copy shows.
      std::string block(4093, '\0');
      for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(seed + i * 7 + (i >> 8));
      }
      while (data.size() < size) data.append(block, 0, std::min(block.size(), size - data.size()));
      bigBytes += size;
    }
    writer.WriteData(data.data(), static_cast<uint32_t>(data.size()));
    expected.push_back(Expect(Expect::kData, 0, data));
  }

  // Values that repeat often enough to make runs, ended by RLEFlush or by
  // closing the chunk.
  void RunLength() {
    static const uint32_t kWidths[] = {8, 16, 32};
    uint32_t width = rleWidth != 0 ? rleWidth : kWidths[input.ConsumeIntegralInRange(0, 2)];
    rleWidth = width;
    size_t count = input.ConsumeIntegralInRange<size_t>(1, 700);
    Expect run(Expect::kRun, width);
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
      uint8_t choice = input.ConsumeIntegral<uint8_t>();
      // Values wider than the width are cut by the writer, not refused.
      if (choice < 96) value = input.ConsumeIntegral<uint32_t>();
      else if (choice < 160) value ^= choice & 3;
      writer.RLEWrite(value, static_cast<int32_t>(width));
      run.values.push_back(value & WidthMask(width));
    }
    expected.push_back(run);
    if (depth > 1 && input.ConsumeBool()) {
      Close();
    } else {
      writer.RLEFlush();
    }
  }

  void Dive() {
    while (depth < BinaryChunkWriter::kMaxDepth) Open();
    bool byName = input.ConsumeBool();
    ExpectRaise([&] { byName ? writer.OpenChunk("deep") : writer.OpenChunk(0x70656564u); },
                "[INTERNAL: Chunk nesting overflow]");
    if (byName) rleWidth = 0;  // the reset comes before the refusal
    FUZZ_CHECK(writer.GetDepth() == BinaryChunkWriter::kMaxDepth, "overflow changed the depth");
  }

  void MixedWidth() {
    uint32_t other = rleWidth == 8 ? 16 : 8;
    ExpectRaise([&] { writer.RLEWrite(1, static_cast<int32_t>(other)); },
                "[INTERNAL: Can't Run-Length Encode mixed width data]");
  }
};

void Verify(std::string bytes, const std::vector<Expect>& expected) {
  output_test::BinaryChunkReader reader(std::move(bytes));
  try {
    for (const Expect& e : expected) {
      switch (e.kind) {
        case Expect::kEnter: FUZZ_CHECK(reader.EnterChunk() == e.text, "chunk name"); break;
        case Expect::kLeave: reader.LeaveChunk(); break;
        case Expect::kByte: FUZZ_CHECK(reader.Byte() == e.value, "byte"); break;
        case Expect::kWord: FUZZ_CHECK(reader.Word() == e.value, "word"); break;
        case Expect::kDword: FUZZ_CHECK(reader.Dword() == e.value, "dword"); break;
        case Expect::kFloat: {
          float value = reader.Float();
          uint32_t bits;
          std::memcpy(&bits, &value, sizeof bits);
          FUZZ_CHECK(bits == e.value, "float bits");
          break;
        }
        case Expect::kString: FUZZ_CHECK(reader.String() == e.text, "string"); break;
        case Expect::kData: FUZZ_CHECK(reader.Data(e.text.size()) == e.text, "data"); break;
        case Expect::kRun: {
          int width = static_cast<int>(e.value);
          FUZZ_CHECK(reader.RunLengthDecoded(e.values.size(), width) == e.values,
                     "run-length values");
          break;
        }
        case Expect::kAlign:
          while (reader.Offset() % 4 != 0) FUZZ_CHECK(reader.Byte() == 0, "alignment padding");
          break;
      }
    }
  } catch (const std::runtime_error& error) {
    FUZZ_CHECK(false, error.what());
  }
  FUZZ_CHECK(reader.Done(), "the file goes on after the root chunk");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::random_device random;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  do {
    outputDir = base / ("tolscript-chunk-fuzz-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(outputDir));
  std::atexit(RemoveOutputDir);
  outputPath = (outputDir / "chunks.bin").string();
  platform::SetEnv("MUNGE_DRIVE_ROOT", outputDir.string());
  SetConsoleLevel(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<Expect> expected;
  uint32_t written;
  {
    ToolFile file;
    FUZZ_CHECK(file.OpenForOutput(outputPath.c_str(), true), "OpenForOutput");
    Session session(input, file);
    session.Play();
    written = file.GetSize();
    FUZZ_CHECK(file.Tell() == written, "the file does not end where the writer stopped");
    file.Close();
    expected = std::move(session.expected);
  }
  // The temporary file went into place; nothing else is left beside it.
  auto entries = std::filesystem::directory_iterator(outputDir);
  FUZZ_CHECK(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)) == 1,
             "a temporary file was left beside the output");
  std::error_code error;
  uintmax_t fileSize = std::filesystem::file_size(outputPath, error);
  FUZZ_CHECK(!error && fileSize == written, "file size differs from GetSize");
  std::string bytes(written, '\0');
  std::ifstream stream(outputPath, std::ios::binary);
  FUZZ_CHECK(stream.read(bytes.data(), static_cast<std::streamsize>(bytes.size())).good(),
             "output not readable");
  Verify(std::move(bytes), expected);
  return 0;
}
