#include "file_naming.h"

#include <cstring>
#include "command_line.h"
#include "decimal.h"

namespace kes {
namespace {

// The application's classification tables, per kind (0 photo, 1 video, 2 audio).
const char* const kPhoto[] = {"nef", "cr2", "dcr", "pef", "arw", "sr2", "tiff", "jng",
                              "tif", "dsc", "raf", "x3f", "orf", "rw2", "crw", "mrw",
                              "png", "gif", "bmp", "jpg", "ico", "psd", "mng", "dng"};
const char* const kVideo[] = {"3ds", "3g2", "3gp", "aep", "ani", "wmv", "avi", "fla",
                              "m2t", "m3u", "mp4", "pvp", "ram", "swc", "tod", "webm",
                              "max", "mov", "riff", "asf", "flv", "dpx", "dv", "fcp",
                              "ifo", "m2ts", "mkv", "mpg", "rm", "swf", "TiVo"};
const char* const kAudio[] = {"aif", "all", "als", "ape", "wma", "cda", "cpr", "cue", "ogm",
                              "wav", "xrns", "wpl", "asf", "au", "caf", "riff", "flac",
                              "gp5", "ds2", "dss", "flp", "it", "mid", "mp3", "mus",
                              "ogg", "ra", "rns", "ses", "sib", "wv", "xm", "wtv"};

template <size_t N>
bool listed(const char* const (&table)[N], const char* ext) {
  for (const char* e : table)
    if (same_text(e, ext)) return true;
  return false;
}

}  // namespace

unsigned extension_kinds(const char* ext) {
  unsigned kinds = 0;
  if (listed(kPhoto, ext)) kinds |= 1u << 0;
  if (listed(kVideo, ext)) kinds |= 1u << 1;
  if (listed(kAudio, ext)) kinds |= 1u << 2;
  return kinds;
}

std::string carve_extension(const Format& format, const Carve& carve) {
  char ext[sizeof carve.ext + 1] = {};
  std::memcpy(ext, carve.ext, sizeof carve.ext);
  ext[7] = '\0';  // at most 7 characters, as the application stores them
  unsigned allowed = (1u << static_cast<unsigned>(format.kind)) | extension_kinds(format.name);
  if (ext[0] && (extension_kinds(ext) & allowed)) return ext;
  return format.name;
}

CarveName carve_name(const std::string& folder, char sep, uint64_t n, const std::string& ext) {
  CarveName name;
  name.dir = folder + sep + decimal(n / kFilesPerFolder, 3);
  std::string stem = "f" + decimal(n, 7);
  name.path = name.dir + sep + stem + "." + ext;
  name.temp_path = name.dir + sep + "." + stem + ".part";
  return name;
}

size_t longest_carve_path(const std::string& folder) {
  // up to 10^9 files: folder + "/4000000/" + "f999999999" + ".webm"
  return folder.size() + 1 + 7 + 1 + 10 + 1 + 7;
}

}  // namespace kes
