// Children started while file handles run short, on POSIX.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/process.h"

namespace platform {
namespace {

// Lowers the soft limit of file handles for the scope.
class HandleLimit {
 public:
  explicit HandleLimit(rlim_t handles) {
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = handles;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~HandleLimit() { setrlimit(RLIMIT_NOFILE, &saved); }
  HandleLimit(const HandleLimit&) = delete;
  HandleLimit& operator=(const HandleLimit&) = delete;

 private:
  rlimit saved{};
};

const std::vector<std::string> kSleeper{"sleep", "30"};

// Under a low handle limit, as many children as the limit allows run at
// once, and handles are left for the run's own files.
TEST(ChildLimitTest, TheChildLimitFitsTheHandles) {
  HandleLimit low(64);
  ProcessSet children;
  RunResult failure;
  int started = 0;
  for (int i = 0; i < ChildProcessLimit(); ++i) {
    if (children.Start(kSleeper, &failure) >= 0) ++started;
  }
  EXPECT_EQ(started, ChildProcessLimit()) << failure.error;
  std::vector<int> files(16);
  for (int& fd : files) fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(std::count(files.begin(), files.end(), -1), 0);
  for (int fd : files) close(fd);
}

// A start that finds no handle says whether other children run: then the
// caller may wait for one to end and try again.
TEST(ChildLimitTest, AStartShortOfHandlesSaysWhetherOthersRun) {
  ProcessSet children;
  RunResult failure;
  const int first = children.Start(kSleeper, &failure);
  ASSERT_GE(first, 0) << failure.error;
  HandleLimit low(64);
  // Every handle held while one other child runs.
  auto holdAll = [] {
    std::vector<int> held;
    for (int fd = dup(STDERR_FILENO); fd >= 0; fd = dup(STDERR_FILENO)) held.push_back(fd);
    return held;
  };
  std::vector<int> held = holdAll();
  EXPECT_EQ(children.Start(kSleeper, &failure), -1);
  EXPECT_TRUE(failure.shortOfResources);
  for (int fd : held) close(fd);
  std::vector<int> started{first};
  for (int child = first; child >= 0 && started.size() < 64;) {
    child = children.Start(kSleeper, &failure);
    if (child >= 0) started.push_back(child);
  }
  EXPECT_TRUE(failure.shortOfResources);
  EXPECT_NE(failure.error.find(std::strerror(EMFILE)), std::string::npos) << failure.error;
  for (int child : started) children.Kill(child);
  held = holdAll();  // and none runs now
  EXPECT_EQ(children.Start(kSleeper, &failure), -1);
  EXPECT_FALSE(failure.shortOfResources);
  EXPECT_NE(failure.error.find(std::strerror(EMFILE)), std::string::npos) << failure.error;
  for (int fd : held) close(fd);
}

}  // namespace
}  // namespace platform
