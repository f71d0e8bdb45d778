// The framework's string: an owned NUL-terminated text and its length.
// Every empty string shares one constant text, so building, copying or
// assigning an empty string allocates nothing; any other text belongs to
// exactly one string and copies duplicate it.
#pragma once

#include <cstdint>

class ToolString {
 public:
  ToolString();
  ToolString(const char* text);  // NOLINT: null or "" gives the empty string
  ToolString(const char* first, const char* last);
  ToolString(const ToolString& other);
  ~ToolString();
  ToolString& operator=(const ToolString& other);

  const char* Text() const { return text; }
  int32_t Length() const { return length; }
  bool NotEmpty() const { return text[0] != '\0'; }

  ToolString Substring(int32_t start, int32_t end) const;
  ToolString ToLower() const;
  void Append(const ToolString& other);
  ToolString operator+(const ToolString& other) const;

  bool operator==(const char* other) const;
  bool operator==(const ToolString& other) const { return *this == other.text; }

 private:
  char* text;
  int32_t length;

  void Release();
};

// A tree of names: each node owns its children, which keep the order in
// which they were first added and never repeat a name.
class ToolStringNode {
 public:
  explicit ToolStringNode(const ToolString& name);
  ~ToolStringNode();
  ToolStringNode(const ToolStringNode&) = delete;
  ToolStringNode& operator=(const ToolStringNode&) = delete;

  const ToolString& Name() const { return name; }
  ToolStringNode* FirstChild() const { return firstChild; }
  ToolStringNode* Next() const { return next; }
  uint32_t ChildCount() const { return childCount; }
  ToolStringNode* FindChild(const ToolString& childName) const;
  // The child of that name, added at the end when there is none.
  ToolStringNode* AddChild(const ToolString& childName);

 private:
  ToolString name;
  ToolStringNode* firstChild = nullptr;
  ToolStringNode* lastChild = nullptr;
  ToolStringNode* next = nullptr;
  uint32_t childCount = 0;
};
