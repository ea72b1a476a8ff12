#include "session/search_options.h"

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
