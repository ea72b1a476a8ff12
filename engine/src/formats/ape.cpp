// Monkey's Audio ("MAC "). From version 3.98 a descriptor gives the lengths of every
// part: descriptor, header, seek table, the source file's header, the frame data (64
// bits) and the source file's trailing data; their sum ends the file. The seek table
// must point at the frame data, in order. Older versions keep the source header and the
// seek table after a fixed header but no length of the frame data: such a file is kept
// up to the start of its last frame plus as much as its longest frame took, and counted
// as truncated. APE and ID3v1 tags may follow.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tail_tags.h"

namespace kes {
namespace {

constexpr uint16_t kDescriptorVersion = 3980, kOldest = 3800, kNewest = 4100;
constexpr uint32_t kMaxSeekEntries = 1u << 22, kMaxSourceHeader = 16u << 20;

// The seek table at pos: `count` 32-bit offsets from the file's start, the first at
// `first`, rising, none past `end` (offsets are stored modulo 4 GiB). Returns the last
// entry, 0 when the table does not hold.
uint64_t check_seek_table(Cursor& cur, uint64_t pos, uint32_t count, uint64_t first, uint64_t end) {
  uint64_t last = first;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = cur.get(pos + uint64_t(i) * 4, 4);
    if (!e) return 0;
    const uint32_t step = le32(e) - static_cast<uint32_t>(last);
    if (i == 0 ? le32(e) != static_cast<uint32_t>(first) : step == 0) return 0;
    last += step;
    if (last >= end) return 0;
  }
  return last;
}

Carve measure_described(Cursor& cur, const uint8_t* h) {
  const uint64_t descriptor = le32(h + 8), header = le32(h + 12), seek = le32(h + 16), source = le32(h + 20);
  const uint64_t frames_bytes = uint64_t(le32(h + 28)) << 32 | le32(h + 24), trailer = le32(h + 32);
  if (descriptor < 52 || descriptor > 1024 || header < 24 || header > 1024 || (seek & 3) ||
      seek / 4 > kMaxSeekEntries || source > kMaxSourceHeader || trailer > kMaxSourceHeader || frames_bytes == 0)
    return corrupt();
  const uint8_t* a = cur.get(descriptor, 24);
  if (!a) return corrupt();
  const uint32_t per_frame = le32(a + 4), final_blocks = le32(a + 8), frames = le32(a + 12);
  const unsigned bits = le16(a + 16), channels = le16(a + 18);
  if (!frames || frames > seek / 4 || !per_frame || !final_blocks || final_blocks > per_frame || !channels ||
      channels > 32 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) || !le32(a + 20))
    return corrupt();
  const uint64_t data = descriptor + header + seek + source, end = data + frames_bytes + trailer;
  if (!check_seek_table(cur, descriptor + header, frames, data, data + frames_bytes)) return corrupt();
  if (!cur.readable(0, end)) return make_carve(Verdict::truncated, cur.limit(), "ape");
  return make_carve(Verdict::complete, skip_tail_tags(cur, end), "ape");
}

Carve measure_old(Cursor& cur, const uint8_t* h, uint16_t version) {
  const uint16_t flags = le16(h + 8), channels = le16(h + 10);
  const uint64_t source = le32(h + 16);
  const uint32_t frames = le32(h + 24);
  uint64_t pos = 32;
  if (flags & 4) pos += 4;  // peak level
  uint32_t entries = frames;
  if (flags & 16) {
    const uint8_t* e = cur.get(pos, 4);
    if (!e) return corrupt();
    entries = le32(e);
    pos += 4;
  }
  if (!channels || channels > 32 || !frames || entries < frames || entries > kMaxSeekEntries ||
      source > kMaxSourceHeader)
    return corrupt();
  if (!(flags & 32)) pos += source;  // the source header, unless it is to be made anew
  const uint64_t table = pos, data = table + uint64_t(entries) * 4 + (version <= 3800 ? entries : 0);
  const uint64_t last = check_seek_table(cur, table, frames, data, UINT64_MAX);
  if (!last) return corrupt();
  // The longest frame so far bounds the last one.
  uint64_t longest = frames > 1 ? 0 : uint64_t(1) << 20, prev = data;
  for (uint32_t i = 1; i < frames; ++i) {
    const uint8_t* e = cur.get(table + uint64_t(i) * 4, 4);
    if (!e) return corrupt();
    const uint32_t at = le32(e);
    longest = std::max<uint64_t>(longest, static_cast<uint32_t>(at - static_cast<uint32_t>(prev)));
    prev = at;
  }
  return make_carve(Verdict::truncated, std::min(cur.limit(), last + longest), "ape");
}

}  // namespace

bool probe_ape(const uint8_t* h) {
  if (std::memcmp(h, "MAC ", 4) != 0) return false;
  const uint16_t version = le16(h + 4);
  if (version < kOldest || version > kNewest) return false;
  if (version >= kDescriptorVersion) return le32(h + 8) >= 52 && le32(h + 12) >= 24 && (le32(h + 16) & 3) == 0;
  const uint16_t level = le16(h + 6);
  return level % 1000 == 0 && level >= 1000 && level <= 5000;
}

Carve measure_ape(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 52);
  if (!h || !probe_ape(h)) return corrupt();
  const uint16_t version = le16(h + 4);
  return version >= kDescriptorVersion ? measure_described(cur, h) : measure_old(cur, h, version);
}

}  // namespace kes
