#include "output/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "output_test_support.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace {

using output_test::Capture;
using output_test::Console;
using output_test::OutputTest;
using test_support::DrivePath;
using test_support::Exists;
using test_support::MakeDirs;

// The logs are text files.
std::string ReadLog(const std::string& path) {
  return test_support::NormalizeLineEnds(test_support::ReadFile(path));
}

// The program names it "\Corvantis\Data\MungeLog.txt", at the drive root.
std::string MungeLog() { return DrivePath("Corvantis/Data/MungeLog.txt"); }

class MessagesTest : public OutputTest {};

std::string FirstProblemLine(const char* kind, const std::string& program) {
  std::optional<std::string> full = platform::MakeFullPath(program);
  EXPECT_TRUE(full.has_value());
  return std::string("PROBLEM OCCURED(") + kind + "): " + full.value_or("") + "\n";
}

enum class Where { Console, Log, Nowhere };

struct PrintCase {
  int consoleLevel;
  int logLevel;
  int printLevel;  // 1 normal, 2 verbose, 3 debug
  Where expected;
};

TEST_F(MessagesTest, PrintsGoToTheConsoleElseToTheLogByLevel) {
  const PrintCase cases[] = {
      {1, 2, 1, Where::Console}, {0, 2, 1, Where::Nowhere}, {0, 3, 1, Where::Log},
      {1, 2, 2, Where::Nowhere}, {2, 2, 2, Where::Console}, {1, 4, 2, Where::Log},
      {1, 3, 2, Where::Nowhere}, {1, 2, 3, Where::Nowhere}, {2, 5, 3, Where::Log},
      {2, 4, 3, Where::Nowhere}, {3, 0, 3, Where::Console}, {3, 5, 3, Where::Console},
  };
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "console " << c.consoleLevel << ", log "
                                    << c.logLevel << ", print level " << c.printLevel);
    ASSERT_TRUE(OpenToolLog("prog", c.logLevel, false));
    SetConsoleLevel(c.consoleLevel);
    bool written = false;
    Console console = Capture([&] {
      if (c.printLevel == 1) written = PrintNormal("line %d\n", 7);
      if (c.printLevel == 2) written = PrintVerbose("line %d\n", 7);
      if (c.printLevel == 3) written = PrintDebug("line %d\n", 7);
    });
    CloseLogs();
    EXPECT_EQ(written, c.expected != Where::Nowhere);
    EXPECT_EQ(console.out, c.expected == Where::Console ? "line 7\n" : "");
    EXPECT_EQ(ReadLog("prog.log"), c.expected == Where::Log ? "line 7\n" : "");
    EXPECT_EQ(console.err, "");
  }
}

TEST_F(MessagesTest, PrintsReachNoLogOnceItIsClosed) {
  ASSERT_TRUE(OpenToolLog("prog", 5, false));
  EXPECT_TRUE(PrintToLog("header %s\n", "one"));
  CloseLogs();
  SetConsoleLevel(0);
  EXPECT_FALSE(PrintNormal("lost\n"));
  EXPECT_FALSE(PrintToLog("lost\n"));
  EXPECT_EQ(ReadLog("prog.log"), "header one\n");
}

TEST_F(MessagesTest, ProblemsGoToStandardErrorAndBothLogsAfterTheFirstProblemLine) {
  MakeDirs(DrivePath("Corvantis/Data"));
  ASSERT_TRUE(OpenToolLog("bin/abc.exe", 2, false));
  SetConsoleLevel(0);  // "-quiet" does not hold problems back
  Console console = Capture([] {
    EXPECT_TRUE(ReportError("first %d\n", 1));
    EXPECT_TRUE(ReportWarning("second\n"));
    EXPECT_TRUE(ReportError("third"));
  });
  EXPECT_EQ(ErrorCount(), 2);
  EXPECT_EQ(WarningCount(), 1);
  CloseLogs();
  EXPECT_EQ(console.out, "");
  EXPECT_EQ(console.err, "Error: first 1\nWarning: second\nError: third");
  std::string expected = FirstProblemLine("Error", "bin/abc.exe") + "first 1\nsecond\nthird";
  EXPECT_EQ(ReadLog("abc.log"), expected);
  EXPECT_EQ(ReadLog(MungeLog()), expected);
}

