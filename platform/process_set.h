// What the process sets of both platforms share: the check of an argument
// vector, and the numbered children, whatever a child holds on its
// platform (a number is given to the next child once its own child was
// taken or killed).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "process.h"

namespace platform {

// Whether `argv` names a program and every argument can be passed; when
// not, `failure` (reset either way) says why.
inline bool CheckArguments(const std::vector<std::string>& argv, RunResult* failure) {
  *failure = RunResult();
  if (argv.empty() || argv[0].empty()) {
    failure->error = "no program to run";
    return false;
  }
  for (const std::string& argument : argv) {
    if (argument.find('\0') != std::string::npos) {
      failure->error = argv[0] + ": an argument holds a NUL character";
      return false;
    }
  }
  return true;
}

template <typename Child>
int AddChild(std::vector<std::unique_ptr<Child>>& children, std::unique_ptr<Child> child) {
  for (size_t i = 0; i < children.size(); ++i) {
    if (!children[i]) {
      children[i] = std::move(child);
      return static_cast<int>(i);
    }
  }
  children.push_back(std::move(child));
  return static_cast<int>(children.size() - 1);
}

template <typename Child>
RunResult TakeResult(std::vector<std::unique_ptr<Child>>& children, int number) {
  std::unique_ptr<Child> child = std::move(children[static_cast<size_t>(number)]);
  return std::move(child->result);
}

template <typename Child>
size_t CountRunning(const std::vector<std::unique_ptr<Child>>& children) {
  size_t running = 0;
  for (const auto& child : children) {
    if (child && !child->ended) ++running;
  }
  return running;
}

}  // namespace platform
