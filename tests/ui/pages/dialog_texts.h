// The four languages the dialog tests and the gallery show (English, German, Japanese
// and Arabic), read from the language file that ships, and messages of two lengths made
// of that language's own texts.
#pragma once
#include <string>
#include <vector>

#include "i18n/language.h"

struct dialog_language {
  const wchar_t* section;  // as named in language.ini
  const wchar_t* code;     // for picture names
};

inline const dialog_language& dialog_languages(int index) {
  static const dialog_language languages[4] = {
      {L"English", L"en"},
      {L"Deutsch", L"de"},
      {L"\x65e5\x672c\x8a9e", L"jp"},                              // Japanese
      {L"\x0627\x0644\x0639\x0631\x0628\x064a\x0629", L"ar"}};  // Arabic
  return languages[index];
}

// Makes the language at `index` the only one in text_table; false when the file or its
// section is missing.
inline bool use_dialog_language(const std::wstring& language_file, int index) {
  reset_language_for_test();
  return load_language_file(language_file, dialog_languages(index).section, true) == 0 &&
         !lookup_text("btn_ok").empty();
}

// One line in every dialog.
inline std::wstring short_message() { return lookup_text("option_msg"); }

// More than the message box's text area holds.
inline std::wstring long_message() { return lookup_text("home_text") + L" " + lookup_text("recovery_text"); }

// The longest of the texts the language file gives a message box of `mode` (0 to 4, as
// the callers fill them in), or the folder dialog's for mode 5.
inline std::wstring longest_message(int mode) {
  static const std::vector<const char*> keys[6] = {
      {"config_language_change_notice"},
      {"no_selection", "option_no_dir", "no_card", "option_msg", "next_failed"},
      {"recovery_failed_code1", "recovery_failed_code2", "recovery_failed_code3"},
      {"cancel_confirm"},
      {"recovery_finished"},
      {"cache_msg"}};
  std::wstring longest;
  for (const char* key : keys[mode]) {
    const std::wstring text = fill_text(lookup_text(key), {mode == 5 ? L"1024.00G" : L"12345"});
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}
