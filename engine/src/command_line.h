// The engine's command line: `client.exe /d "<scan folder>" /cmd <volume> <options>`,
// the options a comma-separated string "fileopt,everything,disable,<ext>,enable,...,search"
// ("everything,enable" switches every option on, "<ext>,disable" one off again).
#pragma once
#include <string>
#include <vector>

namespace kes {

struct CommandLine {
  std::string folder;                // where found files go
  std::string volume;                // device, volume or image file to read
  std::vector<std::string> enabled;  // search options switched on, in the order given
  bool everything = false;            // every option on, but for those in `disabled`
  std::vector<std::string> disabled;  // options switched off after "everything,enable"
};

// Whether the command line switches the search option `name` on.
bool option_enabled(const CommandLine& cl, const char* name);

// Unknown arguments and option tokens are ignored; a line without a folder, a volume
// or an option string without "search" is malformed (false, with `error` set).
bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error);

// ASCII case-insensitive equality, for option names and extensions.
bool same_text(const char* a, const char* b);

}  // namespace kes
