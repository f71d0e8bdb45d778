// Lua 5.1's own parser and dumper inside the program ("-compiler builtin"):
// the bytes and messages of "luac [-s] -o FILE path" without starting it.
// Each compile has a Lua state of its own, so compiles may run in threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct BuiltinCompile {
  bool succeeded = false;
  std::string code;     // what luac would write into its file
  std::string message;  // what luac would print after "luac: ", when it failed
};

// A compile's Lua state may hold at most this much memory; past it the
// compile fails as luac does, with "not enough memory".
constexpr size_t kBuiltinMemoryCap = size_t{256} << 20;

// Compiles the file at `nativePath` as luac does, its chunk named "@"
// followed by the path; `strip` leaves out the debug information ("-s").
// A compile whose `cancel` becomes true ends soon, failed.
BuiltinCompile CompileLuaFile(const std::string& nativePath, bool strip,
                              const std::atomic<bool>* cancel = nullptr,
                              size_t memoryCap = kBuiltinMemoryCap);

// The same for a script in memory, with the chunk name given.
BuiltinCompile CompileLuaText(std::string_view text, const std::string& chunkName, bool strip,
                              size_t memoryCap = kBuiltinMemoryCap);

// Compiled Lua 5.1 code without its debug information (source names, line
// numbers, names of locals and upvalues), nested functions too: what luac
// writes with "-s". The sizes come from the code's own header; nothing when
// the bytes are not such code.
std::optional<std::string> StripDebugInformation(std::string_view code);

// The Lua release the built-in compiler is, e.g. "Lua 5.1.5".
const char* BuiltinCompilerRelease();
