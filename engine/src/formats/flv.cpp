// FLV: the 9-byte header, then tags (audio, video, script data) each followed by the
// size of the tag before it, which must be 11 plus its data size. The file ends after
// the last tag that holds, where no tag head follows; the "filesize" of the metadata
// tag, when present, says whether that was the whole file. A tag head whose back-size
// does not match is a break, not an end.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

// The "filesize" number of an onMetaData script tag (an AMF0 double), or 0.
uint64_t metadata_file_size(Cursor& cur, uint64_t data, uint32_t size) {
  static const uint8_t kKey[] = {0x00, 0x08, 'f', 'i', 'l', 'e', 's', 'i', 'z', 'e', 0x00};
  const uint64_t end = data + std::min<uint32_t>(size, 1u << 16);
  const uint64_t at = cur.find(data, end, kKey, sizeof kKey);
  const uint8_t* v = at != UINT64_MAX && end - at >= sizeof kKey + 8 ? cur.get(at + sizeof kKey, 8) : nullptr;
  if (!v) return 0;
  double d = 0;
  const uint64_t bits = be64(v);
  std::memcpy(&d, &bits, sizeof d);
  return d >= 1 && d < 1e15 ? static_cast<uint64_t>(d) : 0;
}

}  // namespace

bool probe_flv(const uint8_t* h) {
  // Version 1, only the audio and video flags, a 9-byte header, a zero first back-size,
  // and a first tag of a known type with a zero stream id.
  return h[0] == 'F' && h[1] == 'L' && h[2] == 'V' && h[3] == 1 && (h[4] & 0xFA) == 0 && be32(h + 5) == 9 &&
         be32(h + 9) == 0 && (h[13] == 8 || h[13] == 9 || h[13] == 18) && be24(h + 21) == 0;
}

Carve measure_flv(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 24);
  if (!h || !probe_flv(h)) return corrupt();
  uint64_t pos = 13, file_size = 0, broken = 0;
  bool cut = false;
  for (uint32_t n = 0; n < (1u << 26); ++n) {
    if (pos == cur.limit()) break;  // the medium ends right after a tag
    const uint8_t* t = cur.get(pos, 11);
    if (t && ((t[0] != 8 && t[0] != 9 && t[0] != 18) || be24(t + 8) != 0)) break;
    const uint32_t size = t ? be24(t + 1) : 0;
    const uint8_t type = t ? t[0] : 0;
    const uint8_t* back = t ? cur.get(pos + 11 + size, 4) : nullptr;
    if (!back) {
      cut = !cur.within(pos, t ? 15 + uint64_t(size) : 11);
      break;
    }
    if (be32(back) != 11 + size) {  // a well-formed tag head whose data does not hold: broken there
      broken = pos + 15 + uint64_t(size);
      break;
    }
    if (type == 18 && n == 0) file_size = metadata_file_size(cur, pos + 11, size);
    pos += 15 + uint64_t(size);
  }
  if (pos == 13) return corrupt();
  if (cut) return make_carve(Verdict::truncated, cur.limit(), "flv");
  const bool whole = !broken && (file_size == 0 || file_size == pos);
  return make_carve(whole ? Verdict::complete : Verdict::truncated, pos, "flv", broken);
}

}  // namespace kes
