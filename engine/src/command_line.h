// The engine's command line: `client.exe /d "<scan folder>" /cmd <volume> <options>`,
// the options a comma-separated string "fileopt,everything,disable,<ext>,enable,...,search".
#pragma once
#include <string>
#include <vector>

namespace kes {

struct CommandLine {
  std::string folder;                // where found files go
  std::string volume;                // device, volume or image file to read
  std::vector<std::string> enabled;  // search options switched on, in the order given
};

// Unknown arguments and option tokens are ignored; a line without a folder, a volume
// or an option string without "search" is malformed (false, with `error` set).
bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error);

// ASCII case-insensitive equality, for option names and extensions.
bool same_text(const char* a, const char* b);

}  // namespace kes
