#pragma once
// Texts of the user interface, looked up by ASCII key in the sections of "language.ini".
//
// Some texts are printf-style formats; fill them with fill_text rather than handing a
// text from the file to printf as its format.
#include <map>
#include <string>
#include <vector>

// Key bytes -> text. Filled at start-up, then only read (no lock needed).
extern std::map<std::string, std::wstring> text_table;
// Every section name of the file, in file order, duplicates included.
extern std::vector<std::wstring> language_list;
// Position in language_list of the language in use.
extern int current_language_index;

// Reads "language.ini" from the current directory: 0 when read, -1 when it cannot be opened.
// Keys already in text_table keep their text; primary decides whether a found section
// sets current_language_index.
int load_language(const std::wstring& name, bool primary);
// The same from another file (tests, tools).
int load_language_file(const std::wstring& path, const std::wstring& name, bool primary);

// The text for the key, or an empty text when the key is absent.
std::wstring lookup_text(const std::string& key);

// Two-letter code of the language in use: "de", "fr", "es", "cn", "hk", "it", "jp", "pt",
// "nl", "ar" or "en".
std::wstring language_code();

// Fills the placeholders of a format text from the language file with argument texts:
// %d, %u, %i, %I64d, %I64u, %lld, %llu, %s and %ls each take the next argument as it
// stands (numbers are passed already formatted), %% gives one percent sign. A placeholder
// without an argument left, or any other % sequence, stays in the text unchanged, so a
// damaged language file can never make the program read arguments that do not exist.
std::wstring fill_text(const std::wstring& format, const std::vector<std::wstring>& args);

// Empties text_table and language_list and sets current_language_index to 0 (tests).
void reset_language_for_test();
