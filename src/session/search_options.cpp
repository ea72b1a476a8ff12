#include "session/search_options.h"

const char* const kVideoSearch[15] = {"max", "mov",  "riff", "asf", "flv", "dpx", "dv",  "fcp",
                                      "ifo", "m2ts", "mkv",  "mpg", "rm",  "swf", "TiVo"};
const char* const kPhotoSearch[14] = {"tif", "dsc", "raf", "x3f", "orf", "rw2", "crw",
                                      "mrw", "png", "gif", "bmp", "jpg", "ico", "psd"};
const char* const kAudioSearch[25] = {"aif", "all", "als",  "ape", "asf", "au",  "caf",
                                      "riff", "flac", "gp5", "ds2", "dss", "flp", "it",
                                      "mid", "mp3", "mus",  "ogg", "ra",  "rns", "ses",
                                      "sib", "wv",  "xm",   "wtv"};

namespace {
std::string g_options;

template <size_t N>
void enable_all(std::string& out, const char* const (&table)[N]) {
  for (const char* ext : table) out.append(ext).append(",enable,");
}
}  // namespace

const std::string& build_search_options(int photo, int video, int audio) {
  g_options = "fileopt,everything,disable,";
  if (video) enable_all(g_options, kVideoSearch);
  if (photo) enable_all(g_options, kPhotoSearch);
  if (audio) enable_all(g_options, kAudioSearch);
  g_options += "search";
  return g_options;
}

const std::string& search_options() { return g_options; }
