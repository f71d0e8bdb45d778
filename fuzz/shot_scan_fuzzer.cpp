// The cinematic shot scan on arbitrary text (two scripts, split at the
// first NUL, scanned into one tree as a run does): the group "shot" holds
// non-empty, lower-case, distinct names, exactly those a line-by-line model
// of the rule finds, and the "REQN" chunk writes them in that order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/tool_string.h"
#include "fuzz/fuzz_check.h"
#include "output/chunk_writer.h"
#include "scripttool/shot_requirements.h"

namespace {

std::string Lower(std::string_view text) {
  std::string result;
  for (char c : text) result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  return result;
}

// A line plays the shot named in the first single quotes after its first
// "PlayCinematicShot", unless "--" stands before that call; a missing
// closing quote lets the name run to the end of the line. The name ends at
// a NUL.
void ModelScan(std::string_view text, std::vector<std::string>* shots) {
  const std::string call = "PlayCinematicShot";
  while (!text.empty()) {
    size_t newline = text.find('\n');
    std::string line(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();

    size_t at = line.find(call);
    if (at == std::string::npos || line.substr(0, at).find("--") != std::string::npos) continue;
    std::string after = line.substr(at + call.size());
    size_t open = after.find('\'');
    if (open == std::string::npos) continue;
    std::string name = after.substr(open + 1);
    name = name.substr(0, name.find('\''));
    name = Lower(name.substr(0, name.find('\0')));
    if (name.empty()) continue;
    bool seen = false;
    for (const std::string& shot : *shots) seen = seen || shot == name;
    if (!seen) shots->push_back(name);
  }
}

// Keeps the strings written into "REQN" and checks the chunk calls around
// them.
class StringRecorder : public ChunkWriter {
 public:
  bool OpenChunk(const char* name) override {
    FUZZ_CHECK(depth == 0 && std::string_view(name) == "REQN", "requirements chunk");
    ++depth;
    ++opened;
    return true;
  }
  void CloseChunk() override {
    FUZZ_CHECK(depth == 1, "close without open");
    --depth;
  }
  int32_t GetDepth() override { return depth; }
  void WriteByte(uint8_t) override { FUZZ_CHECK(false, "byte in REQN"); }
  void WriteWord(uint16_t) override { FUZZ_CHECK(false, "word in REQN"); }
  void WriteDword(uint32_t) override { FUZZ_CHECK(false, "dword in REQN"); }
  void WriteFloat(float) override { FUZZ_CHECK(false, "float in REQN"); }
  void WriteString(const char* text) override {
    FUZZ_CHECK(depth == 1, "string outside REQN");
    strings.emplace_back(text);
  }
  using ChunkWriter::WriteString;
  void WriteData(const void*, uint32_t) override { FUZZ_CHECK(false, "data in REQN"); }
  void Align() override { FUZZ_CHECK(false, "align in REQN"); }

  std::vector<std::string> strings;
  int32_t depth = 0;
  int opened = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\0');
  std::string_view first = input.substr(0, split);
  std::string_view second =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  ToolStringNode root(ToolString("req"));
  CollectShotRequirements(first, &root);
  CollectShotRequirements(second, &root);
  std::vector<std::string> expected;
  ModelScan(first, &expected);
  ModelScan(second, &expected);

  FUZZ_CHECK(std::string_view(root.Name().Text()) == "req", "root renamed");
  std::vector<std::string> shots;
  const ToolStringNode* group = root.FirstChild();
  if (group != nullptr) {
    FUZZ_CHECK(std::string_view(group->Name().Text()) == "shot", "group other than \"shot\"");
    FUZZ_CHECK(group->Next() == nullptr, "a second group");
    FUZZ_CHECK(group->FirstChild() != nullptr, "an empty group");
    for (const ToolStringNode* name = group->FirstChild(); name != nullptr; name = name->Next()) {
      std::string shot = name->Name().Text();
      FUZZ_CHECK(!shot.empty(), "empty shot name");
      FUZZ_CHECK(Lower(shot) == shot, "shot name not lower-case");
      for (const std::string& earlier : shots) FUZZ_CHECK(earlier != shot, "repeated shot");
      FUZZ_CHECK(name->ChildCount() == 0, "a shot with children");
      shots.push_back(shot);
    }
    FUZZ_CHECK(group->ChildCount() == shots.size(), "child count");
  }
  FUZZ_CHECK(shots == expected, "shots differ from the rule");

  StringRecorder recorder;
  WriteRequirements(&recorder, root);
  FUZZ_CHECK(recorder.opened == 1 && recorder.depth == 0, "REQN not written once");
  std::vector<std::string> strings;
  if (!shots.empty()) strings.push_back("shot");
  strings.insert(strings.end(), shots.begin(), shots.end());
  FUZZ_CHECK(recorder.strings == strings, "REQN strings");
  return 0;
}
