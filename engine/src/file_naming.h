// Names of carved files: the extension they are written with and where they go.
#pragma once
#include <cstdint>
#include <string>
#include "format.h"

namespace kes {

// Bit (1 << kind) for every kind whose classification table lists `ext`.
unsigned extension_kinds(const char* ext);

// The extension a carve is written with: the one the format chose from the content
// when the application sorts it into the same kind as the format (or, for a video
// format, under audio), else the format's name.
std::string carve_extension(const Format& format, const Carve& carve);

constexpr uint32_t kFilesPerFolder = 250;

// Folder and file name of the n-th carved file: "<folder>/<n / 250>/f<n>.<ext>", the
// stem unique over the whole scan so that no two files share a thumbnail name.
struct CarveName {
  std::string dir;
  std::string path;       // final name
  std::string temp_path;  // written under this dot-name, renamed once complete
};
CarveName carve_name(const std::string& folder, char sep, uint64_t n, const std::string& ext);

// The longest path of a carved file below `folder`: it must stay under 260 characters.
size_t longest_carve_path(const std::string& folder);

}  // namespace kes
