// Chunk-writer calls chosen by the input's bytes, on a BinaryChunkWriter
// over a real ToolFile, read back by the tests' independent reader of the
// binary form: the tree, every value, every run-length encoded run and the
// layout (sizes, padding) must be what the calls asked for.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "output/binary_chunk_writer.h"
#include "output/tool_file.h"
#include "tests/output/binary_chunk_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("tolscript-chunk-fuzz-" + std::to_string(std::random_device()())))
          .string();
  struct Step {
    char kind;  // (E)nter, (L)eave, (B)yte, (D)word, (S)tring, data (X), (R)un, (A)lign
    std::string text;
    std::vector<uint32_t> values;
  };
  std::vector<Step> steps;
  size_t at = 0;
  auto next = [&] { return at < size ? data[at++] : uint8_t{0}; };
  auto bytes = [&](size_t count) {
    std::string text(reinterpret_cast<const char*>(data) + at, std::min(count, size - at));
    at += text.size();
    return text;
  };
  auto dword = [&] {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{next()} << (8 * i);
    return value;
  };
  {
    ToolFile file;
    FUZZ_CHECK(file.OpenForOutput(path.c_str(), true), "OpenForOutput");
    BinaryChunkWriter writer(&file);
    writer.OpenChunk("ucfb");
    steps.push_back({'E', "ucfb", {}});
    while (at < size) {
      Step step{"ELBDSXRA"[next() % 8], {}, {}};
      if (step.kind == 'E' && writer.GetDepth() < BinaryChunkWriter::kMaxDepth) {
        uint32_t id = dword();
        step.text = {static_cast<char>(id), static_cast<char>(id >> 8),
                     static_cast<char>(id >> 16), static_cast<char>(id >> 24)};
        writer.OpenChunk(id);
      } else if (step.kind == 'L' && writer.GetDepth() > 1) {
        writer.CloseChunk();
      } else if (step.kind == 'B') {
        step.values = {next()};
        writer.WriteByte(static_cast<uint8_t>(step.values[0]));
      } else if (step.kind == 'D') {
        step.values = {dword()};
        writer.WriteDword(step.values[0]);
      } else if (step.kind == 'S') {
        step.text = bytes(next() % 16);
        step.text = step.text.substr(0, step.text.find('\0'));
        writer.WriteString(step.text.c_str());
      } else if (step.kind == 'X') {
        step.text = bytes(next() * 300u);  // past the output buffer at times
        writer.WriteData(step.text.data(), static_cast<uint32_t>(step.text.size()));
      } else if (step.kind == 'R') {
        for (uint8_t c : bytes(next() % 64)) step.values.push_back(c);
        for (uint32_t value : step.values) writer.RLEWrite(value, 8);
        writer.RLEFlush();
      } else if (step.kind == 'A') {
        writer.Align();
      } else {
        continue;
      }
      steps.push_back(step);
    }
    for (; writer.GetDepth() > 0; steps.push_back({'L', {}, {}})) writer.CloseChunk();
    file.Close();
  }
  std::ostringstream written;
  written << std::ifstream(path, std::ios::binary).rdbuf();
  output_test::BinaryChunkReader reader(written.str());
  try {
    for (const Step& step : steps) {
      switch (step.kind) {
        case 'E': FUZZ_CHECK(reader.EnterChunk() == step.text, "chunk name"); break;
        case 'L': reader.LeaveChunk(); break;
        case 'B': FUZZ_CHECK(reader.Byte() == step.values[0], "byte"); break;
        case 'D': FUZZ_CHECK(reader.Dword() == step.values[0], "dword"); break;
        case 'S': FUZZ_CHECK(reader.String() == step.text, "string"); break;
        case 'X': FUZZ_CHECK(reader.Data(step.text.size()) == step.text, "data"); break;
        case 'R':
          FUZZ_CHECK(reader.RunLengthDecoded(step.values.size(), 8) == step.values, "run");
          break;
        case 'A':
          while (reader.Offset() % 4 != 0) FUZZ_CHECK(reader.Byte() == 0, "padding");
          break;
      }
    }
  } catch (const std::runtime_error& error) {
    FUZZ_CHECK(false, error.what());
  }
  FUZZ_CHECK(reader.Done(), "the file goes on after the root chunk");
  std::filesystem::remove(path);
  return 0;
}
