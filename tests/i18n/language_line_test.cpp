#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "i18n/language_line.h"

namespace {

// The reference: the two expressions themselves, on the whole line with its line end.
const std::regex kHeader("^\\s*\\[(.*)\\]\\s*$", std::regex::ECMAScript);
const std::regex kEntry("^\\s*([^;].*)\\s*=\\s*\"(.+)\"\\s*$", std::regex::ECMAScript);

void expect_same_as_regex(const std::string& line) {
  std::smatch m;
  std::string name, key, value;
  bool header = std::regex_match(line, m, kHeader);
  ASSERT_EQ(header, match_header_line(line, name)) << '[' << line << ']';
  if (header) {
    EXPECT_EQ(m[1].str(), name) << '[' << line << ']';
  }
  bool entry = std::regex_match(line, m, kEntry);
  ASSERT_EQ(entry, match_entry_line(line, key, value)) << '[' << line << ']';
  if (entry) {
    EXPECT_EQ(m[1].str(), key) << '[' << line << ']';
    EXPECT_EQ(m[2].str(), value) << '[' << line << ']';
  }
}

TEST(LanguageLine, AgreesWithTheExpressionsOnHandPickedLines) {
  const char* const lines[] = {
      "[English]\n", "  [ Deutsch ]  \r\n", "[a]b]\n", "[a]b\n", "[]\n", "x[a]\n",
      "[a\r]\n", "[\"x\"=\"y\"]\n", "key=\"value\"\n", "key = \"value\" \n", ";key=\"v\"\n",
      " ;key=\"v\"\n", "  =\"v\"\n", "=\"v\"\n", "a=\"b\"=\"c\"\n", "a=\"b=\"c\"\n",
      "a=\"\"\n", "a=\"\"\"\n", "a=\"x\" tail\n", "a=\"x\r\"\n", "a\r=\"x\"\n", "\n", "",
      "\t\v\f \"=\"q\"\n", "k=\"v\"", "\xEF\xBB\xBF[English]\n"};
  for (const char* line : lines) expect_same_as_regex(line);
}

TEST(LanguageLine, AgreesWithTheExpressionsOnGeneratedLines) {
  // Short lines over the characters that matter to the two forms.
  const char alphabet[] = {' ', '\t', ';', '=', '"', 'a', 'b', '[', ']', '\r', '\n'};
  std::mt19937 random(20261208);
  for (int round = 0; round < 40000; ++round) {
    std::string line;
    int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) line += alphabet[random() % sizeof alphabet];
    if (random() % 2) line += '\n';
    expect_same_as_regex(line);
    if (HasFatalFailure()) return;
  }
}

TEST(LanguageLine, HandlesTheLongestLineQuickly) {
  // A regular-expression engine recursing per character would exhaust the stack here.
  std::string line(2040, ' ');
  line += "k=\"";
  line += std::string(3, 'v');
  line += "\"";
  std::string key, value;
  ASSERT_TRUE(match_entry_line(line, key, value));
  EXPECT_EQ("k", key);
  EXPECT_EQ("vvv", value);
  std::string blanks(2045, ' ');
  EXPECT_FALSE(match_entry_line(blanks + "\"", key, value));
  EXPECT_FALSE(match_entry_line(blanks + "=\"", key, value));
}

TEST(LanguageLine, EscapesTabBeforeLineFeed) {
  EXPECT_EQ("a\tb\nc", expand_escapes("a\\tb\\nc"));
  EXPECT_EQ("\\\t", expand_escapes("\\\\t"));
  EXPECT_EQ("\\x\\", expand_escapes("\\x\\"));
}

}  // namespace
