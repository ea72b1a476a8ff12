#include "file_naming.h"

#include <cstring>
#include "command_line.h"
#include "kestrune_contract.h"
#include "decimal.h"

namespace kes {
namespace {

// The application's classification tables, per kind.
using kestrune::kAudioKinds;
using kestrune::kPhotoKinds;
using kestrune::kVideoKinds;

template <size_t N>
bool listed(const char* const (&table)[N], const char* ext) {
  for (const char* e : table)
    if (same_text(e, ext)) return true;
  return false;
}

}  // namespace

unsigned extension_kinds(const char* ext) {
  unsigned kinds = 0;
  if (listed(kPhotoKinds, ext)) kinds |= 1u << 0;
  if (listed(kVideoKinds, ext)) kinds |= 1u << 1;
  if (listed(kAudioKinds, ext)) kinds |= 1u << 2;
  return kinds;
}

std::string carve_extension(const Format& format, const Carve& carve) {
  char ext[sizeof carve.ext + 1] = {};
  std::memcpy(ext, carve.ext, sizeof carve.ext);
  ext[7] = '\0';  // at most 7 characters, as the application stores them
  unsigned allowed = (1u << static_cast<unsigned>(format.kind)) | extension_kinds(format.name);
  // A movie's container may hold sound alone (a voice memo, music): sorted under audio.
  if (format.kind == Kind::video) allowed |= 1u << static_cast<unsigned>(Kind::audio);
  if (ext[0] && (extension_kinds(ext) & allowed)) return ext;
  return format.name;
}

CarveName carve_name(const std::string& folder, char sep, uint64_t n, const std::string& ext) {
  CarveName name;
  name.dir = folder + sep + decimal(n / kFilesPerFolder, 3);
  std::string stem = "f" + decimal(n, 7);
  name.path = name.dir + sep + stem + "." + ext;
  name.temp_path = name.dir + sep + kestrune::kUnfinishedMark + stem + ".part";
  return name;
}

size_t longest_carve_path(const std::string& folder) {
  // up to 10^9 files: folder + "/4000000/" + "f999999999" + ".webm"
  return folder.size() + 1 + 7 + 1 + 10 + 1 + 7;
}

}  // namespace kes
