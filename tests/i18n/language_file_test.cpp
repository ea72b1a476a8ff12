#include <gtest/gtest.h>

#include "i18n/language.h"
#include "test_files.h"

namespace {

class LanguageFile : public ::testing::Test {
 protected:
  void SetUp() override { reset_language_for_test(); }
  void TearDown() override { reset_language_for_test(); }
};

const char kThreeLanguages[] =
    "[English]\r\n"
    "menu_help=\"Help\"\r\n"
    "menu_exit=\"Exit\"\r\n"
    "only_english=\"From English\"\r\n"
    "[Deutsch]\r\n"
    "menu_help=\"Hilfe\"\r\n"
    "menu_exit=\"Beenden\"\r\n"
    "menu_exit=\"Zweite Definition\"\r\n"
    "[Fran\xC3\xA7" "ais]\r\n"
    "menu_help=\"Aide\"\r\n";

TEST_F(LanguageFile, ChosenSectionFoundWithoutCaseAndEnglishFillsTheGaps) {
  TempLanguageFile file(kThreeLanguages);
  ASSERT_EQ(0, load_language_file(file.path(), L"deutsch", true));
  ASSERT_EQ(0, load_language_file(file.path(), L"English", false));
  EXPECT_EQ(1, current_language_index);
  EXPECT_EQ(L"de", language_code());
  EXPECT_EQ(L"Hilfe", lookup_text("menu_help"));
  EXPECT_EQ(L"Beenden", lookup_text("menu_exit"));  // the first definition wins
  EXPECT_EQ(L"From English", lookup_text("only_english"));
  ASSERT_EQ(3u, language_list.size());              // rebuilt, not appended, by the second load
  EXPECT_EQ(L"Fran\u00e7ais", language_list[2]);
  EXPECT_EQ(L"", lookup_text("MENU_HELP"));          // keys compare case-sensitively
}

TEST_F(LanguageFile, MissingLanguageLeavesIndexAndEnglishSuppliesTexts) {
  TempLanguageFile file(kThreeLanguages);
  current_language_index = 0;
  ASSERT_EQ(0, load_language_file(file.path(), L"Klingon", true));
  EXPECT_TRUE(text_table.empty());
  ASSERT_EQ(0, load_language_file(file.path(), L"English", false));
  EXPECT_EQ(0, current_language_index);
  EXPECT_EQ(L"Help", lookup_text("menu_help"));
  EXPECT_EQ(L"en", language_code());
  current_language_index = 2;  // chosen in the menu: the code follows at once
  EXPECT_EQ(L"fr", language_code());
}

TEST_F(LanguageFile, MissingFileChangesNothing) {
  TempLanguageFile file(kThreeLanguages);
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_EQ(-1, load_language_file(L"no_such_language.ini", L"Deutsch", true));
  EXPECT_EQ(3u, language_list.size());
  EXPECT_EQ(L"Help", lookup_text("menu_help"));
}

TEST_F(LanguageFile, EscapesAreReplacedWithoutLookingAtContext) {
  TempLanguageFile file(
      "[English]\n"
      "two_lines=\"first\\nsecond\"\n"
      "tabbed=\"a\\tb\"\n"
      "temp_path=\"C:\\temp\\new\"\n"
      "other=\"keep \\x as is\"\n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_EQ(L"first\nsecond", lookup_text("two_lines"));
  EXPECT_EQ(L"a\tb", lookup_text("tabbed"));
  EXPECT_EQ(L"C:\temp\new", lookup_text("temp_path"));
  EXPECT_EQ(L"keep \\x as is", lookup_text("other"));
}

TEST_F(LanguageFile, LineFormsDecideWhatIsDefined) {
  TempLanguageFile file(
      "[English]\n"
      "menu_help =\"With blank\"\n"
      ";commented=\"No\"\n"
      "  ;indented=\"Yes\"\n"
      "quoted=\"say \"hi\"\"\n"
      "no_value=\"\"\n"
      "\n"
      "   padded   =   \"v\"   \n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_EQ(L"", lookup_text("menu_help"));
  EXPECT_EQ(L"With blank", lookup_text("menu_help "));
  EXPECT_EQ(L"", lookup_text(";commented"));
  EXPECT_EQ(L"Yes", lookup_text(" ;indented"));
  EXPECT_EQ(L"say \"hi\"", lookup_text("quoted"));
  EXPECT_EQ(0u, text_table.count("no_value"));
  EXPECT_EQ(L"v", lookup_text("padded   "));
  EXPECT_EQ(4u, text_table.size());
}

TEST_F(LanguageFile, SecondHeaderOfTheSameNameOnlyEndsTheSection) {
  TempLanguageFile file(
      "[English]\n"
      "[English]\n"
      "after=\"not loaded\"\n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_TRUE(text_table.empty());
  EXPECT_EQ(2u, language_list.size());
}

TEST_F(LanguageFile, ByteOrderMarkHidesTheFirstHeader) {
  TempLanguageFile file(
      "\xEF\xBB\xBF[English]\n"
      "first=\"one\"\n"
      "[Deutsch]\n"
      "[English]\n"
      "second=\"two\"\n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_EQ(L"", lookup_text("first"));
  EXPECT_EQ(L"two", lookup_text("second"));
  EXPECT_EQ(1, current_language_index);
}

TEST_F(LanguageFile, NoHeadersMeansNoTexts) {
  TempLanguageFile file("menu_help=\"Help\"\n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_TRUE(language_list.empty());
  EXPECT_TRUE(text_table.empty());
  EXPECT_EQ(L"en", language_code());
}

TEST_F(LanguageFile, LongLinesAreReadInPiecesOf2047Bytes) {
  std::string long_value(3000, 'x');
  // The first piece holds the key, "=", the quote and 2044 bytes of value without its
  // closing quote: no entry. The rest ends in a quote but has no "=": no entry either.
  TempLanguageFile file("[English]\nk=\"" + long_value + "\"\nshort=\"ok\"\n");
  ASSERT_EQ(0, load_language_file(file.path(), L"English", true));
  EXPECT_EQ(1u, text_table.size());
  EXPECT_EQ(L"ok", lookup_text("short"));

  std::string fits(2040, 'y');
  TempLanguageFile second("[English]\nk=\"" + fits + "\"\n", L"test_language2.ini");
  reset_language_for_test();
  ASSERT_EQ(0, load_language_file(second.path(), L"English", true));
  EXPECT_EQ(std::wstring(2040, L'y'), lookup_text("k"));
}

// Damaged files load what can be read and nothing else; none of them stops the program.
TEST_F(LanguageFile, DamagedFilesGiveWhatCanBeReadAndNoMore) {
  const std::string nul("a=\"cut\0off\"\nb=\"kept\"\n", 24);
  struct Case {
    const char* what;
    std::string body;  // after an English header
    const char* key;
    std::wstring text;
    size_t entries;
  } cases[] = {
      {"a NUL ends its line", nul, "b", L"kept", 1},
      {"a byte that is no UTF-8", "a=\"x\xC3\x28y\"\n", "a", L"x\uFFFD(y", 1},
      {"carriage returns alone", "a=\"one\"\rb=\"two\"\r\n", "b", L"", 0},
      {"text mode stops at Ctrl-Z", "a=\"one\"\n\x1A" "b=\"two\"\n", "a", L"one", 1},
      {"binary noise before an entry", std::string("\x01\x02\xFF\xFE[\n\x80=\n") + "a=\"ok\"\n", "a", L"ok", 1},
      {"a value that never closes", "a=\"open\nb=\"shut\"\n", "b", L"shut", 1},
  };
  for (const Case& c : cases) {
    reset_language_for_test();
    TempLanguageFile file("[English]\n" + c.body);
    ASSERT_EQ(0, load_language_file(file.path(), L"English", true)) << c.what;
    EXPECT_EQ(c.text, lookup_text(c.key)) << c.what;
    EXPECT_EQ(c.entries, text_table.size()) << c.what;
    EXPECT_EQ(1u, language_list.size()) << c.what;
  }
}

TEST_F(LanguageFile, NamesAndTextsAreConvertedFromUtf8) {
  TempLanguageFile file(
      "[\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E]\n"   // 日本語
      "menu_help=\"\xE3\x83\x98\xE3\x83\xAB\xE3\x83\x97\"\n");  // ヘルプ
  ASSERT_EQ(0, load_language_file(file.path(), L"\u65e5\u672c\u8a9e", true));
  EXPECT_EQ(L"\u30d8\u30eb\u30d7", lookup_text("menu_help"));
  EXPECT_EQ(L"jp", language_code());
}

}  // namespace
