// Tablature files of version 5: the version string ("FICHIER GUITAR PRO v5.00" or
// "v5.10") in a 31-byte field, then the song's texts (title, subtitle, artist, album,
// words, music, copyright, tab, instructions; each a 32-bit size, a length byte and the
// characters), the notice lines and the lyrics (a track, then five lines each with its
// starting measure and a 32-bit length and the text). These opening fields are walked
// and checked. What follows (page setup, tempo, MIDI channels, measures, tracks, beats)
// is too intricate to be followed here, so the file is taken to run up to the first
// zeroed or claimed sector, less the zero bytes closing its last sector, and at most 16 MiB.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"

namespace kes {
namespace {

constexpr uint64_t kCap = uint64_t(16) << 20;
constexpr uint32_t kMaxText = 1u << 16, kMaxNotices = 1024;
const char kVersion[] = "FICHIER GUITAR PRO v5.";

enum class Field { ok, cut, broken };

// A 32-bit size, then a length byte and the characters, the size counting both.
Field sized_text(Cursor& cur, uint64_t& pos) {
  const uint8_t* p = cur.get(pos, 5);
  if (!p) return Field::cut;
  uint32_t size = le32(p);
  if (size == 0 || size > kMaxText || p[4] > size - 1) return Field::broken;
  pos += 4 + uint64_t(size);
  return Field::ok;
}

// A 32-bit length and the characters.
Field long_text(Cursor& cur, uint64_t& pos) {
  const uint8_t* p = cur.get(pos, 4);
  if (!p) return Field::cut;
  uint32_t length = le32(p);
  if (length > kMaxText) return Field::broken;
  pos += 4 + uint64_t(length);
  return Field::ok;
}

Field opening(Cursor& cur, uint64_t& pos) {
  Field f = Field::ok;
  for (int i = 0; i < 9 && f == Field::ok; ++i) f = sized_text(cur, pos);
  if (f != Field::ok) return f;
  const uint8_t* n = cur.get(pos, 4);
  if (!n) return Field::cut;
  const uint32_t notices = le32(n);
  if (notices > kMaxNotices) return Field::broken;
  pos += 4;
  for (uint32_t i = 0; i < notices && f == Field::ok; ++i) f = sized_text(cur, pos);
  if (f != Field::ok) return f;
  pos += 4;  // the lyrics' track
  for (int line = 0; line < 5 && f == Field::ok; ++line) {
    pos += 4;  // starting measure
    f = long_text(cur, pos);
  }
  return f;
}

}  // namespace

bool probe_gp5(const uint8_t* h) {
  return h[0] == 24 && std::memcmp(h + 1, kVersion, sizeof kVersion - 1) == 0 &&
         h[23] >= '0' && h[23] <= '9' && h[24] >= '0' && h[24] <= '9';
}

Carve measure_gp5(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 31);
  if (!h || !probe_gp5(h)) return corrupt();
  uint64_t pos = 31;
  Field f = opening(cur, pos);
  if (f == Field::cut || !cur.readable(0, pos)) return make_carve(Verdict::truncated, cur.limit(), "gp5");
  if (f == Field::broken) return corrupt();
  LooseEnd loose = loose_end(cur, pos, kCap);
  return make_carve(loose.stopped ? Verdict::complete : Verdict::truncated, loose.content, "gp5");
}

}  // namespace kes
