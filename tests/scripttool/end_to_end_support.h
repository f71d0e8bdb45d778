// Helpers of the end-to-end tests: the expected chunk files built from the
// compiler's own output, and the real compiler run by the test itself.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

namespace end_to_end {

// True when a working luac is on PATH (not under every build host).
inline bool LuacAvailable() {
  static const bool available = [] {
    return test_support::RunProgram({"luac", "-v"}).Succeeded();
  }();
  return available;
}

#define REQUIRE_LUAC() \
  if (!::end_to_end::LuacAvailable()) GTEST_SKIP() << "luac is not on PATH"

// What luac writes for `source` with `options` ({"-s"} or {}), read back
// and removed again so that it does not show in the test's directory.
inline std::string CompileWithLuac(const std::string& source,
                                   const std::vector<std::string>& options) {
  const std::string compiled = "reference.luac";
  std::vector<std::string> args = options;
  args.insert(args.end(), {"-o", compiled, source});
  test_support::ProgramRun run = test_support::Run("luac", args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::string bytes = test_support::ReadFile(compiled);
  platform::RemoveFile(compiled);
  EXPECT_FALSE(bytes.empty()) << "luac wrote nothing for " << source;
  return bytes;
}

inline std::string Dword(uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
  return bytes;
}

// A binary chunk with its header and padding; every chunk here starts at a
// multiple of 4, so padding to the body's length is padding to the file's.
inline std::string Chunk(const std::string& id, const std::string& body) {
  std::string chunk = id + Dword(static_cast<uint32_t>(body.size())) + body;
  chunk.append((4 - body.size() % 4) % 4, '\0');
  return chunk;
}

inline std::string BinaryScriptFile(const std::string& name, const std::string& compiled) {
  std::string script = Chunk("NAME", name + std::string(1, '\0')) + Chunk("INFO", "\x01") +
                       Chunk("BODY", compiled);
  return Chunk("ucfb", Chunk("scr_", script));
}

// Lines given as (tabs, text), joined by line breaks, none after the last.
inline std::string Lines(const std::vector<std::pair<int, std::string>>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += std::string(static_cast<size_t>(lines[i].first), '\t') + lines[i].second;
  }
  return text;
}

// The readable form: every body byte in decimal on a line of its own.
inline std::string TextScriptFile(const std::string& name, const std::string& compiled) {
  std::vector<std::pair<int, std::string>> lines{
      {0, ""},     {0, "ucft"}, {0, "{"},  {1, "scr_"}, {1, "{"},  {2, "NAME"},
      {2, "{"},    {3, "\"" + name + "\""}, {2, "}"},   {2, "INFO"}, {2, "{"},
      {3, "1"},    {2, "}"},    {2, "BODY"}, {2, "{"}};
  for (unsigned char byte : compiled) lines.push_back({3, std::to_string(byte)});
  lines.insert(lines.end(), {{2, "}"}, {1, "}"}, {0, "}"}});
  return Lines(lines);
}

// The requirements file holding the group "shot" and `shots`.
inline std::string RequirementsFile(const std::vector<std::string>& shots) {
  std::vector<std::pair<int, std::string>> lines{
      {0, ""}, {0, "ucft"}, {0, "{"}, {1, "REQN"}, {1, "{"}};
  if (!shots.empty()) lines.push_back({2, "\"shot\""});
  for (const std::string& shot : shots) lines.push_back({2, "\"" + shot + "\""});
  lines.insert(lines.end(), {{1, "}"}, {0, "}"}});
  return Lines(lines);
}

// Names in `dir` that look like temporary files: a compiler's output or an
// output's own.
inline std::vector<std::string> CompilerTemporaries(const std::string& dir = ".") {
  static const std::regex temporary(".*\\.tmp[a-z0-9]{6}");
  std::vector<std::string> found;
  for (const std::string& name : test_support::ListNames(dir))
    if (std::regex_match(name, temporary)) found.push_back(name);
  return found;
}

// Console output and logs are text: a line end may be "\r\n" there.
inline std::string WithoutCarriageReturns(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  }
  return lines;
}

inline std::string ReadLog(const std::string& path) {
  return WithoutCarriageReturns(test_support::ReadFile(path));
}

// Runs the built program; its console output with plain line ends.
inline test_support::ProgramRun RunTool(const std::vector<std::string>& args) {
  test_support::ProgramRun run = test_support::RunTolscript(args);
  run.out = WithoutCarriageReturns(run.out);
  run.err = WithoutCarriageReturns(run.err);
  return run;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace end_to_end
