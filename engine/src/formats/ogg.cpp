// Ogg: pages ("OggS", version 0, header type, granule position, serial number, page
// sequence number, CRC-32, segment table), each page's CRC checked. A logical stream
// opens with a BOS page and closes with an EOS page, its pages numbered without gaps; a
// link of the physical file ends when every stream that opened has closed, and another
// link may follow at once (chained files). A file carrying video is written as ogm.
#include <cstring>

#include "formats/crc.h"
#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr size_t kPageHeader = 27;
constexpr unsigned kMaxStreams = 32;
constexpr uint64_t kMaxPages = uint64_t(1) << 26;
constexpr uint8_t kContinued = 1, kBos = 2, kEos = 4;

struct Page {
  uint8_t type = 0;
  uint32_t serial = 0, sequence = 0;
  uint64_t length = 0;  // header, segment table and body
};

// Reads and checks the page at pos: magic, version, flags and CRC.
bool read_page(Cursor& cur, uint64_t pos, Page& page, bool& cut) {
  cut = false;
  const uint8_t* h = cur.get(pos, kPageHeader);
  if (!h) {
    cut = pos < cur.limit();
    return false;
  }
  if (std::memcmp(h, "OggS", 4) != 0 || h[4] != 0 || (h[5] & ~7u)) return false;
  page.type = h[5];
  page.serial = le32(h + 14);
  page.sequence = le32(h + 18);
  const uint32_t stored = le32(h + 22);
  const size_t segments = h[26];
  uint8_t head[kPageHeader];
  std::memcpy(head, h, kPageHeader);  // before the next read moves the buffer
  const uint8_t* table = cur.get(pos + kPageHeader, segments);
  if (!table) {
    cut = true;
    return false;
  }
  uint64_t body = 0;
  for (size_t i = 0; i < segments; ++i) body += table[i];
  page.length = kPageHeader + segments + body;
  std::memset(head + 22, 0, 4);
  uint32_t crc = crc32_msb_update(0, head, kPageHeader);
  if (!for_each_span(cur, pos + kPageHeader, pos + page.length,
                     [&](const uint8_t* s, size_t n) { crc = crc32_msb_update(crc, s, n); })) {
    cut = true;
    return false;
  }
  return crc == stored;
}

// Whether the first packet of a BOS page at pos names a video codec.
bool video_stream(Cursor& cur, uint64_t pos) {
  const uint8_t* h = cur.get(pos, kPageHeader);
  if (!h) return false;
  const uint8_t* p = cur.get(pos + kPageHeader + h[26], 8);
  return p && (std::memcmp(p, "\x80theora", 7) == 0 || std::memcmp(p, "\x01video", 6) == 0 ||
               std::memcmp(p, "BBCD", 4) == 0);
}

struct Stream {
  uint32_t serial, next;
  bool ended;
};

}  // namespace

bool probe_ogg(const uint8_t* h) {
  // The first page of a stream: BOS alone, granule position 0, sequence number 0.
  if (std::memcmp(h, "OggS", 4) != 0 || h[4] != 0 || h[5] != kBos || h[26] == 0) return false;
  for (int i = 6; i < 14; ++i)
    if (h[i]) return false;
  return le32(h + 18) == 0;
}

Carve measure_ogg(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kPageHeader);
  if (!h || !probe_ogg(h)) return corrupt();
  Stream streams[kMaxStreams];
  unsigned count = 0, open = 0;
  bool video = false, in_link = false, link_has_data = false;
  uint64_t pos = 0, good = 0;
  auto carve = [&](Verdict v, uint64_t length, uint64_t broken_at = 0) {
    return make_carve(v, length, video ? "ogm" : "ogg", broken_at);
  };
  for (uint64_t n = 0; n < kMaxPages; ++n) {
    Page page;
    bool cut = false;
    if (!read_page(cur, pos, page, cut)) {
      if (!in_link) break;  // the file ended with its last link
      // Broken: the page whose CRC failed ends at pos + page.length.
      return carve(Verdict::truncated, cut ? cur.limit() : good, cut || !page.length ? 0 : pos + page.length);
    }
    if (!in_link && (page.type & kBos)) count = 0;  // a new link: its streams start afresh
    Stream* s = nullptr;
    for (unsigned i = 0; i < count; ++i)
      if (streams[i].serial == page.serial) s = &streams[i];
    if (page.type & kBos) {
      // Opening pages come first in a link, each for a new stream.
      if ((in_link && link_has_data) || s || page.sequence != 0 || (page.type & kContinued) ||
          count == kMaxStreams) {
        if (!in_link) break;
        return carve(Verdict::truncated, good);
      }
      streams[count++] = {page.serial, 1, false};
      s = &streams[count - 1];
      video = video || video_stream(cur, pos);
      in_link = true;
      ++open;
    } else {
      if (!in_link || !s || s->ended || page.sequence != s->next) {
        if (!in_link) break;
        return carve(Verdict::truncated, good);
      }
      ++s->next;
      link_has_data = true;
    }
    if (page.type & kEos) {
      s->ended = true;
      if (--open == 0) in_link = link_has_data = false;
    }
    pos += page.length;
    good = pos;
  }
  return carve(in_link ? Verdict::truncated : Verdict::complete, good);
}

}  // namespace kes
