// Times a munge over a layered tree (source, platform and two override
// roots) with a trivial conversion, then the "-checkdate" run that finds
// everything up to date. Usage: munge_tree_bench [inputs...]
// (default 10000 100000). Prints wall times and the cost per input.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/batch_tool.h"
#include "output/chunk_writer.h"
#include "output/messages.h"

namespace fs = std::filesystem;

namespace {

class CopyTool : public BatchTool {
 public:
  void MungeFile(ChunkWriter* writer, ChunkWriter*, ToolString&, ToolString& name) override {
    if (writer->OpenChunk("TEST")) {
      writer->WriteString(name);
      writer->CloseChunk();
    }
    ++munged;
  }
  ToolString GetOutputExtension() override { return ToolString("out"); }
  long munged = 0;
};

void Touch(const fs::path& path) {
  std::ofstream(path, std::ios::binary) << "x";
}

// 100 files per directory; the platform root overrides every tenth file,
// each override root every twentieth.
void BuildTree(const fs::path& root, long inputs) {
  for (long i = 0; i < inputs; ++i) {
    fs::path dir = fs::path("d" + std::to_string(i / 100));
    std::string name = "Script" + std::to_string(i) + ".lua";
    if (i % 100 == 0) {
      for (const char* layer : {"src", "plat", "ov1", "ov2"}) fs::create_directories(root / layer / dir);
    }
    Touch(root / "src" / dir / name);
    if (i % 10 == 0) Touch(root / "plat" / dir / name);
    if (i % 20 == 0) Touch(root / "ov1" / dir / name);
    if (i % 20 == 5) Touch(root / "ov2" / dir / name);
  }
}

double RunOnce(std::vector<const char*> argv, long* munged) {
  CopyTool tool;
  auto start = std::chrono::steady_clock::now();
  tool.Run(static_cast<int32_t>(argv.size()), argv.data());
  auto stop = std::chrono::steady_clock::now();
  *munged = tool.munged;
  return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000};

  fs::path home = fs::current_path();
  for (long inputs : sizes) {
    fs::path root = fs::temp_directory_path() / ("tolscript-tree-" + std::to_string(inputs));
    fs::remove_all(root);
    fs::create_directories(root);
    BuildTree(root, inputs);
    fs::current_path(root);
    setenv("MUNGE_PLATFORM_DIR_STR", "plat", 1);
    setenv("MUNGE_PLATFORM_OVERRIDE_STR", "ov1;ov2", 1);

    std::vector<const char*> full = {"bench", "-inputfile", "!*.lua", "-sourcedir", "src",
                                     "-platformdir", "plat", "-quiet"};
    std::vector<const char*> noop = full;
    noop.push_back("-checkdate");
    long munged = 0;
    double fullTime = RunOnce(full, &munged);
    long upToDate = 0;
    double noopTime = RunOnce(noop, &upToDate);
    std::printf("%7ld inputs: full munge %.3f s (%ld munged, %.1f us/input); "
                "-checkdate no-op %.3f s (%ld munged, %.2f us/input)\n",
                inputs, fullTime, munged, fullTime * 1e6 / inputs, noopTime, upToDate,
                noopTime * 1e6 / inputs);
    std::fflush(stdout);
    fs::current_path(home);
    fs::remove_all(root);
  }
  return 0;
}
