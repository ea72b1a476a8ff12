// Checks the shipped "language.ini": every language has every text the program asks for,
// with the same placeholders as English.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "i18n/language.h"
#include "i18n/language_line.h"

namespace {

// Every key the program looks up.
const char* const kRequiredKeys[] = {
    "top_step1", "top_step2", "top_step3", "menu_help", "menu_about", "menu_exit",
    "config_language_change_notice", "cancel_confirm", "engine_failed", "engine_cache_full", "engine_unreadable",
    "home_btn_start", "home_btn_resume",
    "home_text", "option_title1", "option_title2", "option_title3", "option_title4",
    "option_title5", "option_text1", "option_text2", "option_text3", "option_text4",
    "option_text5", "option_text6",
    "option_same_volume", "option_path_chars",
    "option_photo", "option_video", "option_audio",
    "cache_folder", "btn_browse", "btn_refresh", "btn_next", "btn_back", "btn_close",
    "btn_open", "btn_home", "btn_ok", "btn_cancel", "btn_yes", "btn_no", "btn_start",
    "btn_pause", "btn_resume", "btn_stop", "btn_recovery", "btn_all", "btn_filter",
    "option_no_dir", "no_card", "option_msg", "next_failed", "cache_msg", "recovery_photo",
    "recovery_video", "recovery_audio", "recovery_text", "recovery_sector", "recovery_wait",
    "gen_preview", "recovery_file_info", "recovery_selection", "recovery_created",
    "recovery_model", "recovery_size", "recovery_total", "recovery_selected",
    "recovery_finished", "no_selection", "recovery_failed_code1", "recovery_failed_code2",
    "recovery_failed_code3", "about_name", "about_copyright", "about_information",
    "about_info", "about_btn_check", "about_btn_bk"};

const char* const kLanguages[] = {
    "English", "Deutsch", "Español", "Français", "Italiano", "日本語",
    "简体中文", "繁體中文", "Nederlands", "Português", "العربية"};

// Placeholders a format text must keep, by key.
const std::map<std::string, std::string> kFormats = {
    {"recovery_finished", "%d"},
    {"recovery_sector", "%I64u %I64u"},
    {"cache_msg", "%ls"},
    {"about_info", "%ls %ls %ls"}};

using Sections = std::map<std::string, std::map<std::string, std::string>>;

std::string read_all(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Reads the file the way the program does (text mode, line by line), keeping raw values.
Sections read_sections(const std::string& text, std::vector<std::string>& stray_lines) {
  Sections sections;
  std::string current;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line += '\n';
    std::string name, key, value;
    if (match_header_line(line, name)) {
      current = name;
      EXPECT_EQ(0u, sections.count(name)) << "section twice: " << name;
      sections[name];
    } else if (match_entry_line(line, key, value)) {
      EXPECT_FALSE(current.empty()) << "entry before any section: " << line;
      EXPECT_EQ(0u, sections[current].count(key)) << current << ": " << key << " twice";
      sections[current].emplace(key, value);
    } else if (line != "\n" && line[0] != ';') {
      stray_lines.push_back(line);
    }
  }
  return sections;
}

std::string placeholders(const std::string& value) {
  static const std::regex kPlaceholder("%(I64u|I64d|llu|lld|ls|d|u|i|s|%)");
  std::string found;
  for (std::sregex_iterator it(value.begin(), value.end(), kPlaceholder), end; it != end; ++it)
    found += (found.empty() ? "" : " ") + it->str();
  return found;
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ShippedLanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = read_all("language.ini");
    ASSERT_FALSE(text_.empty()) << "language.ini beside the test";
    sections_ = read_sections(text_, stray_lines_);
  }
  std::string text_;
  Sections sections_;
  std::vector<std::string> stray_lines_;
};

TEST_F(ShippedLanguageFile, IsUtf8WithoutByteOrderMarkAndHoldsOnlyKnownLineForms) {
  EXPECT_NE("\xEF\xBB\xBF", text_.substr(0, 3));
  EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text_.data(),
                                static_cast<int>(text_.size()), nullptr, 0),
            0);
  for (const std::string& line : stray_lines_) ADD_FAILURE() << "not an entry: " << line;
}

TEST_F(ShippedLanguageFile, EveryLanguageHasEveryKeyWithEnglishPlaceholders) {
  ASSERT_EQ(std::size(kLanguages), sections_.size());
  const auto& english = sections_["English"];
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    ASSERT_EQ(1u, sections_.count(language));
    const auto& texts = sections_[language];
    for (const char* key : kRequiredKeys) {
      auto found = texts.find(key);
      if (found == texts.end()) {
        ADD_FAILURE() << "missing " << key;
        continue;
      }
      EXPECT_EQ(placeholders(english.at(key)), placeholders(found->second)) << key;
      EXPECT_EQ(count_of(english.at(key), "\\n"), count_of(found->second, "\\n")) << key;
      EXPECT_EQ(0, count_of(found->second, "\\t")) << key;
    }
    for (const auto& entry : texts)
      EXPECT_NE(std::end(kRequiredKeys),
                std::find_if(std::begin(kRequiredKeys), std::end(kRequiredKeys),
                             [&](const char* k) { return entry.first == k; }))
          << "unused key " << entry.first;
  }
  for (const auto& format : kFormats) EXPECT_EQ(format.second, placeholders(english.at(format.first)));
}

TEST_F(ShippedLanguageFile, LoadsWithFallbackThroughTheProgramsOwnReader) {
  reset_language_for_test();
  ASSERT_EQ(0, load_language(L"\u65e5\u672c\u8a9e", true));
  ASSERT_EQ(0, load_language(L"English", false));
  EXPECT_EQ(L"jp", language_code());
  EXPECT_EQ(std::size(kLanguages), language_list.size());
  for (const char* key : kRequiredKeys) EXPECT_FALSE(lookup_text(key).empty()) << key;
  reset_language_for_test();
}

// Keys written literally in calls of lookup_text anywhere in the sources.
// Returns the number of source files read.
int collect_lookup_keys(const std::wstring& folder, std::set<std::string>& keys) {
  static const std::regex kCall("lookup_text\\(\\s*\"([A-Za-z0-9_]+)\"");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int files = 0;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      files += collect_lookup_keys(path, keys);
    } else if (name.size() > 2 && (name.substr(name.size() - 2) == L".h" ||
                                   (name.size() > 4 && name.substr(name.size() - 4) == L".cpp"))) {
      ++files;
      std::ifstream in(path.c_str());
      std::stringstream content;
      content << in.rdbuf();
      std::string text = content.str();
      for (std::sregex_iterator it(text.begin(), text.end(), kCall), end; it != end; ++it)
        keys.insert((*it)[1].str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

TEST_F(ShippedLanguageFile, AnswersEveryKeyTheSourcesLookUp) {
  std::string root = TESS_SOURCE_ROOT;
  std::wstring folder(root.begin(), root.end());
  for (wchar_t& c : folder)
    if (c == L'/') c = L'\\';
  if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "sources not reachable from here";
  std::set<std::string> keys;
  EXPECT_GT(collect_lookup_keys(folder, keys), 10);
  for (const std::string& key : keys)
    for (const char* language : kLanguages)
      EXPECT_EQ(1u, sections_[language].count(key)) << language << " lacks " << key;
}

}  // namespace
