// Tags that follow the audio of MPEG audio, FLAC, WavPack and Monkey's Audio files: an
// APE tag (version 1 or 2) or a Lyrics3 block, then an ID3v1 tag.
#pragma once
#include <cstdint>

#include "formats/cursor.h"

namespace kes {

// The end of the whole tags that begin at pos, or pos when none does.
uint64_t skip_tail_tags(Cursor& cur, uint64_t pos);

}  // namespace kes
