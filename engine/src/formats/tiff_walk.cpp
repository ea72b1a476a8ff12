#include "formats/tiff_walk.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "formats/jpeg_walk.h"
#include "formats/tiff_tags.h"

namespace kes::tiff {
namespace {

constexpr int kMaxIfds = 512;
constexpr uint64_t kMaxPairs = uint64_t(1) << 20;

int type_size(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 0;
  }
}

bool raw_compression(uint32_t c) {
  return c == 34713 || c == 65000 || c == 65535 || c == 32767 || c == 32769 || c == 32770 ||
         c == 34316 || c == 99 || c == 262;
}

struct Span {
  uint64_t at, end;  // absolute
  bool checked;      // already walked as a JPEG to its end
};

struct Shared {
  Cursor& cur;
  Info info;
  std::vector<uint64_t> visited;  // absolute IFD positions
  std::vector<Span> pictures;     // JPEG pictures to check, once the walk knows its end
  bool embedded = false;          // an EXIF block: only directories and checked pictures count
  uint64_t tiff = 0;              // the TIFF header's position: the origin of the file's offsets
  uint64_t soi = 0;               // where the host file starts: the origin of absolute offsets
  uint64_t floor = 0;             // an EXIF block's host picture's end: pictures within need no check
  size_t loose_walks = 0;         // pictures walked to find their length among a note's values
  Shared(Cursor& c, bool embedded) : cur(c), embedded(embedded) {}
};

constexpr size_t kMaxPictures = 64;
constexpr uint64_t kPictureSlack = 4096;  // padding a picture's given length may hold

// Whether a JPEG walked whole to (about) the end its directory gives.
bool fits(const jpeg::Walk& w, uint64_t end) {
  return w.verdict == Verdict::complete && w.end <= end && end - w.end <= kPictureSlack;
}

// Checks the pictures that would lengthen the file, furthest first: the file ends after
// the furthest one that walks as a JPEG to (about) its given end.
void settle_pictures(Shared& sh) {
  std::sort(sh.pictures.begin(), sh.pictures.end(), [](const Span& a, const Span& b) { return a.end > b.end; });
  for (const Span& p : sh.pictures) {
    if (p.end <= std::max(sh.info.end, sh.floor)) return;
    if (p.checked || fits(jpeg::walk(sh.cur, p.at, false), p.end)) {
      sh.info.end = p.end;
      return;
    }
  }
}

struct Entry {
  uint16_t tag = 0, type = 0;
  uint64_t count = 0;
  uint8_t value[8] = {};  // the value field as stored
  uint64_t bytes = 0;     // size of the values
};

class Walker {
 public:
  Walker(Shared& sh, uint64_t base, bool le, bool big) : sh_(sh), base_(base), le_(le), big_(big) {}

  // Walks the IFD at off (relative to base) and, in the main chain, the IFDs after it.
  bool ifd(uint64_t off, Dir dir, int depth) {
    for (int chain = 0; chain < kMaxIfds; ++chain) {
      uint64_t next = 0;
      if (!one_ifd(off, dir, depth, next)) return chain > 0;
      if (dir != Dir::main || next == 0) return true;
      off = next;
    }
    return true;
  }

 private:
  uint16_t r16(const uint8_t* p) const { return le_ ? le16(p) : be16(p); }
  uint32_t r32(const uint8_t* p) const { return le_ ? le32(p) : be32(p); }
  uint64_t r64(const uint8_t* p) const { return le_ ? le64(p) : be64(p); }
  bool inline_value(const Entry& e) const { return e.bytes <= (big_ ? 8u : 4u); }
  uint64_t value_offset(const Entry& e) const { return big_ ? r64(e.value) : r32(e.value); }

  // Records [off, off + len) relative to base as part of the file. An EXIF block's data
  // and values are not: nothing tells whether they are what their directory says.
  void extent(uint64_t off, uint64_t len, bool strict) {
    if (sh_.embedded) return;
    if (off > (uint64_t(1) << 40) || len > (uint64_t(1) << 40)) {
      if (strict) sh_.info.truncated = true;
      return;
    }
    uint64_t abs = base_ + off;
    // Only the bounds here: reading every strip's last byte would thrash the buffer.
    // walk() reads the furthest byte once at the end.
    if (!sh_.cur.within(abs, len)) {
      // Main data beyond the medium's end: the file was cut. Elsewhere: not trusted.
      if (strict) {
        sh_.info.truncated = true;
        sh_.info.end = std::max(sh_.info.end, sh_.cur.limit());
      }
      return;
    }
    sh_.info.end = std::max(sh_.info.end, abs + len);
  }

