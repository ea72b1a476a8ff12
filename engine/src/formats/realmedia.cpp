// RealMedia (.rm): the .RMF header, then chunks (properties, stream properties,
// content, data with its packets, index chains), each with its size. The packets must
// fill the data chunk in the number it states, each of a declared stream; the header's
// chunk count and the properties' data and index offsets must match what is found.
// RealAudio (.ra): a single header of version 3, 4 or 5 states its own size and the
// size of the audio bytes after it.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

bool chunk_id(const uint8_t* p) {
  return is_any_id(p, {"PROP", "MDPR", "CONT", "DATA", "INDX", "RMMD"});
}

struct Props {
  uint64_t index_offset = 0, data_offset = 0;
  uint16_t streams = 0;
  bool seen = false;
};

struct Packets {
  uint64_t end = 0;  // where the packets stop holding, or the chunk's end
  bool cut = false;  // the medium ended inside a packet
  bool all = false;  // as many packets as the chunk states (when it states a number)
};

// The packets of the data chunk at pos (size bytes): lengths inside the chunk, of the
// streams the properties declare, up to the stated number.
Packets data_packets(Cursor& cur, uint64_t pos, uint64_t size, const Props& props) {
  Packets r;
  const uint8_t* d = size >= 18 ? cur.get(pos, 18) : nullptr;
  r.end = pos;
  if (!d) return r;
  const uint64_t count = be32(d + 10), end = pos + size;
  uint64_t p = pos + 18, n = 0;
  for (; p < end && n < (uint64_t(1) << 26) && (count == 0 || n < count); ++n) {
    const uint8_t* h = end - p >= 12 ? cur.get(p, 12) : nullptr;
    if (!h) {
      r.cut = end - p >= 12 && !cur.within(p, 12);
      break;
    }
    const uint16_t version = be16(h), len = be16(h + 2), stream = be16(h + 4);
    if (version > 1 || len < 12u + version || len > end - p || (props.seen && stream >= props.streams)) break;
    if (!cur.within(p, len)) {
      r.cut = true;
      break;
    }
    p += len;
  }
  r.end = p;
  r.all = count ? n == count : p == end;
  return r;
}

// One index chunk: a header and 14-byte records in the stated number; returns the
// offset of the next index chunk (0 at the end of the chain) or UINT64_MAX when broken.
uint64_t index_chunk(Cursor& cur, uint64_t pos, uint64_t size) {
  const uint8_t* x = size >= 20 ? cur.get(pos, 20) : nullptr;
  if (!x || size != 20 + uint64_t(be32(x + 10)) * 14) return UINT64_MAX;
  return be32(x + 16);
}

// Checks the properties chunk at pos against the file, remembering its offsets.
bool read_props(Cursor& cur, uint64_t pos, uint64_t size, Props& props) {
  const uint8_t* p = size >= 50 && !props.seen ? cur.get(pos, 50) : nullptr;
  if (!p) return false;
  props.index_offset = be32(p + 38);
  props.data_offset = be32(p + 42);
  props.streams = be16(p + 46);
  props.seen = true;
  return props.streams > 0;
}

}  // namespace

bool probe_rm(const uint8_t* h) {
  const uint32_t size = be32(h + 4), headers = be32(h + 14);
  return is_id(h, ".RMF") && (size == 16 || size == 18) && be16(h + 8) <= 1 && be32(h + 10) <= 1 && headers >= 2 &&
         headers < 1024 && chunk_id(h + size) && be32(h + size + 4) >= 10;
}

