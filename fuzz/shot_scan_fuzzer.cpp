// The cinematic shot scan on arbitrary text: at most one group, "shot", of
// non-empty, lower-case, distinct names, each standing in the text after a
// quote; a second scan of the same text adds nothing.
#include <set>
#include <string>

#include "framework/tool_string.h"
#include "fuzz/fuzz_check.h"
#include "platform/path_rules.h"
#include "scripttool/shot_requirements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string lowered = platform::ToLowerAscii(text);
  ToolStringNode root(ToolString("req"));
  for (size_t scan = 0, found = 0; scan < 2; ++scan, found = root.FirstChild()->ChildCount()) {
    CollectShotRequirements(text, &root);
    const ToolStringNode* group = root.FirstChild();
    if (group == nullptr) return 0;
    FUZZ_CHECK(std::string(group->Name().Text()) == "shot" && !group->Next(), "one group");
    std::set<std::string> shots;
    for (const ToolStringNode* name = group->FirstChild(); name; name = name->Next()) {
      std::string shot = name->Name().Text();
      FUZZ_CHECK(!shot.empty() && platform::ToLowerAscii(shot) == shot, "a shot name's case");
      FUZZ_CHECK(lowered.find("'" + shot) != std::string::npos, "not in text");
      FUZZ_CHECK(shots.insert(shot).second, "a repeated shot");
    }
    FUZZ_CHECK(!shots.empty() && group->ChildCount() == shots.size(), "the child count");
    FUZZ_CHECK(scan == 0 || shots.size() == found, "a second scan added shots");
  }
  return 0;
}
