// ASF (wmv, wma): the header object, then top-level objects (data, indexes), each a GUID
// and a 64-bit size. The header's objects must fill it in the number it states; the
// file properties give the packet size, with which every data packet's header is
// checked (flags, the stream its first payload belongs to), and the file size, which
// must agree with where the objects end.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

using Guid = uint8_t[16];
const Guid kHeader = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Guid kData = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Guid kIndexes[] = {
    {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB},  // simple
    {0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11, 0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE},  // index
    {0xF8, 0x03, 0xB1, 0xFE, 0xAD, 0x12, 0x64, 0x4C, 0x84, 0x0F, 0x2A, 0x1D, 0x2F, 0x7A, 0xD4, 0x8C},  // media object
    {0xD0, 0x3F, 0xB7, 0x3C, 0x4A, 0x0C, 0x03, 0x48, 0x95, 0x3D, 0xED, 0xF7, 0xB6, 0x22, 0x8F, 0x0C},  // timecode
};
const Guid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kStreamProperties = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kAudioMedia = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
const Guid kVideoMedia = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

bool same(const uint8_t* g, const Guid& want) { return std::memcmp(g, want, 16) == 0; }

bool index_object(const uint8_t* g) {
  for (const Guid& i : kIndexes)
    if (same(g, i)) return true;
  return false;
}

struct Header {
  uint64_t size = 0;
  uint64_t file_size = 0;    // 0 when unknown (a broadcast)
  uint32_t packet_size = 0;  // 0 when the packets vary in size
  bool streams[128] = {};
  bool video = false, audio = false;
};

constexpr uint32_t kMaxHeaderObjects = 4096;

// The header's objects, in the number the header states, must fill it exactly.
bool read_header(Cursor& cur, Header& h) {
  const uint8_t* p = cur.get(0, 30);
  if (!p) return false;
  h.size = le64(p + 16);
  const uint32_t count = le32(p + 24);
  if (count > kMaxHeaderObjects || !cur.within(0, h.size)) return false;
  uint64_t pos = 30;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* o = h.size - pos >= 24 ? cur.get(pos, 24) : nullptr;
    if (!o) return false;
    const uint64_t size = le64(o + 16);
    if (size < 24 || size > h.size - pos) return false;
    if (same(o, kFileProperties)) {
      const uint8_t* f = size >= 104 ? cur.get(pos, 104) : nullptr;
      if (!f) return false;
      const bool broadcast = le32(f + 88) & 1;
      h.file_size = broadcast ? 0 : le64(f + 40);
      if (le32(f + 92) == le32(f + 96)) h.packet_size = le32(f + 92);
    } else if (same(o, kStreamProperties)) {
      const uint8_t* s = size >= 78 ? cur.get(pos, 78) : nullptr;
      if (!s) return false;
      h.streams[le16(s + 72) & 0x7F] = true;
      h.video = h.video || same(s + 24, kVideoMedia);
      h.audio = h.audio || same(s + 24, kAudioMedia);
    }
    pos += size;
  }
  return pos == h.size;
}

unsigned field_length(unsigned type) { return type == 3 ? 4 : type; }

// A data packet's header: error correction, length and property flags in their
// allowed forms, and a first payload of a stream the header declared.
bool packet_ok(Cursor& cur, uint64_t pos, const Header& h) {
  const uint8_t* p = cur.get(pos, 40);
  if (!p) return true;  // cut: judged by the caller
  size_t i = 0;
  if (p[0] & 0x80) {
    if (p[0] & 0x70) return false;
    i = 1 + (p[0] & 0x0F);
  }
  const uint8_t flags = p[i], props = p[i + 1];
  if ((flags & 0x80) || (props >> 6) != 1) return false;
  i += 2 + field_length(flags >> 5 & 3) + field_length(flags >> 1 & 3) + field_length(flags >> 3 & 3) + 6;
  if (flags & 1) ++i;  // the flags of multiple payloads
  return h.streams[p[i] & 0x7F];
}

enum class Walk { whole, cut, broken };

// The data object at pos: its packets, when they have a fixed size, are checked one by
// one; `good` ends after the last one that held.
Walk data_packets(Cursor& cur, uint64_t pos, uint64_t size, const Header& h, uint64_t& good) {
  const uint8_t* d = size >= 50 ? cur.get(pos, 50) : nullptr;
  if (!d) return Walk::broken;
  const uint64_t packets = le64(d + 40), psize = h.packet_size;
  good = pos + 50;
  if (psize < 40) return cur.within(pos, size) ? Walk::whole : Walk::cut;
  if (packets && packets != (size - 50) / psize) return Walk::broken;
  for (uint64_t p = pos + 50; size - (p - pos) >= psize; p += psize) {
    if (!cur.within(p, 40)) return Walk::cut;
    if (!packet_ok(cur, p, h)) return Walk::broken;
    good = std::min(p + psize, cur.limit());
  }
  return cur.within(pos, size) ? Walk::whole : Walk::cut;
}

}  // namespace

bool probe_asf(const uint8_t* h) {
  const uint64_t size = le64(h + 16);
  return same(h, kHeader) && h[28] == 0x01 && h[29] == 0x02 && size >= 30 + 104 && size < (uint64_t(1) << 24) &&
         le32(h + 24) >= 2 && le32(h + 24) < kMaxHeaderObjects;
}

Carve measure_asf(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* p = cur.get(0, 30);
  Header h;
  if (!p || !probe_asf(p) || !read_header(cur, h)) return corrupt();
  const char* ext = h.video ? "wmv" : h.audio ? "wma" : "asf";
  uint64_t pos = h.size, data_end = 0;
  for (uint32_t n = 0; n < (1u << 16) && cur.within(pos, 24); ++n) {
    const uint8_t* o = cur.get(pos, 24);
    if (!o) break;
    const uint64_t size = le64(o + 16);
    const bool data = same(o, kData);
    if ((!data || data_end) && !index_object(o)) break;
    if (size < 24) break;
    if (data) {
      uint64_t good = 0;
      Walk w = data_packets(cur, pos, size, h, good);
      if (w == Walk::cut) return make_carve(Verdict::truncated, cur.limit(), ext);
      if (w == Walk::broken) return make_carve(Verdict::truncated, good, ext);
      data_end = pos + size;
    } else if (!cur.within(pos, size)) {
      return make_carve(Verdict::truncated, cur.limit(), ext);
    }
    pos += size;
  }
  if (!data_end) return make_carve(Verdict::truncated, pos, ext);
  // The file properties' size, when known, says whether the objects after the data are all.
  if (h.file_size == 0 || h.file_size == pos) return make_carve(Verdict::complete, pos, ext);
  if (h.file_size >= data_end && h.file_size < pos) return make_carve(Verdict::complete, h.file_size, ext);
  return make_carve(Verdict::truncated, pos, ext);
}

}  // namespace kes
