#include "scripttool/shot_requirements.h"

#include "framework/tool_string.h"
#include "output/chunk_writer.h"

namespace {

constexpr std::string_view kShotCall = "PlayCinematicShot";

// The shot a line plays, or an empty view. Only the first call counts, and
// not when a comment marker stands before it.
std::string_view ShotOnLine(std::string_view line) {
  size_t call = line.find(kShotCall);
  if (call == std::string_view::npos) return {};
  size_t comment = line.find("--");
  if (comment != std::string_view::npos && comment < call) return {};
  size_t open = line.find('\'', call + kShotCall.size());
  if (open == std::string_view::npos) return {};
  size_t close = line.find('\'', open + 1);
  if (close == std::string_view::npos) close = line.size();
  return line.substr(open + 1, close - open - 1);
}

}  // namespace

void CollectShotRequirements(std::string_view scriptText, ToolStringNode* root) {
  size_t start = 0;
  while (start < scriptText.size()) {
    size_t end = scriptText.find('\n', start);
    if (end == std::string_view::npos) end = scriptText.size();
    std::string_view line = scriptText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;

    std::string_view shot = ShotOnLine(line);
    if (shot.empty()) continue;
    ToolString name = ToolString(shot.data(), shot.data() + shot.size()).ToLower();
    // A NUL inside the name leaves nothing to require.
    if (name.NotEmpty()) root->AddChild(ToolString("shot"))->AddChild(name);
  }
}

void WriteRequirements(ChunkWriter* reqWriter, const ToolStringNode& root) {
  if (!reqWriter->OpenChunk("REQN")) return;
  for (ToolStringNode* group = root.FirstChild(); group != nullptr; group = group->Next()) {
    reqWriter->WriteString(group->Name().ToLower());
    for (ToolStringNode* name = group->FirstChild(); name != nullptr; name = name->Next()) {
      reqWriter->WriteString(name->Name().ToLower());
    }
  }
  reqWriter->CloseChunk();
}
