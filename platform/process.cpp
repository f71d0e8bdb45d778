// What a ProcessSet does alike on every platform: the checks of an
// argument vector and the numbering of its children.
#include "process.h"

namespace platform {

bool ProcessSet::CheckArguments(const std::vector<std::string>& argv, RunResult* failure) {
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

int ProcessSet::Add(std::unique_ptr<Child> child) {
  for (size_t i = 0; i < children.size(); ++i) {
    if (!children[i]) {
      children[i] = std::move(child);
      return static_cast<int>(i);
    }
  }
  children.push_back(std::move(child));
  return static_cast<int>(children.size() - 1);
}

RunResult ProcessSet::Take(int number) {
  std::unique_ptr<Child> child = std::move(children[static_cast<size_t>(number)]);
  return std::move(child->result);
}

size_t ProcessSet::Running() const {
  size_t running = 0;
  for (const auto& child : children) {
    if (child && !child->ended) ++running;
  }
  return running;
}

}  // namespace platform
