#include "command_line.h"

#include <algorithm>
#include <cstring>

namespace kes {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<std::string> split_commas(const std::string& text) {
  std::vector<std::string> tokens;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::string token = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!token.empty()) tokens.push_back(token);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return tokens;
}

void set_enabled(std::vector<std::string>& enabled, const std::string& name, bool on) {
  auto it = std::find_if(enabled.begin(), enabled.end(),
                         [&](const std::string& e) { return same_text(e.c_str(), name.c_str()); });
  if (on && it == enabled.end()) enabled.push_back(name);
  if (!on && it != enabled.end()) enabled.erase(it);
}

// Reads the option tokens up to "search": "fileopt,everything,disable" clears the set,
// "everything,enable" fills it, "<x>,enable" and "<x>,disable" switch one option;
// anything else is skipped. False without "search".
bool parse_options(const std::string& text, CommandLine* cl) {
  std::vector<std::string> tokens = split_commas(text);
  auto search = std::find_if(tokens.begin(), tokens.end(), [](const std::string& t) { return same_text(t.c_str(), "search"); });
  if (search == tokens.end()) return false;
  tokens.erase(search, tokens.end());
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (same_text(t.c_str(), "fileopt")) continue;
    bool has_next = i + 1 < tokens.size();
    const bool enable = has_next && same_text(tokens[i + 1].c_str(), "enable");
    if (!enable && !(has_next && same_text(tokens[i + 1].c_str(), "disable"))) continue;
    ++i;
    if (same_text(t.c_str(), "everything")) {
      cl->everything = enable;
      cl->enabled.clear();
      cl->disabled.clear();
    } else {
      set_enabled(cl->enabled, t, enable);
      set_enabled(cl->disabled, t, !enable);
    }
  }
  return true;
}

}  // namespace

bool option_enabled(const CommandLine& cl, const char* name) {
  auto named = [&](const std::string& e) { return same_text(e.c_str(), name); };
  const std::vector<std::string>& listed = cl.everything ? cl.disabled : cl.enabled;
  return cl.everything != std::any_of(listed.begin(), listed.end(), named);
}

bool same_text(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (lower(*a) != lower(*b)) return false;
  return *a == *b;
}

bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error) {
  *out = CommandLine();
  std::string options;
  bool have_folder = false, have_cmd = false;
  for (int i = 1; i < argc; ++i) {
    if (same_text(argv[i], "/d") && i + 1 < argc) {
      out->folder = argv[++i];
      have_folder = true;
    } else if (same_text(argv[i], "/cmd") && i + 2 < argc) {
      out->volume = argv[++i];
      options = argv[++i];
      have_cmd = true;
    }
  }
  if (!have_folder || out->folder.empty()) {
    *error = "no scan folder: expected /d \"<scan folder>\"";
    return false;
  }
  if (!have_cmd || out->volume.empty()) {
    *error = "no volume and options: expected /cmd <volume> <options>";
    return false;
  }
  if (!parse_options(options, out)) {
    *error = "malformed option string \"" + options + "\": expected fileopt,everything,disable,<ext>,enable,...,search";
    return false;
  }
  return true;
}

}  // namespace kes
