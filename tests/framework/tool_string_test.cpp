#include "framework/tool_string.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ToolStringTest, EmptyStringsShareOneTextAndCopiesDuplicate) {
  ToolString fromNull(nullptr);
  ToolString fromEmpty("");
  ToolString defaulted;
  for (const ToolString* s : {&fromNull, &fromEmpty, &defaulted}) {
    EXPECT_EQ(s->Length(), 0);
    EXPECT_TRUE(s->UsesSharedEmptyText());
    EXPECT_FALSE(s->NotEmpty());
  }
  EXPECT_EQ(fromNull.Text(), fromEmpty.Text());
  ToolString copy(fromEmpty);
  EXPECT_TRUE(copy.UsesSharedEmptyText());

  ToolString text("abc");
  ToolString duplicate(text);
  EXPECT_NE(text.Text(), duplicate.Text());
  EXPECT_TRUE(duplicate == "abc");
  EXPECT_EQ(duplicate.Length(), 3);
}

TEST(ToolStringTest, AppendAlwaysAllocatesAndStaysEqualToEmpty) {
  ToolString empty;
  empty.Append(ToolString());
  EXPECT_FALSE(empty.UsesSharedEmptyText());
  EXPECT_EQ(empty.Length(), 0);
  EXPECT_TRUE(empty == "");
  EXPECT_TRUE(empty == nullptr);

  ToolString joined = ToolString("data\\") + ToolString("pc");
  EXPECT_TRUE(joined == "data\\pc");
  EXPECT_EQ(joined.Length(), 7);
  // A copy of a heap-held empty text is the shared one again.
  EXPECT_TRUE(ToolString(empty).UsesSharedEmptyText());
}

TEST(ToolStringTest, AssignmentHandlesSelfEmptyAndReplacement) {
  ToolString s("value");
  const char* before = s.Text();
  ToolString& alias = s;
  s = alias;
  EXPECT_EQ(s.Text(), before);
  EXPECT_TRUE(s == "value");
  s = ToolString();
  EXPECT_TRUE(s.UsesSharedEmptyText());
  s = ToolString("other");
  EXPECT_TRUE(s == "other");
  EXPECT_EQ(s.Length(), 5);
}

TEST(ToolStringTest, RangesAndSubstrings) {
  const char text[] = "ab\0cd";
  ToolString withNul(text, text + 5);
  EXPECT_EQ(withNul.Length(), 2);
  EXPECT_TRUE(withNul == "ab");
  EXPECT_TRUE(ToolString(text, text).UsesSharedEmptyText());
  ToolString nulFirst(text + 2, text + 5);
  EXPECT_TRUE(nulFirst.UsesSharedEmptyText());

  ToolString word("abcdef");
  EXPECT_TRUE(word.Substring(2, 2).UsesSharedEmptyText());
  EXPECT_TRUE(word.Substring(0, word.Length()) == "abcdef");
  EXPECT_TRUE(word.Substring(1, 4) == "bcd");
}

TEST(ToolStringTest, EqualityIsCaseSensitiveAndLoweringIsAsciiOnly) {
  ToolString upper("ABC");
  EXPECT_FALSE(upper == "abc");
  EXPECT_TRUE(upper.ToLower() == "abc");
  EXPECT_TRUE(upper == "ABC");  // the source is unchanged
  ToolString mixed("X:\\Dir\xC4Z");
  EXPECT_TRUE(mixed.ToLower() == "x:\\dir\xC4z");
  EXPECT_TRUE(ToolString("ab") == ToolString("ab"));
  EXPECT_FALSE(ToolString("ab") == ToolString("abc"));
}

TEST(ToolStringNodeTest, ChildrenAreUniqueOrderedAndCaseSensitive) {
  ToolStringNode root(ToolString("req"));
  ToolStringNode* shot = root.AddChild(ToolString("shot"));
  EXPECT_EQ(root.AddChild(ToolString("shot")), shot);
  EXPECT_EQ(root.ChildCount(), 1u);
  shot->AddChild(ToolString("b"));
  shot->AddChild(ToolString("a"));
  shot->AddChild(ToolString("B"));
  shot->AddChild(ToolString("a"));
  std::string order;
  for (ToolStringNode* n = shot->FirstChild(); n != nullptr; n = n->Next()) {
    order += n->Name().Text();
  }
  EXPECT_EQ(order, "baB");
  EXPECT_EQ(shot->ChildCount(), 3u);
  EXPECT_EQ(root.FindChild(ToolString("SHOT")), nullptr);
  EXPECT_EQ(root.FindChild(ToolString("shot")), shot);
}

TEST(ToolStringNodeTest, DestroyingARootFreesEveryLevel) {
  // Run under the sanitizers or valgrind this catches a leak or a double
  // free; here it checks that a deep and wide tree can be torn down.
  auto* root = new ToolStringNode(ToolString("root"));
  ToolStringNode* level = root;
  for (int depth = 0; depth < 100; ++depth) {
    for (int i = 0; i < 10; ++i) level->AddChild(ToolString(std::to_string(i).c_str()));
    level = level->FirstChild();
  }
  EXPECT_EQ(root->ChildCount(), 10u);
  delete root;
}
