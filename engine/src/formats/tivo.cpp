// TiVo recordings: a 16-byte header ("TiVo", the MPEG stream's offset at 10 and the
// number of metadata chunks at 14, big-endian), the chunks (each a 12-byte header with
// the chunk's size and its payload's size, then XML or a blob), then an MPEG program
// or transport stream whose payloads are scrambled but whose packet structure is not.
// The file ends where that stream ends.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/mpeg_walk.h"

namespace kes {
namespace {

constexpr unsigned kHeader = 16, kChunkHeader = 12, kMaxChunks = 16;
constexpr uint32_t kMaxMetadata = 16u << 20;

// Whether the chunks fill no more than the room before the MPEG stream.
bool chunks_fit(Cursor& cur, uint32_t mpeg_offset, unsigned chunks) {
  uint64_t pos = kHeader;
  for (unsigned i = 0; i < chunks; ++i) {
    const uint8_t* c = cur.get(pos, kChunkHeader);
    if (!c) return false;
    const uint64_t size = be32(c), data = be32(c + 4);
    if (size < kChunkHeader + data || size > mpeg_offset - pos) return false;
    pos += size;
  }
  return true;
}

}  // namespace

bool probe_tivo(const uint8_t* h) {
  if (std::memcmp(h, "TiVo", 4) != 0) return false;
  const uint32_t mpeg_offset = be32(h + 10), first = be32(h + 16), data = be32(h + 20);
  const unsigned chunks = be16(h + 14);
  return chunks >= 1 && chunks <= kMaxChunks && mpeg_offset <= kMaxMetadata &&
         mpeg_offset >= kHeader + chunks * kChunkHeader && first >= kChunkHeader + uint64_t(data) &&
         first <= mpeg_offset - kHeader;
}

Carve measure_tivo(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 24);
  if (!h || !probe_tivo(h)) return corrupt();
  const uint32_t mpeg_offset = be32(h + 10);
  if (!chunks_fit(cur, mpeg_offset, be16(h + 14))) return corrupt();
  const uint8_t* m = cur.get(mpeg_offset, 3 * 188 + 1);
  if (!m) return make_carve(Verdict::truncated, cur.limit(), "TiVo");
  StreamEnd s;
  if (m[0] == 0 && m[1] == 0 && m[2] == 1 && m[3] == 0xBA)
    s = walk_program_stream(cur, mpeg_offset);
  else if (m[0] == 0x47 && m[188] == 0x47 && m[376] == 0x47)
    s = walk_transport_stream(cur, mpeg_offset, 188);
  else
    return corrupt();
  if (s.units == 0) return corrupt();
  return make_carve(s.complete ? Verdict::complete : Verdict::truncated, s.end, "TiVo");
}

}  // namespace kes
