// The output layer: both chunk forms and the run-length encoder byte for
// byte, the output file that is put in place only when complete, and where
// messages go at each level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "output/binary_chunk_writer.h"
#include "output/messages.h"
#include "output/text_chunk_writer.h"
#include "output/tool_file.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "output/temporary_names.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using test_support::ListNames;
using test_support::NormalizeLineEnds;
using test_support::ReadFile;
using test_support::WriteFile;
using Names = std::vector<std::string>;

// A fresh current directory; the message service is left as it was found.
class OutputTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseLogs();
    SetConsoleLevel(1);
  }
  test_support::TempDir tempDir;
};

struct Console {
  std::string out, err, raised;  // raised: the message of the HandyException that ended it
};

Console Capture(const std::function<void()>& action) {
  fflush(nullptr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  std::string raised;
  try {
    action();
  } catch (const HandyException& error) {
    raised = error.GetMessage();
  }
  std::string out = ::testing::internal::GetCapturedStdout();
  return {out, ::testing::internal::GetCapturedStderr(), raised};
}

// Writes out.bin through a Writer running `body`; the bytes.
template <typename Writer>
std::string Written(const std::function<void(ChunkWriter&)>& body) {
  ToolFile file;
  EXPECT_TRUE(file.OpenForOutput("out.bin", true));
  Writer writer(&file);
  body(writer);
  file.Close();
  return ReadFile("out.bin");
}

// One tree for both forms; each form ignores what only the other lays out.
void WriteSample(ChunkWriter& w, const char* root) {
  w.OpenChunk(root);
  w.WriteByte(0x11);  // the next header is not aligned
  w.OpenChunk("scr");
  w.WriteWord(0x1234);
  w.WriteDword(0xFFFFFFFF);
  w.WriteFloat(-0.25f);
  w.WriteString("say \"hi\"\n");
  w.WriteData("a\0b", 3);
  w.CloseChunk();
  w.OpenChunk("INFO");
  w.SetInline(true);
  w.WriteDword(1);
  w.CloseChunk();
  w.OpenChunk("BODYX");
  w.SetHexMode(true);
  w.SetValuesPerLine(3);
  w.WriteByte(0x1b);
  w.WriteWord(0x4c);
  w.WriteDword(0x75);
  w.Align();
  w.WriteByte(0xff);
  w.RLEWrite(9, 8);  // dropped by the next open, with its width
  w.OpenChunk("RLE");
  w.SetValuesPerLine(0);  // each open and close resets the layout
  w.SetHexMode(true);
  for (uint32_t value : {0x707, 0x707, 0x707, 0x707, 0x707, 0x808}) w.RLEWrite(value, 16);
  w.CloseChunk();
  w.WriteByte(10);
  w.CloseChunk();
  w.OpenChunk("");
  w.CloseChunk();
  w.CloseChunk();
}

TEST_F(OutputTest, BothFormsOfOneTreeAndTheBinaryTrace) {
  SetConsoleLevel(3);
  std::string bytes;
  Console console = Capture([&] {
    bytes = Written<BinaryChunkWriter>([](ChunkWriter& w) { WriteSample(w, "ucfb"); });
  });
  EXPECT_EQ(bytes,
            "ucfbX\0\0\0\x11scr_\x17\0\0\0\x34\x12\xff\xff\xff\xff\0\0\x80\xbesay \"hi\"\n\0a\0b"
            "INFO\4\0\0\0\1\0\0\0BODY\x19\0\0\0\x1b\x4c\0\x75\0\0\0\0\xffRLE_\6\0\0\0\x84\7\7\0"
            "\x08\x08\0\x0a\0\0\0____\0\0\0\0"s);
  EXPECT_EQ(console.out + console.err,
            "Opened file out.bin for output\nOpen  [ucfb]\n  Open  [scr_]\n"
            "  Close [scr_] (23 bytes)\n  Open  [INFO]\n  Close [INFO] (4 bytes)\n"
            "  Open  [BODY]\n    Open  [RLE_]\n    Close [RLE_] (6 bytes)\n"
            "  Close [BODY] (25 bytes)\n  Open  [____]\n  Close [____] (0 bytes)\n"
            "Close [ucfb] (88 bytes)\n");
  EXPECT_EQ(Written<TextChunkWriter>([](ChunkWriter& w) { WriteSample(w, "ucft"); }),
            "\nucft\n{\n\t17\n\tscr_\n\t{\n\t\t4660\n\t\t-1\n\t\t-0.250000"
            "\n\t\t\"say \"hi\"\n\"\n\t\t\"a\0b\"\n\t}"
            "\n\tINFO { 1 }\n\tBODY\n\t{\n\t\t0x1b 0x004c 0x00000075\n\t\t0xff"
            "\n\t\tRLE_\n\t\t{\n\t\t\t0x84\n\t\t\t0x0707\n\t\t\t0x00\n\t\t\t0x0808\n\t\t}"
            "\n\t\t10\n\t}\n\t____\n\t{\n\t}\n}"s);
}

TEST_F(OutputTest, NestingOutsideTheLimitsAndMixedRunWidthsAreInternalErrors) {
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  BinaryChunkWriter writer(&file);
  EXPECT_EQ(Capture([&] { writer.CloseChunk(); }).raised, "[INTERNAL: Chunk nesting underflow]");
  while (writer.GetDepth() < BinaryChunkWriter::kMaxDepth) writer.OpenChunk("deep");
  SetConsoleLevel(3);  // no trace of an open that does not happen
  Console refused = Capture([&] { writer.OpenChunk("deep"); });
  EXPECT_EQ(refused.out + refused.raised, "[INTERNAL: Chunk nesting overflow]");
  TextChunkWriter text(&file);
  EXPECT_EQ(Capture([&] { text.CloseChunk(); }).raised, "[INTERNAL: Chunk nesting underflow]");
  EXPECT_EQ(Capture([&] { text.RLEWrite(1, 8); text.RLEWrite(1, 16); }).raised,
            "[INTERNAL: Can't Run-Length Encode mixed width data]");
}

TEST_F(OutputTest, RunLengthPacketsEndWithTheirRunsOrAt128Values) {
  std::string distinct;
  for (int i = 0; i < 129; ++i) distinct += static_cast<char>(i);
  const std::string x(128, 'X');
  const std::pair<std::string, std::string> cases[] = {  // bytes in, packets out
      {"ABBC", "\0A\x81" "B\0C"s},
      {"ABCCD", "\x01" "AB\x81" "C\0D"s},
      {distinct, "\x7f" + distinct.substr(0, 128) + "\0\x80"s},
      {x, "\xffX"},
      {x + "X", "\xffX\0X"s},
      {x + "XX", "\xffX\x81X"},
  };
  for (const auto& [values, packets] : cases) {
    std::string bytes = Written<BinaryChunkWriter>([&](ChunkWriter& w) {
      w.OpenChunk("ucfb");
      for (unsigned char value : values) w.RLEWrite(value, 8);
      w.CloseChunk();
    });
    EXPECT_EQ(bytes.substr(8), packets + std::string((4 - packets.size() % 4) % 4, '\0'));
  }
}

const std::string kBulk(70000, 'b');

void WriteBulk(ToolFile& file) { file.WriteData(kBulk.data(), 1, uint32_t(kBulk.size())); }

TEST_F(OutputTest, TheOutputReplacesTheOlderFileOnlyWhenClosed) {
  // Close, Abandon, another open, the destructor; Close with nothing written.
  for (int ending = 0; ending < 5; ++ending) {
    WriteFile("out.bin", "older");
    {
      ToolFile file;
      ASSERT_TRUE(file.OpenForOutput("out.bin", true));
      if (ending < 4) WriteBulk(file);
      EXPECT_EQ(ReadFile("out.bin"), "older");
      if (ending % 4 == 0) file.Close();
      if (ending == 1) file.Abandon();
      if (ending == 2) file.OpenForOutput("other.bin", true);
    }
    EXPECT_EQ(ListNames("."), Names{"out.bin"}) << ending;
    EXPECT_EQ(ReadFile("out.bin"), ending == 0 ? kBulk : ending == 4 ? "" : "older");
  }
}

// Each reported once and formatted whole however long; bytes of the name
// below 0x20 (but tab) and 0x7F are shown escaped.
TEST_F(OutputTest, OutputFailuresNameTheOutput) {
  const std::string folder = std::string(300, 'n') + "\x01\x1f \t\x7f~\xc3\xa9";
  ToolFile file;
  Console console = Capture([&] { file.OpenForOutput((folder + "/out.bin").c_str(), true); });
  std::string missing = "Could not open " + std::string(300, 'n') +
                        "\\x01\\x1F \t\\x7F~\xc3\xa9/out.bin for output. DOS reports:\n" +
                        strerror(ENOENT) + "\n";
  EXPECT_EQ(console.raised, missing);
  EXPECT_EQ(console.err, "Error: " + missing);
  EXPECT_EQ(Capture([&] { EXPECT_FALSE(file.OpenForOutput("no/out.bin", false)); }).err, "");

  WriteFile("out.bin/keep", "kept");  // a folder stands at the path
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  WriteBulk(file);
  std::string message = Capture([&] { file.Close(); }).raised;
  EXPECT_EQ(message.rfind("Could not replace out.bin. DOS reports:\n", 0), 0u) << message;
  EXPECT_EQ(ListNames("."), Names{"out.bin"});
  EXPECT_EQ(Capture([&] { file.WriteByte(1); }).raised,
            "Could not write out.bin. DOS reports:\n"s + strerror(EBADF) + "\n");
}

// The callback sees the completed file before it takes the output's name;
// when it throws, the older output stays and nothing else is left.
TEST_F(OutputTest, AnOutputItsCallbackRefusesIsNotPutInPlace) {
  WriteFile("out.bin", "older");
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  WriteBulk(file);
  std::string before;
  Console console = Capture([&] {
    file.Close([&](const platform::FileStatus&) {
      before = ReadFile("out.bin");
      throw HandyException("no entry\n");
    });
  });
  EXPECT_EQ(before, "older");
  EXPECT_EQ(console.raised, "no entry\n");
  EXPECT_EQ(ListNames("."), Names{"out.bin"});
  EXPECT_EQ(ReadFile("out.bin"), "older");
}

// An output whose bytes are already at its path keeps that file and takes
// the new time; any other replaces it.
struct KeptCase {
  const char* name;
  std::string old;  // at the output's path before
  bool kept;
};

class KeptOutputTest : public ::testing::TestWithParam<KeptCase> {};

TEST_P(KeptOutputTest, AnOutputOfTheSameBytesIsKept) {
  test_support::TempDir temp;
  WriteFile("out.bin", GetParam().old);
  test_support::SetMTime("out.bin", 1000000000);
  const platform::FileStatus before = platform::StatFile("out.bin").value();
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput("out.bin", true));
  file.Printf("new bytes");
  platform::FileStatus told;
  file.Close([&](const platform::FileStatus& status) { told = status; });
  const platform::FileStatus after = platform::StatFile("out.bin").value();
  EXPECT_EQ(ReadFile("out.bin"), "new bytes");
  // Windows tells no file number by path.
  if (before.fileId != 0) {
    EXPECT_EQ(after.fileId == before.fileId, GetParam().kept);
  }
  EXPECT_GT(after.timeNs, before.timeNs);
  EXPECT_EQ(told.timeNs, after.timeNs);
  EXPECT_EQ(told.size, after.size);
  EXPECT_EQ(ListNames("."), Names{"out.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, KeptOutputTest,
    ::testing::Values(KeptCase{"same_bytes", "new bytes", true},
                      KeptCase{"other_bytes_of_that_size", "old bytes", false},
                      KeptCase{"other_size", "older bytes", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A file named beside the output for a producer to write becomes the
// output itself, written over from its start, or goes with it; also for a
// name near the 255-byte limit of a name.
TEST_F(OutputTest, AProducersFileBecomesTheOutput) {
  const std::pair<std::string, bool> cases[] = {  // name, abandoned
      {"Out.bin", false},
      {"out.bin", true},
#ifndef _WIN32  // whole paths are limited to 260 characters there
      {std::string(244, 'a') + "\xc3\xa9" "b.bin", false},
#endif
  };
  for (const auto& [name, abandon] : cases) {
    test_support::TempDir dir;
    const std::string out = dir.Path() + "/" + name;
    std::string reserved = ToolFile::NameTemporaryFile(out);
    ASSERT_EQ(reserved.rfind(dir.Path() + "/", 0), 0u) << reserved;
    EXPECT_EQ(TemporaryNameOwner(reserved.substr(dir.Path().size() + 1)),
              platform::CurrentProcessId());
    EXPECT_EQ(ListNames("."), Names{}) << "the name is not made";
    WriteFile(reserved, "what the producer wrote");
    std::optional<std::string> identity = platform::FileIdentity(reserved);
    ToolFile file;
    ASSERT_TRUE(file.OpenForOutput(out.c_str(), true));
    EXPECT_EQ(file.TakeOverTemporaryFile(reserved), "what the producer wrote");
    WriteFile("second", "y");  // one file is taken over, later ones go
    EXPECT_EQ(file.TakeOverTemporaryFile("second"), std::nullopt);
    file.WriteData("short", 1, 5);
    abandon ? file.Abandon() : file.Close();
    EXPECT_EQ(ListNames("."), abandon ? Names{} : Names{name}) << name.size();
    if (abandon) continue;
    EXPECT_EQ(ReadFile(name), "short");
    EXPECT_EQ(platform::FileIdentity(name), identity);
    WriteFile("late", "z");  // handed to an output no longer open
    EXPECT_EQ(file.TakeOverTemporaryFile("late"), std::nullopt);
    EXPECT_EQ(ListNames("."), Names{name});
  }
}

// Opening an output clears the temporary files of ended runs from its
// folder, for any output, once per run; naming one ahead clears nothing.
TEST_F(OutputTest, OnlyTheTemporaryFilesOfEndedRunsAreCleared) {
  platform::ProcessSet children;
  int live = -1;
  int ended = -1;
  const uint64_t livePid = test_support::StartLiveProcess(children, TOLSCRIPT_ARGV_RECORDER, &live);
  const uint64_t endedPid =
      test_support::StartLiveProcess(children, TOLSCRIPT_ARGV_RECORDER, &ended);
  ASSERT_NE(livePid, 0u);
  ASSERT_NE(endedPid, 0u);
  children.Kill(ended);
  const std::string self = std::to_string(platform::CurrentProcessId());
  const std::string dead = std::to_string(endedPid);
  const std::pair<std::string, bool> cases[] = {  // name, kept
      {"out.bin.tmp" + std::to_string(livePid) + "-abc123", true},
      {"out.bin.tmp" + self + "-abc123", true},
      {"out.bin.tmp" + dead + "-abc123", false},
      // Numbers no process can have: on POSIX they would name process groups.
      {"out.bin.tmp4294967296-abc123", false},
      {"out.bin.tmp18446744073709551615-abc123", false},
      {"other.bin.tmp" + dead + "-xyz789", false},  // of another output
      {"out.bin.tmp" + dead + "-ABC999", true},     // not the program's name
  };
  test_support::TempDir dir;
  for (const auto& [name, kept] : cases) WriteFile(name, "x");
  test_support::MakeDirs("folder.tmp" + dead + "-abc123");
  const std::string out = dir.Path() + "/out.bin";
  EXPECT_NE(ToolFile::NameTemporaryFile(out), "");
  EXPECT_EQ(ListNames(".").size(), std::size(cases) + 1) << "nothing goes ahead of the turn";
  ToolFile file;
  ASSERT_TRUE(file.OpenForOutput(out.c_str(), true));
  for (const auto& [name, kept] : cases) EXPECT_EQ(test_support::Exists(name), kept) << name;
  EXPECT_TRUE(test_support::Exists("folder.tmp" + dead + "-abc123"));
  WriteFile("late.tmp" + dead + "-abc123", "x");
  ASSERT_TRUE(file.OpenForOutput(out.c_str(), true));
  EXPECT_TRUE(test_support::Exists("late.tmp" + dead + "-abc123")) << "one look per run";
}

TEST_F(OutputTest, PrintsGoToTheConsoleElseToTheLogTwoLevelsAbove) {
  enum Where { kNowhere, kConsole, kLog };
  const struct {
    int console, log, print;
    Where where;
  } cases[] = {{1, 2, 1, kConsole}, {0, 2, 1, kNowhere}, {0, 3, 1, kLog},     {1, 2, 2, kNowhere},
               {2, 2, 2, kConsole}, {1, 4, 2, kLog},     {1, 3, 2, kNowhere}, {1, 2, 3, kNowhere},
               {2, 5, 3, kLog},     {2, 4, 3, kNowhere}, {3, 0, 3, kConsole}, {3, 5, 3, kConsole}};
  bool (*const print[])(const char*, ...) = {nullptr, PrintNormal, PrintVerbose, PrintDebug};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.console << c.log << c.print);
    ASSERT_TRUE(OpenToolLog("prog", c.log, false));
    SetConsoleLevel(c.console);
    bool printed = false;
    std::string out = Capture([&] { printed = print[c.print]("line %d\n", 7); }).out;
    CloseLogs();
    EXPECT_EQ(printed, c.where != kNowhere);
    EXPECT_EQ(out, c.where == kConsole ? "line 7\n" : "");
    EXPECT_EQ(NormalizeLineEnds(ReadFile("prog.log")), c.where == kLog ? "line 7\n" : "");
  }
}

// Whatever the console level; in the logs errors from log level 1 on and
// warnings from 2, after a first line naming the program. The tool log is
// made anew, the munge log appended to once its folder exists.
TEST_F(OutputTest, ProblemsGoToStandardErrorAndToBothLogsByLevel) {
  const std::string first = "PROBLEM OCCURED(Warning): " +
                            platform::MakeFullPath("bin/abc.exe").value_or("?") + "\n";
  std::string munge;
  for (int level = 0; level <= 2; ++level) {
    ASSERT_TRUE(OpenToolLog("bin/abc.exe", level, false));
    SetConsoleLevel(0);
    Console console = Capture([] {
      ReportWarning("w %d\n", 1);
      ReportError("e\n");
    });
    CloseLogs();
    EXPECT_EQ(WarningCount(), 1);
    EXPECT_EQ(ErrorCount(), 1);
    EXPECT_EQ(console.out + console.err, "Warning: w 1\nError: e\n");
    std::string logged = first + (level >= 2 ? "w 1\n" : "") + (level >= 1 ? "e\n" : "");
    EXPECT_EQ(NormalizeLineEnds(ReadFile("abc.log")), logged) << level;
    if (level == 0) {
      EXPECT_FALSE(test_support::Exists(test_support::DrivePath("Corvantis")));
      test_support::MakeDirs(test_support::DrivePath("Corvantis/Data"));
    } else {
      std::string mungeLog = ReadFile(test_support::DrivePath("Corvantis/Data/MungeLog.txt"));
      EXPECT_EQ(NormalizeLineEnds(mungeLog), munge += logged);
    }
  }
}

}  // namespace
