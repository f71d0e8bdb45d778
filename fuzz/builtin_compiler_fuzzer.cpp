// The built-in compile path on arbitrary scripts (and compiled code, which
// luac also takes): compiling never fails otherwise with or without debug
// information; our stripping of the full code gives the stripped code,
// stripping it again changes nothing, and Lua loads it back to the same
// bytes. Arbitrary bytes handed to the stripping are refused or stripped
// for good.
#include <string>

#include "fuzz/fuzz_check.h"
#include "scripttool/builtin_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // Small enough for the fuzzer's memory limit, large enough for its inputs.
  const size_t cap = size_t{64} << 20;
  BuiltinCompile full = CompileLuaText(text, "@fuzz.lua", false, cap);
  BuiltinCompile stripped = CompileLuaText(text, "@fuzz.lua", true, cap);
  FUZZ_CHECK(full.succeeded == stripped.succeeded, "stripping changed the outcome");
  if (!full.succeeded) {
    FUZZ_CHECK(!full.message.empty(), "a failure without a message");
    FUZZ_CHECK(full.message == stripped.message, "stripping changed the message");
  } else {
    FUZZ_CHECK(StripDebugInformation(full.code) == stripped.code, "stripping the full code");
    FUZZ_CHECK(StripDebugInformation(stripped.code) == stripped.code, "stripping twice");
    FUZZ_CHECK(stripped.code.size() <= full.code.size(), "stripped code grew");
    BuiltinCompile reloaded = CompileLuaText(stripped.code, "=again", true, cap);
    FUZZ_CHECK(reloaded.succeeded, "Lua refused the stripped code");
    FUZZ_CHECK(reloaded.code == stripped.code, "the stripped code reloaded differs");
  }
  if (std::optional<std::string> bytes = StripDebugInformation(text)) {
    FUZZ_CHECK(StripDebugInformation(*bytes) == bytes, "stripped bytes stripped again");
  }
  return 0;
}
