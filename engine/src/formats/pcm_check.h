// Linear PCM samples carry no structure, but recorded sound is smooth: the second
// difference of its samples stays far below full scale, while another file's bytes
// (compressed data, pixel rows) read as samples swing across it. A sound file whose
// opening sectors are calm and whose contiguous reading later turns into such swings
// has run out of its own clusters into another file's. Noise-like sound (a test signal,
// a full-scale hiss) never passes the opening check, and its contiguous reading is kept.
#pragma once
#include <cstdint>

#include "formats/cursor.h"

namespace kes {

struct PcmLayout {
  unsigned sample_bytes = 0;  // 1 to 4; 0: not linear PCM, nothing is checked
  unsigned channels = 0;
  bool big_endian = false;
  bool offset_bytes = false;  // 8-bit samples stored plus 128 (WAVE's)
};

// Where the samples in [from, to) stop being this file's sound: the start of the first
// sector (512 bytes of the file, from its start) that cannot be, moved back over the
// restless sectors just before it, which may be the same foreign cluster, and over the
// still ones before those (a zeroed cluster reads as silence); `to` when they all can be.
uint64_t pcm_holds_to(Cursor& cur, uint64_t from, uint64_t to, const PcmLayout& layout);

}  // namespace kes