  // The i-th number of a BYTE/UNDEFINED/SHORT/LONG/LONG8/IFD entry.
  bool value(const Entry& e, uint64_t i, uint64_t& v) {
    int sz = type_size(e.type);
    if (i >= e.count || (e.type != 3 && e.type != 4 && e.type != 13 && e.type != 16 && e.type != 18 &&
                         e.type != 7 && e.type != 1))
      return false;
    const uint8_t* p = inline_value(e) ? e.value + i * sz : sh_.cur.get(base_ + value_offset(e) + i * sz, sz);
    if (!p) return false;
    switch (sz) {
      case 1: v = p[0]; break;
      case 2: v = r16(p); break;
      case 4: v = r32(p); break;
      default: v = r64(p); break;
    }
    return true;
  }

  void copy_text(const Entry& e, char* dst, size_t cap) {
    uint64_t n = std::min<uint64_t>(e.count, cap - 1);
    const uint8_t* p = inline_value(e) ? e.value : sh_.cur.get(base_ + value_offset(e), n);
    if (!p) return;
    size_t i = 0;
    for (; i < n && p[i]; ++i) dst[i] = static_cast<char>(p[i]);
    dst[i] = 0;
  }

  // Data at the offsets of one entry with the byte counts of another.
  void pairs(const Entry& offs, const Entry& lens, bool strict) {
    uint64_t n = std::min({offs.count, lens.count, kMaxPairs});
    for (uint64_t i = 0; i < n; ++i) {
      uint64_t o = 0, l = 0;
      if (!value(offs, i, o) || !value(lens, i, l)) {
        if (strict) sh_.info.truncated = true;
        return;
      }
      if (l == 0) continue;
      extent(o, l, strict);
      sh_.info.image = true;
    }
  }

  bool one_ifd(uint64_t off, Dir dir, int depth, uint64_t& next) {
    const bool strict = rules_of(dir).strict;
    if (depth > 8 || off < 8 || sh_.visited.size() >= kMaxIfds) return false;
    uint64_t abs = base_ + off;
    if (std::find(sh_.visited.begin(), sh_.visited.end(), abs) != sh_.visited.end()) return false;
    const size_t count_size = big_ ? 8 : 2, entry_size = big_ ? 20 : 12, next_size = big_ ? 8 : 4;
    const uint8_t* p = sh_.cur.get(abs, count_size);
    if (!p) {
      if (dir == Dir::main && !sh_.cur.within(abs, count_size)) sh_.info.truncated = true;
      return false;
    }
    uint64_t n = big_ ? r64(p) : r16(p);
    if (n == 0 || n > 1000) return false;
    uint64_t len = count_size + n * entry_size + next_size;
    const uint8_t* d = sh_.cur.get(abs, static_cast<size_t>(len));
    if (!d) {
      if (dir == Dir::main && !sh_.cur.within(abs, len)) sh_.info.truncated = true;
      return false;
    }
    std::vector<uint8_t> raw(d, d + len);  // the cursor's buffer moves while we follow offsets
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(n));
    uint64_t bad = 0;
    for (uint64_t i = 0; i < n; ++i) {
      const uint8_t* e = raw.data() + count_size + i * entry_size;
      Entry en;
      en.tag = r16(e);
      en.type = r16(e + 2);
      en.count = big_ ? r64(e + 4) : r32(e + 4);
      std::memcpy(en.value, e + (big_ ? 12 : 8), big_ ? 8 : 4);
      int sz = type_size(en.type);
      if (sz == 0 || en.count > (uint64_t(1) << 32)) {
        ++bad;
        continue;
      }
      en.bytes = en.count * sz;
      entries.push_back(en);
    }
    // A real directory has valid types throughout; maker notes get some slack.
    if (bad > (strict || dir == Dir::exif ? 0 : n / 4)) return false;
    sh_.visited.push_back(abs);
    sh_.info.end = std::max(sh_.info.end, abs + len);
    if (depth == 0 && (dir == Dir::main || dir == Dir::rw2)) sh_.info.ifd0_ok = true;
    next = big_ ? r64(raw.data() + len - 8) : r32(raw.data() + len - 4);
    follow(entries, dir, depth);
    return true;
  }

  const Entry* find(const std::vector<Entry>& entries, uint16_t tag) const {
    for (const Entry& e : entries)
      if (e.tag == tag) return &e;
    return nullptr;
  }

