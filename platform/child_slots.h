// The numbered children of a ProcessSet, whatever a child holds on its
// platform: a number is given to the next child once its own child was
// taken or killed.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "process.h"

namespace platform {

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
