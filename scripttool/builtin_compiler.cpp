#include "scripttool/builtin_compiler.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

namespace {

// The Lua state's memory, counted against the cap. A cancelled compile is
// refused every new byte, so the parser gives up at once.
struct Allocator {
  size_t used = 0;
  size_t cap = 0;
  const std::atomic<bool>* cancel = nullptr;
};

void* Allocate(void* data, void* block, size_t oldSize, size_t newSize) {
  auto* allocator = static_cast<Allocator*>(data);
  if (newSize == 0) {
    std::free(block);
    allocator->used -= oldSize;
    return nullptr;
  }
  if (newSize > oldSize) {
    if (allocator->cancel != nullptr && allocator->cancel->load(std::memory_order_relaxed))
      return nullptr;
    if (newSize - oldSize > allocator->cap - allocator->used) return nullptr;
  }
  void* resized = std::realloc(block, newSize);
  // Lua takes a failed shrink for a memory error; the old block still fits.
  if (resized == nullptr) return newSize < oldSize ? block : nullptr;
  allocator->used = allocator->used - oldSize + newSize;
  return resized;
}

struct Compile {
  const char* path = nullptr;  // or the text:
  std::string_view text;
  const char* chunkName = nullptr;
  bool textRead = false;
  std::string* code = nullptr;
  int dumpStatus = 0;
};

const char* ReadText(lua_State*, void* data, size_t* size) {
  auto* compile = static_cast<Compile*>(data);
  if (compile->textRead) return nullptr;
  compile->textRead = true;
  *size = compile->text.size();
  return compile->text.data();
}

int WriteCode(lua_State*, const void* bytes, size_t size, void* data) {
  try {
    static_cast<Compile*>(data)->code->append(static_cast<const char*>(bytes), size);
    return 0;
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

// Runs protected, as luac runs its own: every error of the library, memory
// errors included, comes back as the message on the stack. Holds nothing
// that a long jump could leak.
int CompileProtected(lua_State* state) {
  auto* compile = static_cast<Compile*>(lua_touserdata(state, 1));
  int status = compile->path != nullptr
                   ? luaL_loadfile(state, compile->path)
                   : lua_load(state, ReadText, compile, compile->chunkName);
  if (status != 0) return lua_error(state);
  compile->dumpStatus = lua_dump(state, WriteCode, compile);
  return 0;
}

BuiltinCompile Run(Compile& compile, bool strip, const std::atomic<bool>* cancel,
                   size_t memoryCap) {
  BuiltinCompile result;
  Allocator allocator;
  allocator.cap = memoryCap;
  allocator.cancel = cancel;
  std::unique_ptr<lua_State, void (*)(lua_State*)> owned(lua_newstate(Allocate, &allocator),
                                                         lua_close);
  lua_State* state = owned.get();
  if (state == nullptr) {
    result.message = "not enough memory for state";
    return result;
  }
  std::string dumped;
  compile.code = &dumped;
  if (lua_cpcall(state, CompileProtected, &compile) != 0) {
    const char* message = lua_tostring(state, -1);
    result.message = message != nullptr ? message : "(error object is not a string)";
  } else if (compile.dumpStatus != 0) {
    result.message = "not enough memory";
  } else if (!strip) {
    result.code = std::move(dumped);
    result.succeeded = true;
  } else if (std::optional<std::string> stripped = StripDebugInformation(dumped)) {
    result.code = std::move(*stripped);
    result.succeeded = true;
  } else {
    result.message = "cannot strip the compiled code";
  }
  return result;
}

// Reads the layout of Lua 5.1 compiled code, as the header declares it,
// and copies it with the debug information emptied.
class Stripper {
 public:
  explicit Stripper(std::string_view code) : in(code) {}

  std::optional<std::string> Strip() {
    if (!Header() || !Function(0) || position != in.size()) return std::nullopt;
    return std::move(out);
  }

 private:
  static constexpr size_t kHeaderSize = 12;
  // Deeper than the parser nests functions (its C call limit).
  static constexpr int kMaxDepth = 256;

  bool Header() {
    if (in.size() < kHeaderSize || in.substr(0, 4) != "\x1bLua" || in[4] != 0x51 || in[5] != 0)
      return false;
    littleEndian = in[6] == 1;
    intSize = static_cast<unsigned char>(in[7]);
    sizeSize = static_cast<unsigned char>(in[8]);
    instructionSize = static_cast<unsigned char>(in[9]);
    numberSize = static_cast<unsigned char>(in[10]);
    for (size_t size : {intSize, sizeSize, instructionSize, numberSize}) {
      if (size < 1 || size > 8) return false;
    }
    return Copy(kHeaderSize);
  }

  bool Function(int depth) {
    if (depth > kMaxDepth) return false;
    uint64_t sourceSize = 0;
    if (!Read(sizeSize, &sourceSize) || !Skip(sourceSize)) return false;
    EmitZero(sizeSize);
    // Line defined, last line defined; upvalues, parameters, vararg, stack.
    if (!Copy(2 * intSize + 4)) return false;
    uint64_t count = 0;
    if (!CopyCount(&count) || !Copy(count, instructionSize)) return false;
    if (!CopyCount(&count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      if (!Constant()) return false;
    }
    if (!CopyCount(&count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      if (!Function(depth + 1)) return false;
    }
    // Line numbers.
    if (!ReadCount(&count) || !Skip(count, intSize)) return false;
    EmitZero(intSize);
    // Locals: name, first and last instruction.
    if (!ReadCount(&count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      if (!SkipString() || !Skip(2, intSize)) return false;
    }
    EmitZero(intSize);
    // Upvalue names.
    if (!ReadCount(&count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      if (!SkipString()) return false;
    }
    EmitZero(intSize);
    return true;
  }

  bool Constant() {
    if (position >= in.size()) return false;
    char type = in[position];
    if (!Copy(1)) return false;
    switch (type) {
      case LUA_TNIL:
        return true;
      case LUA_TBOOLEAN:
        return Copy(1);
      case LUA_TNUMBER:
        return Copy(numberSize);
      case LUA_TSTRING: {
        uint64_t size = 0;
        size_t start = position;
        if (!Read(sizeSize, &size) || !Skip(size)) return false;
        out.append(in.substr(start, position - start));
        return true;
      }
      default:
        return false;
    }
  }

  // A count of elements, each at least a byte long: never more than the
  // bytes left, so no loop runs long on a made-up count.
  bool ReadCount(uint64_t* count) {
    if (!Read(intSize, count)) return false;
    if (intSize < 8 && (*count >> (8 * intSize - 1)) != 0) return false;  // negative
    return *count <= in.size() - position;
  }
  bool CopyCount(uint64_t* count) {
    size_t start = position;
    if (!ReadCount(count)) return false;
    out.append(in.substr(start, position - start));
    return true;
  }

  bool Read(size_t size, uint64_t* value) {
    if (size > in.size() - position) return false;
    *value = 0;
    for (size_t i = 0; i < size; ++i) {
      size_t at = littleEndian ? position + size - 1 - i : position + i;
      uint64_t byte = static_cast<unsigned char>(in[at]);
      *value = (*value << 8) | byte;
    }
    position += size;
    return true;
  }
  bool Skip(uint64_t count, uint64_t size = 1) {
    if (count > (in.size() - position) / size) return false;
    position += count * size;
    return true;
  }
  bool SkipString() {
    uint64_t size = 0;
    return Read(sizeSize, &size) && Skip(size);
  }
  bool Copy(uint64_t count, uint64_t size = 1) {
    size_t start = position;
    if (!Skip(count, size)) return false;
    out.append(in.substr(start, position - start));
    return true;
  }
  // Zero reads the same in either byte order.
  void EmitZero(size_t size) { out.append(size, '\0'); }

  std::string_view in;
  size_t position = 0;
  std::string out;
  bool littleEndian = true;
  size_t intSize = 4, sizeSize = 8, instructionSize = 4, numberSize = 8;
};

}  // namespace

BuiltinCompile CompileLuaFile(const std::string& nativePath, bool strip,
                              const std::atomic<bool>* cancel, size_t memoryCap) {
  Compile compile;
  compile.path = nativePath.c_str();
  return Run(compile, strip, cancel, memoryCap);
}

BuiltinCompile CompileLuaText(std::string_view text, const std::string& chunkName, bool strip,
                              size_t memoryCap) {
  Compile compile;
  compile.text = text;
  compile.chunkName = chunkName.c_str();
  return Run(compile, strip, nullptr, memoryCap);
}

std::optional<std::string> StripDebugInformation(std::string_view code) {
  try {
    return Stripper(code).Strip();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

const char* BuiltinCompilerRelease() { return LUA_RELEASE; }
