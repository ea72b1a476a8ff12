#include "command_line.h"

namespace kes {

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
  if (!kestrune::parse_search_options(options, out)) {
    *error = "malformed option string \"" + options + "\": expected fileopt,everything,disable,<ext>,enable,...,search";
    return false;
  }
  return true;
}

}  // namespace kes