TEST_F(MessagesTest, LogLevelDecidesWhichProblemTextsAreLogged) {
  struct Case {
    int logLevel;
    std::string afterFirstLine;
  };
  const Case cases[] = {{0, ""}, {1, "e\n"}, {2, "w\ne\n"}};
  MakeDirs(DrivePath("Corvantis/Data"));
  std::string munge;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "log level " << c.logLevel);
    ASSERT_TRUE(OpenToolLog("abc", c.logLevel, false));
    Capture([] {
      ReportWarning("w\n");
      ReportError("e\n");
    });
    CloseLogs();
    std::string expected = FirstProblemLine("Warning", "abc") + c.afterFirstLine;
    EXPECT_EQ(ReadLog("abc.log"), expected);
    munge += expected;
    EXPECT_EQ(ReadLog(MungeLog()), munge);
  }
}

TEST_F(MessagesTest, MungeLogIsAppendedAcrossRunsWhileTheToolLogIsRewritten) {
  MakeDirs(DrivePath("Corvantis/Data"));
  std::string first = FirstProblemLine("Error", "abc");
  for (int run = 1; run <= 2; ++run) {
    ASSERT_TRUE(OpenToolLog("abc", 2, false));
    EXPECT_EQ(ErrorCount(), 0);
    Capture([&] { ReportError("run %d\n", run); });
    EXPECT_EQ(ErrorCount(), 1);
    CloseLogs();
  }
  EXPECT_EQ(ReadLog("abc.log"), first + "run 2\n");
  EXPECT_EQ(ReadLog(MungeLog()), first + "run 1\n" + first + "run 2\n");

  ASSERT_TRUE(OpenToolLog("abc", 2, true));
  Capture([] { ReportError("run 3\n"); });
  CloseLogs();
  EXPECT_EQ(ReadLog("abc.log"), first + "run 2\n" + first + "run 3\n");
}

TEST_F(MessagesTest, MissingMungeLogFolderIsNotCreatedAndTheLogIsTriedAgain) {
  ASSERT_TRUE(OpenToolLog("abc", 2, false));
  Console console = Capture([] { ReportError("one\n"); });
  EXPECT_EQ(console.err, "Error: one\n");
  EXPECT_FALSE(Exists(DrivePath("Corvantis")));
  EXPECT_EQ(GetMungeLog(), nullptr);

  MakeDirs(DrivePath("Corvantis/Data"));
  Capture([] { ReportError("two\n"); });
  CloseLogs();
  // The first-problem line went out with the first error, when the munge
  // log could not be opened.
  EXPECT_EQ(ReadLog(MungeLog()), "two\n");
  EXPECT_EQ(ReadLog("abc.log"), FirstProblemLine("Error", "abc") + "one\ntwo\n");
}

TEST_F(MessagesTest, UnopenableToolLogLeavesProblemsOnTheConsole) {
  MakeDirs("abc.log");  // a directory where the log should go
  EXPECT_FALSE(OpenToolLog("abc", 2, false));
  EXPECT_FALSE(PrintToLog("x\n"));
  Console console = Capture([] { ReportError("still shown\n"); });
  EXPECT_EQ(console.err, "Error: still shown\n");
  EXPECT_EQ(ErrorCount(), 1);
}

TEST_F(MessagesTest, HandyExceptionReportsItselfOnceAndCopiesItsMessage) {
  ASSERT_TRUE(OpenToolLog("abc", 2, false));
  std::string caught;
  Console console = Capture([&] {
    try {
      HandyException copy = [] {
        HandyException original("bad %s %d", "thing", 3);
        return HandyException(original);
      }();
      HandyException assigned = copy;
      throw assigned;
    } catch (HandyException error) {
      caught = error.GetMessage();
    }
  });
  EXPECT_EQ(caught, "bad thing 3");
  EXPECT_EQ(console.err, "Error: bad thing 3");
  EXPECT_EQ(ErrorCount(), 1);
}

TEST_F(MessagesTest, LongMessagesAreFormattedWhole) {
  std::string text(3000, 'x');
  text[1500] = 'y';
  text.back() = 'z';
  ASSERT_TRUE(OpenToolLog("abc", 5, false));
  std::string message;
  Console console = Capture([&] {
    PrintNormal("%s|%d\n", text.c_str(), 1);
    ReportError("%s|%d\n", text.c_str(), 2);
    message = HandyException("%s|%d", text.c_str(), 3).GetMessage();
  });
  CloseLogs();
  EXPECT_EQ(console.out, text + "|1\n");
  EXPECT_EQ(console.err, "Error: " + text + "|2\nError: " + text + "|3");
  EXPECT_EQ(message, text + "|3");
  EXPECT_EQ(ReadLog("abc.log"),
            FirstProblemLine("Error", "abc") + text + "|2\n" + text + "|3");
  EXPECT_EQ(FormatMessage("%s%s", text.c_str(), text.c_str()), text + text);
}

}  // namespace