  // Follows what the directory's entries point to, by the rules of its kind.
  void follow(const std::vector<Entry>& entries, Dir dir, int depth) {
    const DirRules& kind = rules_of(dir);
    uint64_t raw_offset = 0, sensor_w = 0, sensor_h = 0;
    for (const Entry& e : entries) {
      if (!inline_value(e)) extent(value_offset(e), e.bytes, kind.strict);
      uint64_t v = 0;
      const TagRule* rule = find_rule(dir, e.tag);
      if (!rule) {
        if (dir >= Dir::maker && e.type == 13 && value(e, 0, v)) ifd(v, Dir::maker, depth + 1);
        continue;
      }
      switch (rule->role) {
        case Role::ifd: follow_ifds(e, rule->into, depth); break;
        case Role::private_ifd:
          if ((e.type == 4 || e.type == 13) && e.count == 1 && value(e, 0, v)) ifd(v, rule->into, depth + 1);
          break;
        case Role::data:
          if (const Entry* lens = find(entries, rule->pair)) pairs(e, *lens, kind.strict);
          break;
        case Role::jpeg:
          if (const Entry* len = find(entries, rule->pair)) picture(e, *len, kind.strict_previews);
          break;
        case Role::maker_note:
          if (!inline_value(e)) maker_note(value_offset(e), e.bytes, depth);
          break;
        case Role::make: copy_text(e, sh_.info.make, sizeof sh_.info.make); break;
        case Role::model: copy_text(e, sh_.info.model, sizeof sh_.info.model); break;
        case Role::compression:
          if (value(e, 0, v) && raw_compression(static_cast<uint32_t>(v))) sh_.info.raw = true;
          break;
        case Role::photometric:
          if (value(e, 0, v) && (v == 32803 || v == 34892)) sh_.info.raw = true;
          break;
        case Role::dng_version: sh_.info.dng = true; break;
        case Role::sensor_width: value(e, 0, sensor_w); break;
        case Role::sensor_height: value(e, 0, sensor_h); break;
        case Role::raw_offset: value(e, 0, raw_offset); break;
      }
    }
    if (dir == Dir::rw2) panasonic_raw(entries, raw_offset, sensor_w, sensor_h);
    if (dir >= Dir::maker && sh_.embedded) loose_previews(entries);
  }

  // Cameras point to previews after the picture's end by tags of their own make (and
  // model, and firmware): in a JPEG's maker note any 32-bit value that leads past the
  // picture to a JPEG, from the note's base, the EXIF block's or the file's start, and
  // another that gives that JPEG's length, make a preview of the file.
  void loose_previews(const std::vector<Entry>& entries) {
    std::vector<uint64_t> values;
    for (const Entry& e : entries) {
      if ((e.type != 4 && e.type != 13) || e.count > 16) continue;
      for (uint64_t i = 0, v = 0; i < e.count; ++i)
        if (value(e, i, v) && v > 0) values.push_back(v);
    }
    for (uint64_t start : values) {
      for (uint64_t base : {base_, sh_.tiff, sh_.soi}) {
        const uint64_t at = base + start;
        if (at < sh_.floor || start > (uint64_t(1) << 40) || !starts_jpeg(at) || listed(at)) continue;
        if (++sh_.loose_walks > kMaxPictures) return;
        const jpeg::Walk w = jpeg::walk(sh_.cur, at, false);
        for (uint64_t length : values)
          if (fits(w, at + length) && sh_.pictures.size() < kMaxPictures) sh_.pictures.push_back(Span{at, at + length, true});
      }
    }
  }

  // A look at the spot, without reading a block there: most values lead nowhere.
  bool starts_jpeg(uint64_t at) {
    uint8_t p[3];
    return sh_.cur.peek(at, p, 3) && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
  }

  bool listed(uint64_t at) const {
    return std::any_of(sh_.pictures.begin(), sh_.pictures.end(), [&](const Span& p) { return p.at == at; });
  }

  // Directories linked by offset (one or several), or stored whole as an undefined blob.
  void follow_ifds(const Entry& e, Dir into, int depth) {
    if (e.type == 7) {
      if (!inline_value(e)) ifd(value_offset(e), into, depth + 1);
      return;
    }
    uint64_t v = 0;
    for (uint64_t i = 0; i < std::min<uint64_t>(e.count, 64); ++i)
      if (value(e, i, v)) ifd(v, into, depth + 1);
  }

  // A JPEG picture: cut by the medium like any data, else checked once the walk is done.
  void picture(const Entry& offset, const Entry& length, bool strict) {
    uint64_t o = 0, l = 0;
    if (!value(offset, 0, o) || !value(length, 0, l) || l == 0) return;
    sh_.info.image = true;
    if (o > (uint64_t(1) << 40) || l > (uint64_t(1) << 40) || !sh_.cur.within(base_ + o, l)) {
      extent(o, l, strict);
      return;
    }
    if (sh_.pictures.size() < kMaxPictures) sh_.pictures.push_back(Span{base_ + o, base_ + o + l, false});
  }

  // Panasonic raw data: its length is the strip's when given, else the packed size of
  // the sensor (14 pixels in every 16 bytes).
  void panasonic_raw(const std::vector<Entry>& entries, uint64_t at, uint64_t w, uint64_t h) {
    uint64_t first_len = 0;
    const Entry* lens = find(entries, 279);
    if (lens) value(*lens, 0, first_len);
    if (first_len != 0) return;
    const Entry* strips = find(entries, 273);
    if (!at && strips) value(*strips, 0, at);
    if (at && w && h) {
      extent(at, (w * h + 13) / 14 * 16, true);
      sh_.info.image = true;
    }
  }

