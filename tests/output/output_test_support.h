// Helpers of the output tests: a fixture with a fresh current directory that
// leaves the message service as it found it, console capture, and writing a
// whole chunk file through one writer.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>

#include "output/chunk_writer.h"
#include "output/messages.h"
#include "output/tool_file.h"
#include "support/test_support.h"

namespace output_test {

class OutputTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseLogs();
    SetConsoleLevel(1);
  }

  test_support::TempDir tempDir;
};

struct Console {
  std::string out;
  std::string err;
};

// Runs `action` with standard output and error captured; an exception that
// leaves `action` ends the capture and goes on.
inline Console Capture(const std::function<void()>& action) {
  fflush(stdout);
  fflush(stderr);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Console console;
  try {
    action();
  } catch (...) {
    console.out = ::testing::internal::GetCapturedStdout();
    console.err = ::testing::internal::GetCapturedStderr();
    throw;
  }
  console.out = ::testing::internal::GetCapturedStdout();
  console.err = ::testing::internal::GetCapturedStderr();
  return console;
}

// Runs `action`, which must raise a HandyException, with the console
// captured; returns the exception's message ("" after a failure).
inline std::string RaisedMessage(const std::function<void()>& action,
                                 Console* console = nullptr) {
  std::string message;
  bool raised = false;
  Console captured = Capture([&] {
    try {
      action();
    } catch (const HandyException& error) {
      message = error.GetMessage();
      raised = true;
    }
  });
  if (console) *console = captured;
  if (!raised) ADD_FAILURE() << "no HandyException was raised";
  return message;
}

// Writes `path` through a ToolFile and a writer of type Writer running
// `body`, closes it and returns the file's bytes.
template <typename Writer>
std::string WriteChunkFile(const std::function<void(ChunkWriter&)>& body,
                           const std::string& path = "out.bin") {
  {
    ToolFile file;
    EXPECT_TRUE(file.OpenForOutput(path.c_str(), true));
    {
      Writer writer(&file);
      body(writer);
    }
    file.Close();
  }
  return test_support::ReadFile(path);
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

// "75 63 66 62": readable in a failed comparison.
inline std::string Hex(const std::string& bytes) {
  std::string text;
  char part[4];
  for (unsigned char byte : bytes) {
    snprintf(part, sizeof part, "%02x", byte);
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

}  // namespace output_test
