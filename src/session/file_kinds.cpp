#include "session/file_kinds.h"

#include <windows.h>

#include <string>

#include "base/ansi_text.h"
#include "kestrune_command_line.h"
#include "session/user_message.h"

namespace {

// Wider than the engine's search tables, so that files reloaded from a cache sort too.
using kestrune::kAudioKinds;
using kestrune::kPhotoKinds;
using kestrune::kVideoKinds;

template <size_t N>
bool listed(const char* const (&table)[N], const char* ext) {
  for (const char* entry : table)
    if (kestrune::same_text(entry, ext)) return true;
  return false;
}

static_assert(sizeof kVideoKinds / sizeof *kVideoKinds == 31, "video table");
static_assert(sizeof kPhotoKinds / sizeof *kPhotoKinds == 28, "photo table");
static_assert(sizeof kAudioKinds / sizeof *kAudioKinds == 34, "audio table");

}  // namespace

int classify_extension_quietly(const char* ext) {
  if (!ext) ext = "";
  if (listed(kVideoKinds, ext)) return kVideo;
  if (listed(kPhotoKinds, ext)) return kPhoto;
  if (listed(kAudioKinds, ext)) return kAudio;
  return kOther;
}

int classify_extension(const char* ext) {
  const int kind = classify_extension_quietly(ext);
  if (kind == kOther) show_user_message(nullptr, 2, ansi_to_wide(ext ? ext : "").c_str());
  return kind;
}
