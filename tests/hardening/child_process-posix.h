// Starting the built program as a child that the test controls: in a
// process group of its own (so that a kill reaches the compiler it started
// too), with changes to its environment, and waited for with its resource
// usage.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace hardening {

struct ChildExit {
  bool exited = false;  // else killed by `signal`
  int exitCode = -1;
  int signal = 0;
  long maxRssKb = 0;
};

class ChildProcess {
 public:
  // Runs `argv` with the test's environment changed by `env` (a value of
  // nothing unsets); standard output and error go to the files named.
  ChildProcess(const std::vector<std::string>& argv,
               const std::map<std::string, std::optional<std::string>>& env,
               const std::string& stdoutPath, const std::string& stderrPath) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      std::string text = *entry;
      if (!env.count(text.substr(0, text.find('=')))) environment.push_back(text);
    }
    for (const auto& [name, value] : env)
      if (value) environment.push_back(name + "=" + *value);
    std::vector<char*> envp;
    for (std::string& text : environment) envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& text : args) argp.push_back(text.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    int error = posix_spawn(&pid, args[0].c_str(), &actions, &attributes, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) throw std::runtime_error("cannot start " + args[0] + ": " + strerror(error));
  }

  // A child that is still running when the test gives up on it is killed
  // with its group, so that no test leaves processes behind.
  ~ChildProcess() {
    if (!reaped) {
      KillGroup();
      Wait();
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid; }

  // SIGKILL to the program alone; what it started runs on.
  void KillProgram() { kill(pid, SIGKILL); }
  // SIGKILL to the program and everything it started.
  void KillGroup() { kill(-pid, SIGKILL); }

  ChildExit Wait() { return *Reap(0); }
  // The exit when the child has ended, nothing while it runs.
  std::optional<ChildExit> Poll() { return Reap(WNOHANG); }
  // The exit, or nothing when the child was still running after `seconds`:
  // then it has been killed with its group.
  std::optional<ChildExit> WaitAtMost(int seconds) {
    for (int waited = 0; waited < seconds * 100; ++waited) {
      if (std::optional<ChildExit> exit = Poll()) return exit;
      usleep(10000);
    }
    if (std::optional<ChildExit> exit = Poll()) return exit;
    KillGroup();
    Wait();
    return std::nullopt;
  }

 private:
  std::optional<ChildExit> Reap(int flags) {
    if (reaped) return result;
    int status = 0;
    rusage usage{};
    pid_t got;
    while ((got = wait4(pid, &status, flags, &usage)) < 0 && errno == EINTR) {
    }
    if (got == 0) return std::nullopt;
    reaped = true;
    if (got > 0) {
      result.exited = WIFEXITED(status);
      result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
      result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      result.maxRssKb = usage.ru_maxrss;
    }
    return result;
  }

  pid_t pid = -1;
  bool reaped = false;
  ChildExit result;
};

}  // namespace hardening
