#include "framework/tokenizer.h"

#include <gtest/gtest.h>

namespace {

struct TokenCase {
  const char* name;
  std::string text;
  std::vector<std::string> tokens;
};

class TokenizerTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenizerTest, SplitsLikeACommandLine) {
  EXPECT_EQ(Tokenize(GetParam().text), GetParam().tokens) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TokenizerTest,
    ::testing::Values(
        TokenCase{"empty", "", {}},
        TokenCase{"whitespace_only", " \t\r\n\v\f ", {}},
        TokenCase{"lines_and_tabs", "-text\r\n-outputdir\tc:\\munged\\\n", {"-text", "-outputdir", "c:\\munged\\"}},
        TokenCase{"several_on_a_line", "a b  c", {"a", "b", "c"}},
        TokenCase{"quotes_group_blanks", "\"my file.lua\" x", {"my file.lua", "x"}},
        TokenCase{"quotes_inside_a_token", "a\"b c\"d", {"ab cd"}},
        TokenCase{"empty_quoted_token", "\"\" x", {"", "x"}},
        TokenCase{"doubled_quote_inside_quotes", "\"a\"\"b c\"", {"a\"b", "c"}},
        TokenCase{"backslashes_literal_before_other", "a\\\\b\\", {"a\\\\b\\"}},
        TokenCase{"even_backslashes_before_quote", "\"a\\\\\" b", {"a\\", "b"}},
        TokenCase{"odd_backslashes_before_quote", "a\\\"b", {"a\"b"}},
        TokenCase{"three_backslashes_before_quote", "a\\\\\\\"b", {"a\\\"b"}},
        TokenCase{"trailing_backslash_in_quotes_runs_on",
                  "\"c:\\munged\\\" -text", {"c:\\munged\" -text"}},
        TokenCase{"unclosed_quote_runs_to_end", "\"a b", {"a b"}},
        TokenCase{"high_bytes_are_ordinary", "\xA0x\xFF y", {"\xA0x\xFF", "y"}},
        TokenCase{"backslashes_at_end_of_text", "x\\\\", {"x\\\\"}}),
    [](const ::testing::TestParamInfo<TokenCase>& info) { return std::string(info.param.name); });

TEST(NextTokenTest, ReturnsThePositionWhereTheTokenEnded) {
  std::string token;
  std::optional<size_t> end = NextToken("  ab cd", 0, &token);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(*end, 4u);
  EXPECT_EQ(token, "ab");
  token.clear();
  EXPECT_EQ(NextToken("  ab cd", 4, &token), std::optional<size_t>(7));
  EXPECT_EQ(token, "cd");
  EXPECT_FALSE(NextToken("  ab cd", 7, &token).has_value());
}

}  // namespace
