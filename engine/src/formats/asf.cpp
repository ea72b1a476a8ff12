// ASF (wmv, wma): the header object, then top-level objects (data, indexes), each a GUID
// and a 64-bit size. The header's objects must fill it in the number it states; the
// file properties give the packet size, with which every data packet is walked (flags,
// payloads inside it and of declared streams, each stream's media objects in order),
// and the file size, which must agree with where the objects end.
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
const Guid kHeaderExtension = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11, 0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kExtendedStreamProperties = {0xCB, 0xA5, 0xE6, 0x14, 0x72, 0xC6, 0x32, 0x43, 0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A};
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

// A stream properties object (at least 78 bytes): its stream number and media type.
void declare(Header& h, const uint8_t* s) {
  h.streams[le16(s + 72) & 0x7F] = true;
  h.video = h.video || same(s + 24, kVideoMedia);
  h.audio = h.audio || same(s + 24, kAudioMedia);
}

// An extended stream properties object declares its stream too (at the same offset as
// the stream properties), and may carry that stream's properties object at its end,
// after the stream names and payload extension systems: multiple-bitrate files declare
// their further streams only there.
void read_extended_stream(const uint8_t* e, uint64_t size, Header& h) {
  h.streams[le16(e + 72) & 0x7F] = true;
  uint64_t i = 88;
  for (unsigned n = le16(e + 84); n > 0 && i + 4 <= size; --n) i += 4 + le16(e + i + 2);
  for (unsigned n = le16(e + 86); n > 0 && i + 22 <= size; --n) i += 22 + le32(e + i + 18);
  if (i <= size && size - i >= 78 && same(e + i, kStreamProperties)) declare(h, e + i);
}

// The header extension: a fixed part of 46 bytes, then objects filling its data size.
// Its content is optional to a player, so a malformed one declares nothing more.
void read_extension(Cursor& cur, uint64_t pos, uint64_t size, Header& h) {
  const uint8_t* x = size >= 46 ? cur.get(pos, 46) : nullptr;
  if (!x || le32(x + 42) > size - 46) return;
  const uint64_t end = pos + 46 + le32(x + 42);
  for (uint64_t at = pos + 46; end - at >= 24;) {
    const uint8_t* o = cur.get(at, 24);
    const uint64_t length = o ? le64(o + 16) : 0;
    if (length < 24 || length > end - at) return;
    const uint8_t* e = same(o, kExtendedStreamProperties) && length >= 88 && length <= Cursor::kBlock
                           ? cur.get(at, size_t(length))
                           : nullptr;
    if (e) read_extended_stream(e, length, h);
    at += length;
  }
}

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
      declare(h, s);
    } else if (same(o, kHeaderExtension)) {
      read_extension(cur, pos, size, h);
    }
    pos += size;
  }
  return pos == h.size;
}

unsigned field_length(unsigned type) { return type == 3 ? 4 : type; }

// Reads a field of the given length type (none, byte, word, dword) at i, within n.
bool field(const uint8_t* p, size_t n, size_t& i, unsigned type, uint32_t& v) {
  const unsigned len = field_length(type);
  if (i + len > n) return false;
  v = len == 4 ? le32(p + i) : len == 2 ? le16(p + i) : len == 1 ? p[i] : 0;
  i += len;
  return true;
}

// Where each stream's media objects stand: a muxer sends an object's fragments in
// order, then the next object, numbered one higher.
struct ObjectRun {
  uint32_t object = 0, next = 0;
  bool known = false;
};

// One payload of `stream`: it continues the stream's current object where the last
// fragment stopped, or opens the next one at offset 0. A splice of another recording,
// or of a later part of this one, breaks that order. Compressed payloads (replicated
// length 1) carry several small objects and restart the count; packets without object
// numbers or offsets give nothing to follow.
bool object_follows(ObjectRun& run, uint32_t object, uint32_t offset, uint32_t length, unsigned number_type,
                    bool counted) {
  if (!counted) {
    run.known = false;
    return true;
  }
  const uint32_t mask = number_type == 1 ? 0xFF : number_type == 2 ? 0xFFFF : 0xFFFFFFFF;
  if (run.known && !(object == run.object && offset == run.next) &&
      !(object == ((run.object + 1) & mask) && offset == 0))
    return false;
  run = {object, offset + length, true};
  return true;
}

// A data packet of `n` bytes: error correction, length and property flags in their
// allowed forms, its payloads inside it, each of a stream the header declared, and each
// stream's media objects in order across the packets.
bool packet_ok(const uint8_t* p, size_t n, const Header& h, ObjectRun* runs) {
  size_t i = 0;
  if (p[0] & 0x80) {
    if (p[0] & 0x70) return false;
    i = 1 + (p[0] & 0x0F);
  }
  if (i + 2 > n) return false;
  const uint8_t flags = p[i], props = p[i + 1];
  if ((flags & 0x80) || (props >> 6) != 1) return false;
  i += 2;
  uint32_t length = 0, sequence = 0, padding = 0, count = 1, length_type = 0;
  if (!field(p, n, i, flags >> 5 & 3, length) || !field(p, n, i, flags >> 1 & 3, sequence) ||
      !field(p, n, i, flags >> 3 & 3, padding) || length > n)
    return false;
  const size_t total = length ? length : n;
  const size_t end = total - std::min<size_t>(padding, total);
  i += 6;  // send time and duration
  if (flags & 1) {
    if (i >= end) return false;
    count = p[i] & 0x3F;
    length_type = p[i++] >> 6;
    if (!count || !length_type) return false;
  }
  for (uint32_t k = 0; k < count; ++k) {
    if (i >= end) return false;
    const unsigned stream = p[i++] & 0x7F;
    uint32_t object = 0, offset = 0, replicated = 0, size = 0;
    if (!h.streams[stream] || !field(p, end, i, props >> 4 & 3, object) ||
        !field(p, end, i, props >> 2 & 3, offset) || !field(p, end, i, props & 3, replicated) ||
        replicated > end - i)
      return false;
    i += replicated;
    if (flags & 1) {
      if (!field(p, end, i, length_type, size)) return false;
    } else {
      size = static_cast<uint32_t>(end - i);
    }
    if (size > end - i) return false;
    i += size;
    const bool counted = replicated != 1 && (props >> 4 & 3) != 0 && (props >> 2 & 3) != 0;
    if (!object_follows(runs[stream], object, offset, size, props >> 4 & 3, counted)) return false;
  }
  return true;
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
  if (psize > Cursor::kBlock) return cur.within(pos, size) ? Walk::whole : Walk::cut;
  ObjectRun runs[128];
  for (uint64_t p = pos + 50; size - (p - pos) >= psize; p += psize) {
    const uint8_t* packet = cur.get(p, psize);
    if (!packet) return Walk::cut;
    if (!packet_ok(packet, psize, h, runs)) return Walk::broken;
    good = p + psize;
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
