// The engine's command line as the program writes it and the engine reads it:
//   client.exe /d "<scan folder>" /cmd <volume> <options>
// The options say which search options (kestrune_contract.h) are on. Header-only, so that
// both builds use the very same text.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "kestrune_contract.h"

namespace kestrune {

// The folder the engine writes into, inside the program's cache folder. Folders of earlier
// scans carry this name, or this name followed by '.' and anything.
constexpr char kScanFolderName[] = "tmp";

// ASCII case-insensitive equality, for option names and extensions.
inline bool same_text(const char* a, const char* b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(*a) != lower(*b)) return false;
  return *a == *b;
}

// "fileopt,everything,disable," then "<option>,enable," for every search option of the
// wanted kinds, always video, photo, audio in that order, then "search".
inline std::string build_search_options(bool photo, bool video, bool audio) {
  std::string options = "fileopt,everything,disable,";
  auto enable_all = [&options](const auto& table) {
    for (const char* option : table) options.append(option).append(",enable,");
  };
  if (video) enable_all(kVideoSearch);
  if (photo) enable_all(kPhotoSearch);
  if (audio) enable_all(kAudioSearch);
  return options + "search";
}

// What an option string switches on: the options it enables, in the order given, or,
// after "everything,enable", every option but those it disables again.
struct SearchOptions {
  std::vector<std::string> enabled;
  bool everything = false;
  std::vector<std::string> disabled;

  bool enables(const char* name) const {
    const std::vector<std::string>& listed = everything ? disabled : enabled;
    return everything != std::any_of(listed.begin(), listed.end(),
                                     [name](const std::string& e) { return same_text(e.c_str(), name); });
  }
};

// Reads an option string up to "search": "everything,disable" and "everything,enable"
// start afresh with none or all on, "<option>,enable" and "<option>,disable" switch one,
// other tokens are skipped. False, with nothing on, without "search".
inline bool parse_search_options(const std::string& text, SearchOptions* out) {
  *out = SearchOptions();
  std::vector<std::string> tokens;
  for (size_t start = 0; start <= text.size();) {
    size_t comma = std::min(text.find(',', start), text.size());
    if (comma > start) tokens.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  auto search = std::find_if(tokens.begin(), tokens.end(), [](const std::string& t) { return same_text(t.c_str(), "search"); });
  if (search == tokens.end()) return false;
  tokens.erase(search, tokens.end());
  auto set = [](std::vector<std::string>& list, const char* name, bool in) {
    auto it = std::find_if(list.begin(), list.end(), [&](const std::string& e) { return same_text(e.c_str(), name); });
    if (in && it == list.end()) list.push_back(name);
    if (!in && it != list.end()) list.erase(it);
  };
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const char* name = tokens[i].c_str();
    if (same_text(name, "fileopt")) continue;
    const bool enable = same_text(tokens[i + 1].c_str(), "enable");
    if (!enable && !same_text(tokens[i + 1].c_str(), "disable")) continue;
    ++i;
    if (same_text(name, "everything")) {
      *out = SearchOptions();
      out->everything = enable;
    } else {
      set(out->enabled, name, enable);
      set(out->disabled, name, !enable);
    }
  }
  return true;
}

}  // namespace kestrune