Carve measure_rm(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 26);
  if (!h || !probe_rm(h)) return corrupt();
  const uint32_t headers = be32(h + 14);
  Props props;
  uint64_t pos = be32(h + 4), data = 0, index = 0, next_index = 0;
  uint32_t chunks = 0;
  for (; chunks < (1u << 16) && cur.within(pos, 10); ++chunks) {
    const uint8_t* c = cur.get(pos, 10);
    if (!c || !chunk_id(c)) break;
    const uint64_t size = be32(c + 4);
    if (size < 10) break;
    char id[4];
    std::memcpy(id, c, 4);  // the reads below move the cursor's buffer
    bool ok = true;
    if (is_id(c, "DATA")) {
      if (data || (props.data_offset && props.data_offset != pos)) break;
      data = pos;
      const Packets k = data_packets(cur, pos, size, props);
      if (k.cut) return make_carve(Verdict::truncated, cur.limit(), "rm");
      if (!k.all) return make_carve(Verdict::truncated, k.end, "rm");
      if (k.end < pos + size) {
        // Some writers end the packets with eight zero bytes in place of an index (and
        // count that index among the headers and in the chunk's size).
        const uint8_t* z = cur.get(k.end, 8);
        if (z && be64(z) == 0) return make_carve(Verdict::complete, k.end + 8, "rm");
        return make_carve(Verdict::truncated, k.end, "rm");
      }
    } else if (!cur.within(pos, size)) {
      return make_carve(Verdict::truncated, cur.limit(), "rm");
    }
    if (std::memcmp(id, "PROP", 4) == 0) ok = read_props(cur, pos, size, props);
    if (std::memcmp(id, "INDX", 4) == 0) {
      ok = (index || props.index_offset == 0 || props.index_offset == pos) && (!next_index || next_index == pos);
      next_index = ok ? index_chunk(cur, pos, size) : 0;
      ok = ok && next_index != UINT64_MAX;
      if (!index) index = pos;
    }
    if (!ok) return data ? make_carve(Verdict::truncated, pos, "rm") : corrupt();
    pos += size;
  }
  if (!data) return corrupt();
  const bool whole = chunks >= headers && next_index == 0 && (props.index_offset == 0 || index);
  return make_carve(whole ? Verdict::complete : Verdict::truncated, pos, "rm");
}

namespace {

bool interleaver_ok(const uint8_t* p) {
  return is_any_id(p, {"Int0", "Int4", "genr", "sipr", "vbrs", "vbrf"});
}

bool alnum4(const uint8_t* p) {
  for (int i = 0; i < 4; ++i)
    if (!((p[i] >= '0' && p[i] <= '9') || ((p[i] | 0x20) >= 'a' && (p[i] | 0x20) <= 'z') || p[i] == '_'))
      return false;
  return true;
}

// Where the header of a RealAudio file at h (72 bytes) ends, or 0 when it is not one.
uint64_t ra_header_end(const uint8_t* h) {
  if (!(h[0] == '.' && h[1] == 'r' && h[2] == 'a' && h[3] == 0xFD)) return 0;
  const uint16_t version = be16(h + 4);
  if (version == 3) {
    const uint64_t size = be16(h + 6);
    return size >= 14 + 4 && size <= 512 ? 8 + size : 0;
  }
  if ((version != 4 && version != 5) || be16(h + 6) != 0 || be16(h + 16) != version) return 0;
  if (!is_any_id(h + 8, {".ra4", ".ra5"}) || h[11] - '0' != version) return 0;
  const uint64_t size = be32(h + 18);
  if (size < 48 || size > 4096) return 0;
  if (version == 4) return h[56] == 4 && interleaver_ok(h + 57) && h[61] == 4 && alnum4(h + 62) ? 16 + size : 0;
  return interleaver_ok(h + 62) && alnum4(h + 66) ? 16 + size : 0;
}

// The version 3 header's four counted strings (title, author, copyright, comment)
// must fit it.
bool ra3_strings_fit(Cursor& cur, uint64_t header_end) {
  uint64_t p = 22;
  for (int i = 0; i < 4; ++i) {
    uint8_t len = 0;
    if (p >= header_end || !cur.u8(p, len)) return false;
    p += 1 + uint64_t(len);
  }
  return p <= header_end;
}

}  // namespace

bool probe_ra(const uint8_t* h) { return ra_header_end(h) != 0; }

Carve measure_ra(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 72);
  const uint64_t header_end = h ? ra_header_end(h) : 0;
  if (!header_end) return corrupt();
  const uint64_t data = be16(h + 4) == 3 ? be32(h + 18) : be32(h + 12);
  if (be16(h + 4) == 3 && !ra3_strings_fit(cur, header_end)) return corrupt();
  if (!cur.within(header_end, data))
    return cur.limit() > header_end ? make_carve(Verdict::truncated, cur.limit(), "ra") : corrupt();
  return data ? make_carve(Verdict::complete, header_end + data, "ra") : corrupt();
}

}  // namespace kes