  // A maker note: its layout by its header, then its IFD by the rules of its kind.
  void maker_note(uint64_t off, uint64_t len, int depth) {
    uint64_t abs = base_ + off;
    const uint8_t* m = sh_.cur.get(abs, 16);
    if (!m || len < 16) return;
    uint8_t head[16];
    std::memcpy(head, m, 16);
    if (std::memcmp(head, "STMN", 4) == 0 && std::isdigit(head[4]) && std::isdigit(head[5]) && std::isdigit(head[6])) {
      samsung_preview(head);
      return;
    }
    const MakerNote& note = maker_note_layout(head, sh_.info.make);
    bool le = le_;
    if (note.order_at == kLittle) {
      le = true;
    } else if (note.order_at != kFileOrder) {
      const uint8_t* o = sh_.cur.get(abs + note.order_at, 2);
      if (o && o[0] == o[1] && (o[0] == 'I' || o[0] == 'M')) le = o[0] == 'I';
    }
    uint64_t base = note.base_at == kFileBase ? base_ : abs + note.base_at;
    uint64_t at = abs + note.ifd_at - base;
    if (note.ifd_at == kIfdPointer) {
      const uint8_t* q = sh_.cur.get(abs + note.ifd_ptr_at, 4);
      if (!q) return;
      at = le ? le32(q) : be32(q);
    }
    Walker sub(sh_, base, le, false);
    sub.ifd(at, note.dir, depth + 1);
  }

  // Samsung's binary note: its version, then 32-bit words in the file's byte order, the
  // third and fourth the preview's start from the file's start and its length. Its
  // cameras write that preview after the picture's end.
  void samsung_preview(const uint8_t* head) {
    const uint64_t start = r32(head + 8), length = r32(head + 12);
    if (start == 0 || length == 0 || sh_.pictures.size() >= kMaxPictures) return;
    sh_.pictures.push_back(Span{sh_.soi + start, sh_.soi + start + length, false});
  }

  Shared& sh_;
  uint64_t base_;
  bool le_, big_;
};

}  // namespace

bool header_ok(const uint8_t* h, Flavor flavor) {
  bool le = h[0] == 'I' && h[1] == 'I';
  if (!le && !(h[0] == 'M' && h[1] == 'M')) return false;
  uint16_t magic = le ? le16(h + 2) : be16(h + 2);
  uint32_t first = le ? le32(h + 4) : be32(h + 4);
  switch (flavor) {
    case Flavor::standard:
      if (magic == 43) return (le ? le16(h + 4) : be16(h + 4)) == 8 && h[6] == 0 && h[7] == 0;
      return magic == 42 && first >= 8;
    case Flavor::orf:
      return (le ? (magic == 0x4F52 || magic == 0x5352) : magic == 0x4F52) && first >= 8;
    case Flavor::rw2:
      return le && magic == 0x55 && first >= 8;
  }
  return false;
}

Info walk(Cursor& cur, uint64_t base, Flavor flavor) {
  Shared sh(cur, false);
  const uint8_t* h = cur.get(base, 16);
  if (!h || !header_ok(h, flavor)) return sh.info;
  bool le = h[0] == 'I';
  bool big = flavor == Flavor::standard && (le ? le16(h + 2) : be16(h + 2)) == 43;
  uint64_t first = big ? (le ? le64(h + 8) : be64(h + 8)) : (le ? le32(h + 4) : be32(h + 4));
  sh.info.end = base + (big ? 16 : 8);
  Walker w(sh, base, le, big);
  w.ifd(first, flavor == Flavor::rw2 ? Dir::rw2 : Dir::main, 0);
  settle_pictures(sh);
  if (sh.info.end > 0 && !cur.readable(sh.info.end - 1, 1)) {
    sh.info.truncated = true;  // an unreadable spot cut the limit short
    sh.info.end = cur.limit();
  }
  return sh.info;
}

uint64_t embedded_end(Cursor& cur, uint64_t soi, uint64_t base, uint64_t floor) {
  Shared sh(cur, true);
  sh.soi = soi;
  sh.tiff = base;
  sh.floor = floor;
  const uint8_t* h = cur.get(base, 8);
  if (!h || !header_ok(h, Flavor::standard) || (h[0] == 'I' ? le16(h + 2) : be16(h + 2)) != 42) return 0;
  bool le = h[0] == 'I';
  Walker w(sh, base, le, false);
  w.ifd(le ? le32(h + 4) : be32(h + 4), Dir::main, 0);
  settle_pictures(sh);
  return sh.info.end;
}

}  // namespace kes::tiff
