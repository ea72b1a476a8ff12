// The engine's command line: `client.exe /d "<scan folder>" /cmd <volume> <options>`,
// the options as kestrune_command_line.h builds and reads them ("everything,enable"
// switches every option on, "<ext>,disable" one off again).
#pragma once
#include <string>
#include <vector>

#include "kestrune_command_line.h"

namespace kes {

using kestrune::same_text;

struct CommandLine : kestrune::SearchOptions {
  std::string folder;  // where found files go
  std::string volume;  // device, volume or image file to read
};

// Whether the command line switches the search option `name` on.
inline bool option_enabled(const CommandLine& cl, const char* name) { return cl.enables(name); }

// Unknown arguments and option tokens are ignored; a line without a folder, a volume
// or an option string without "search" is malformed (false, with `error` set).
bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error);

}  // namespace kes
