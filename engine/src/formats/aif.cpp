// AIFF and AIFF-C: an IFF "FORM" whose big-endian size ends the file; the chunks inside
// (COMM, SSND, FVER, MARK, INST, COMT, ID3, ...), each padded to even, must fill it.
// COMM comes before the sound data, and an uncompressed SSND holds every sample frame
// COMM announces.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/pcm_check.h"

namespace kes {
namespace {

constexpr uint32_t kMaxChunks = 1u << 20;

struct Comm {
  bool seen = false, compressed = false;
  uint64_t sound_bytes = 0;  // what SSND must hold at least when uncompressed
  PcmLayout samples;         // checked as sound when uncompressed
};

bool read_comm(const uint8_t* c, uint32_t size, bool aifc, Comm& comm) {
  if (size < (aifc ? 22u : 18u)) return false;
  uint16_t channels = be16(c), bits = be16(c + 6);
  if (channels == 0 || bits == 0 || bits > 64) return false;
  comm.seen = true;
  comm.compressed = aifc && std::memcmp(c + 18, "NONE", 4) != 0 && std::memcmp(c + 18, "twos", 4) != 0 &&
                    std::memcmp(c + 18, "sowt", 4) != 0;
  comm.sound_bytes = uint64_t(be32(c + 2)) * channels * ((bits + 7) / 8);
  const bool little_endian = aifc && std::memcmp(c + 18, "sowt", 4) == 0;
  if (!comm.compressed) comm.samples = PcmLayout{(bits + 7u) / 8u, channels, !little_endian};
  return true;
}

}  // namespace

bool probe_aif(const uint8_t* h) {
  if (std::memcmp(h, "FORM", 4) != 0) return false;
  if (std::memcmp(h + 8, "AIFF", 4) != 0 && std::memcmp(h + 8, "AIFC", 4) != 0) return false;
  uint32_t size = be32(h + 4), first = be32(h + 16);
  return size >= 4 + 8 + 18 && printable_id(h + 12) && first <= size - 12;
}

Carve resume_aif(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 20);
  if (!h || !probe_aif(h)) return corrupt();
  const bool aifc = h[11] == 'C';
  const uint64_t end = 8 + uint64_t(be32(h + 4));
  Comm comm;
  bool sound = false;
  uint64_t pos = 12, good = 12;
  for (uint32_t n = 0; end - pos >= 8 && n < kMaxChunks; ++n) {
    const uint8_t* c = cur.get(pos, 8);
    if (!c) return make_carve(Verdict::truncated, cur.limit(), "aif");
    const uint32_t size = be32(c + 4);
    const uint64_t data = pos + 8;
    uint64_t samples_at = 0;
    bool check_sound = false;
    if (!printable_id(c) || size > end - data) break;
    if (std::memcmp(c, "COMM", 4) == 0) {
      const uint8_t* body = cur.get(data, aifc ? 22 : 18);
      if (!body) return make_carve(Verdict::truncated, cur.limit(), "aif");
      if (!read_comm(body, size, aifc, comm)) break;
    } else if (std::memcmp(c, "SSND", 4) == 0) {
      if (!comm.seen || size < 8) break;
      const uint8_t* s = cur.get(data, 8);
      if (!s) return make_carve(Verdict::truncated, cur.limit(), "aif");
      const uint32_t offset = be32(s);  // bytes before the first sample frame
      if (!comm.compressed && (offset > size - 8 || size - 8 - offset < comm.sound_bytes)) break;
      sound = true;
      samples_at = data + 8 + offset;
      check_sound = !comm.compressed && trusted == 0;
    }
    // The pad byte after an odd chunk must be there too: the file is cut before it.
    pos = data + size == end ? end : data + size + (size & 1);
    if (check_sound) {  // as far as the medium goes: sound that stops being sound ends there
      const uint64_t to = std::min(data + size, cur.limit());
      const uint64_t held = pcm_holds_to(cur, samples_at, to, comm.samples);
      if (held < to) return make_carve(Verdict::truncated, held, "aif");
    }
    if (!cur.readable(data, pos - data)) return make_carve(Verdict::truncated, cur.limit(), "aif");
    good = pos;
  }
  if (pos == end && comm.seen && sound) {
    // A pad byte after an odd FORM size belongs to the file when it is there.
    uint64_t padded = end + (end & 1);
    return make_carve(Verdict::complete, cur.readable(0, padded) ? padded : end, "aif");
  }
  return good > 12 && comm.seen ? make_carve(Verdict::truncated, good, "aif") : corrupt();
}

Carve measure_aif(ByteSource& src, uint64_t start, uint64_t max_length) {
  return resume_aif(src, start, max_length, 0);
}

}  // namespace kes
