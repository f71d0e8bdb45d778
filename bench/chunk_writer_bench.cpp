// Writing a 4 MiB body one WriteByte at a time through each writer into a
// real file, chunk headers back-patched at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "output/binary_chunk_writer.h"
#include "output/text_chunk_writer.h"
#include "output/tool_file.h"

namespace {

constexpr uint32_t kBodySize = 4 * 1024 * 1024;

std::string OutputPath() {
  return (std::filesystem::temp_directory_path() / "tolscript-chunk-writer-bench.out").string();
}

template <typename Writer>
void WriteBody(benchmark::State& state) {
  const std::string path = OutputPath();
  for (auto _ : state) {
    ToolFile file;
    if (!file.OpenForOutput(path.c_str(), false)) {
      state.SkipWithError("cannot open the output file");
      return;
    }
    {
      Writer writer(&file);
      writer.OpenChunk("ucfb");
      writer.OpenChunk("BODY");
      for (uint32_t i = 0; i < kBodySize; ++i) writer.WriteByte(static_cast<uint8_t>(i));
      writer.CloseChunk();
      writer.CloseChunk();
    }
    file.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBodySize);
  std::error_code error;
  std::filesystem::remove(path, error);
}

void BM_BinaryChunkWriterWriteByte(benchmark::State& state) {
  WriteBody<BinaryChunkWriter>(state);
}
void BM_TextChunkWriterWriteByte(benchmark::State& state) {
  WriteBody<TextChunkWriter>(state);
}

BENCHMARK(BM_BinaryChunkWriterWriteByte)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextChunkWriterWriteByte)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
