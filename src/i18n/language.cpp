#include "i18n/language.h"

#include <windows.h>

#include <cstdio>

#include "i18n/language_line.h"

std::map<std::string, std::wstring> text_table;
std::vector<std::wstring> language_list;
int current_language_index = 0;

namespace {

std::wstring from_utf8(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int chars = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  nullptr, 0);
  std::wstring text(chars > 0 ? chars : 0, L'\0');
  if (chars > 0)
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                        chars);
  return text;
}

bool same_name(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct LanguageCode {
  const wchar_t* name;
  const wchar_t* code;
};
const LanguageCode kLanguageCodes[] = {
    {L"Deutsch", L"de"},  {L"Français", L"fr"}, {L"Español", L"es"},   {L"简体中文", L"cn"},
    {L"繁體中文", L"hk"}, {L"Italiano", L"it"}, {L"日本語", L"jp"},    {L"Português", L"pt"},
    {L"Nederlands", L"nl"}, {L"العربية", L"ar"}};

}  // namespace

int load_language_file(const std::wstring& path, const std::wstring& name, bool primary) {
  FILE* file = _wfopen(path.c_str(), L"rt");
  if (!file) return -1;
  language_list.clear();
  bool in_section = false;
  char buffer[2048];
  while (fgets(buffer, sizeof buffer, file)) {
    std::string line(buffer);
    std::string first, second;
    if (match_header_line(line, first)) {
      language_list.push_back(from_utf8(first));
      if (in_section) {
        in_section = false;  // the next header always ends the selected section
      } else if (same_name(language_list.back(), name)) {
        in_section = true;
        if (primary) current_language_index = static_cast<int>(language_list.size()) - 1;
      }
    } else if (in_section && match_entry_line(line, first, second)) {
      text_table.emplace(first, from_utf8(expand_escapes(second)));  // first text wins
    }
  }
  fclose(file);
  return 0;
}

int load_language(const std::wstring& name, bool primary) {
  return load_language_file(L"language.ini", name, primary);
}

std::wstring lookup_text(const std::string& key) {
  auto found = text_table.find(key);
  return found == text_table.end() ? std::wstring() : found->second;
}

std::wstring language_code() {
  if (current_language_index < 0 ||
      current_language_index >= static_cast<int>(language_list.size()))
    return L"en";
  const std::wstring& current = language_list[current_language_index];
  for (const LanguageCode& entry : kLanguageCodes)
    if (same_name(current, entry.name)) return entry.code;
  return L"en";
}

void reset_language_for_test() {
  text_table.clear();
  language_list.clear();
  current_language_index = 0;
}
