#include "framework/tool_string.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The one text shared by every empty string; never written, never freed.
char sharedEmptyText[1] = {'\0'};

char* Duplicate(const char* text, size_t length) {
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

int32_t LengthOf(const char* text) { return static_cast<int32_t>(std::strlen(text)); }

}  // namespace

ToolString::ToolString() : text(sharedEmptyText), length(0) {}

ToolString::ToolString(const char* source) : ToolString() {
  if (source != nullptr && source[0] != '\0') {
    size_t size = std::strlen(source);
    text = Duplicate(source, size);
    length = static_cast<int32_t>(size);
  }
}

ToolString::ToolString(const char* first, const char* last) : ToolString() {
  if (first != nullptr && last - first >= 1) {
    text = Duplicate(first, static_cast<size_t>(last - first));
    length = LengthOf(text);  // stops at an embedded NUL
    if (length == 0) Release();
  }
}

ToolString::ToolString(const ToolString& other) : ToolString() {
  if (other.length >= 1) {
    text = Duplicate(other.text, static_cast<size_t>(other.length));
    length = other.length;
  }
}

ToolString::~ToolString() { Release(); }

ToolString& ToolString::operator=(const ToolString& other) {
  if (this == &other) return *this;
  char* copy = other.text == sharedEmptyText
                   ? sharedEmptyText
                   : Duplicate(other.text, static_cast<size_t>(other.length));
  Release();
  text = copy;
  length = copy == sharedEmptyText ? 0 : other.length;
  return *this;
}

void ToolString::Release() {
  if (text != sharedEmptyText) std::free(text);
  text = sharedEmptyText;
  length = 0;
}

ToolString ToolString::Substring(int32_t start, int32_t end) const {
  return ToolString(text + start, text + end);
}

ToolString ToolString::ToLower() const {
  ToolString lowered(*this);
  for (int32_t i = 0; i < lowered.length; ++i) {
    char c = lowered.text[i];
    if (c >= 'A' && c <= 'Z') lowered.text[i] = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

void ToolString::Append(const ToolString& other) {
  size_t size = static_cast<size_t>(length) + static_cast<size_t>(other.length);
  char* buffer = static_cast<char*>(std::malloc(size + 1));
  if (buffer == nullptr) throw std::bad_alloc();
  std::memcpy(buffer, text, static_cast<size_t>(length));
  std::memcpy(buffer + length, other.text, static_cast<size_t>(other.length));
  buffer[size] = '\0';
  Release();
  text = buffer;
  length = LengthOf(buffer);
}

ToolString ToolString::operator+(const ToolString& other) const {
  ToolString joined(*this);
  joined.Append(other);
  return joined;
}

bool ToolString::operator==(const char* other) const {
  return std::strcmp(text, other == nullptr ? "" : other) == 0;
}

ToolStringNode::ToolStringNode(const ToolString& name) : name(name) {}

ToolStringNode::~ToolStringNode() {
  // Iterative over siblings so that a long list cannot exhaust the stack.
  ToolStringNode* child = firstChild;
  while (child != nullptr) {
    ToolStringNode* following = child->next;
    delete child;
    child = following;
  }
}

ToolStringNode* ToolStringNode::FindChild(const ToolString& childName) const {
  for (ToolStringNode* child = firstChild; child != nullptr; child = child->next) {
    if (child->name == childName) return child;
  }
  return nullptr;
}

ToolStringNode* ToolStringNode::AddChild(const ToolString& childName) {
  if (ToolStringNode* existing = FindChild(childName)) return existing;
  ToolStringNode* child = new ToolStringNode(childName);
  if (lastChild == nullptr) {
    firstChild = child;
  } else {
    lastChild->next = child;
  }
  lastChild = child;
  ++childCount;
  return child;
}
