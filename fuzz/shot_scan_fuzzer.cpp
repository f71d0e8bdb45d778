// The cinematic shot scan on arbitrary text: one group "shot" of
// non-empty, lower-case, distinct names, each standing in the text after a
// quote, and a second scan of the same text adds nothing.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "framework/tool_string.h"
#include "fuzz/fuzz_check.h"
#include "platform/path_rules.h"
#include "scripttool/shot_requirements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string lowered = platform::ToLowerAscii(text);
  ToolStringNode root(ToolString("req"));
  CollectShotRequirements(text, &root);
  const ToolStringNode* group = root.FirstChild();
  if (group == nullptr) return 0;
  FUZZ_CHECK(std::string_view(group->Name().Text()) == "shot" && group->Next() == nullptr,
             "a group other than \"shot\"");

  std::set<std::string> shots;
  for (const ToolStringNode* name = group->FirstChild(); name != nullptr; name = name->Next()) {
    std::string shot = name->Name().Text();
    FUZZ_CHECK(!shot.empty() && platform::ToLowerAscii(shot) == shot, "a shot name's case");
    FUZZ_CHECK(lowered.find("'" + shot) != std::string::npos, "a shot name not in the text");
    FUZZ_CHECK(shots.insert(shot).second, "a repeated shot");
  }
  FUZZ_CHECK(group->ChildCount() == shots.size() && !shots.empty(), "child count");

  CollectShotRequirements(text, &root);
  FUZZ_CHECK(root.FirstChild() == group && group->ChildCount() == shots.size(),
             "a second scan added shots");
  return 0;
}
