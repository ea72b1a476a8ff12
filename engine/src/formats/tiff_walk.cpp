#include "formats/tiff_walk.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kes::tiff {
namespace {

enum class Ctx : uint8_t {
  main,        // IFD0 chain and SubIFDs: damage here is damage to the file
  exif,        // EXIF, GPS and interoperability IFDs
  maker,       // maker-note IFDs: followed where sane, never trusted to fail the file
  olympus,     // Olympus maker note: its sub-IFDs hang off tags 0x2010..0x2050
  olympus_cs,  // Olympus camera settings: preview start and length
  rw2,         // Panasonic raw IFD0
};

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

struct Shared {
  Cursor& cur;
  Info info;
  std::vector<uint64_t> visited;  // absolute IFD positions
  explicit Shared(Cursor& c) : cur(c) {}
};

struct Entry {
  uint16_t tag = 0, type = 0;
  uint64_t count = 0;
  uint8_t value[8] = {};  // the value field as stored
  uint64_t bytes = 0;     // size of the values
  bool present = false;
};

class Walker {
 public:
  Walker(Shared& sh, uint64_t base, bool le, bool big) : sh_(sh), base_(base), le_(le), big_(big) {}

  // Walks the IFD at off (relative to base) and, in the main chain, the IFDs after it.
  bool ifd(uint64_t off, Ctx ctx, int depth) {
    for (int chain = 0; chain < kMaxIfds; ++chain) {
      uint64_t next = 0;
      if (!one_ifd(off, ctx, depth, next)) return chain > 0;
      if (ctx != Ctx::main || next == 0) return true;
      off = next;
    }
    return true;
  }

 private:
  uint16_t r16(const uint8_t* p) const { return le_ ? le16(p) : be16(p); }
  uint32_t r32(const uint8_t* p) const { return le_ ? le32(p) : be32(p); }
  uint64_t r64(const uint8_t* p) const { return le_ ? le64(p) : be64(p); }
  bool strict(Ctx ctx) const { return ctx == Ctx::main || ctx == Ctx::rw2; }

  // Records [off, off + len) relative to base as part of the file.
  void extent(uint64_t off, uint64_t len, Ctx ctx) {
    if (off > (uint64_t(1) << 40) || len > (uint64_t(1) << 40)) {
      if (strict(ctx)) sh_.info.truncated = true;
      return;
    }
    uint64_t abs = base_ + off;
    // Only the bounds here: reading every strip's last byte would thrash the buffer.
    // walk() reads the furthest byte once at the end.
    if (!sh_.cur.within(abs, len)) {
      // Main data beyond the medium's end: the file was cut. Elsewhere: not trusted.
      if (strict(ctx)) {
        sh_.info.truncated = true;
        sh_.info.end = std::max(sh_.info.end, sh_.cur.limit());
      }
      return;
    }
    sh_.info.end = std::max(sh_.info.end, abs + len);
  }

  // The i-th number of a SHORT/LONG/LONG8/IFD entry.
  bool value(const Entry& e, uint64_t i, uint64_t& v) {
    int sz = type_size(e.type);
    if (i >= e.count || (e.type != 3 && e.type != 4 && e.type != 13 && e.type != 16 && e.type != 18 &&
                         e.type != 7 && e.type != 1))
      return false;
    const uint8_t* p;
    if (e.bytes <= (big_ ? 8u : 4u)) {
      p = e.value + i * sz;
    } else {
      uint64_t off = big_ ? r64(e.value) : r32(e.value);
      p = sh_.cur.get(base_ + off + i * sz, sz);
      if (!p) return false;
    }
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
    const uint8_t* p = e.value;
    if (e.bytes > (big_ ? 8u : 4u)) p = sh_.cur.get(base_ + (big_ ? r64(e.value) : r32(e.value)), n);
    if (!p) return;
    size_t i = 0;
    for (; i < n && p[i]; ++i) dst[i] = static_cast<char>(p[i]);
    dst[i] = 0;
  }

  void pairs(const Entry& offs, const Entry& lens, Ctx ctx) {
    uint64_t n = std::min({offs.count, lens.count, kMaxPairs});
    for (uint64_t i = 0; i < n; ++i) {
      uint64_t o = 0, l = 0;
      if (!value(offs, i, o) || !value(lens, i, l)) {
        if (strict(ctx)) sh_.info.truncated = true;
        return;
      }
      if (l == 0) continue;
      extent(o, l, ctx);
      sh_.info.image = true;
    }
  }

  bool one_ifd(uint64_t off, Ctx ctx, int depth, uint64_t& next) {
    if (depth > 8 || off < 8 || sh_.visited.size() >= kMaxIfds) return false;
    uint64_t abs = base_ + off;
    if (std::find(sh_.visited.begin(), sh_.visited.end(), abs) != sh_.visited.end()) return false;
    const size_t count_size = big_ ? 8 : 2, entry_size = big_ ? 20 : 12, next_size = big_ ? 8 : 4;
    const uint8_t* p = sh_.cur.get(abs, count_size);
    if (!p) {
      if (ctx == Ctx::main && !sh_.cur.within(abs, count_size)) sh_.info.truncated = true;
      return false;
    }
    uint64_t n = big_ ? r64(p) : r16(p);
    if (n == 0 || n > 1000) return false;
    uint64_t len = count_size + n * entry_size + next_size;
    const uint8_t* d = sh_.cur.get(abs, static_cast<size_t>(len));
    if (!d) {
      if (ctx == Ctx::main && !sh_.cur.within(abs, len)) sh_.info.truncated = true;
      return false;
    }
    std::vector<uint8_t> dir(d, d + len);  // the cursor's buffer moves while we follow offsets
    std::vector<Entry> entries(static_cast<size_t>(n));
    uint64_t bad = 0;
    for (uint64_t i = 0; i < n; ++i) {
      const uint8_t* e = dir.data() + count_size + i * entry_size;
      Entry& en = entries[i];
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
      en.present = true;
    }
    // A real directory has valid types throughout; maker notes get some slack.
    if (bad > (strict(ctx) || ctx == Ctx::exif ? 0 : n / 4)) return false;
    sh_.visited.push_back(abs);
    sh_.info.end = std::max(sh_.info.end, abs + len);
    if (depth == 0 && ctx != Ctx::maker) sh_.info.ifd0_ok = true;
    next = big_ ? r64(dir.data() + len - 8) : r32(dir.data() + len - 4);
    handle_entries(entries, ctx, depth);
    return true;
  }

  void handle_entries(std::vector<Entry>& entries, Ctx ctx, int depth) {
    Entry strips, strip_lens, tiles, tile_lens, jpeg, jpeg_len, sr2, sr2_len, prev, prev_len;
    uint64_t raw_offset = 0, sensor_w = 0, sensor_h = 0;
    for (Entry& e : entries) {
      if (!e.present) continue;
      if (e.bytes > (big_ ? 8u : 4u)) extent(big_ ? r64(e.value) : r32(e.value), e.bytes, ctx);
      uint64_t v = 0;
      switch (e.tag) {
        case 2: if (ctx == Ctx::rw2) value(e, 0, sensor_w); break;
        case 3: if (ctx == Ctx::rw2) value(e, 0, sensor_h); break;
        case 259:
          if (value(e, 0, v) && raw_compression(static_cast<uint32_t>(v))) sh_.info.raw = true;
          break;
        case 262:
          if (value(e, 0, v) && (v == 32803 || v == 34892)) sh_.info.raw = true;
          break;
        case 271: if (ctx == Ctx::main || ctx == Ctx::rw2) copy_text(e, sh_.info.make, sizeof sh_.info.make); break;
        case 272: if (ctx == Ctx::main || ctx == Ctx::rw2) copy_text(e, sh_.info.model, sizeof sh_.info.model); break;
        case 273: strips = e; break;
        case 279: strip_lens = e; break;
        case 280: if (ctx == Ctx::rw2) value(e, 0, raw_offset); break;
        case 288:  // Panasonic camera IFD (the tag is FreeOffsets elsewhere)
          if (ctx == Ctx::rw2 && value(e, 0, v)) ifd(v, Ctx::maker, depth + 1);
          break;
        case 324: tiles = e; break;
        case 325: tile_lens = e; break;
        case 513: jpeg = e; break;
        case 514: jpeg_len = e; break;
        case 330:
          for (uint64_t i = 0; i < std::min<uint64_t>(e.count, 64); ++i)
            if (value(e, i, v)) ifd(v, ctx == Ctx::main || ctx == Ctx::rw2 ? Ctx::main : Ctx::maker, depth + 1);
          break;
        case 34665: case 34853: case 40965:
          if (value(e, 0, v)) ifd(v, Ctx::exif, depth + 1);
          break;
        case 37500:
          if (e.bytes > (big_ ? 8u : 4u)) maker_note(big_ ? r64(e.value) : r32(e.value), e.bytes, depth);
          break;
        case 50706: sh_.info.dng = true; break;
        case 50740:  // private data: an IFD in some cameras' files, a plain blob in others
          if ((e.type == 4 || e.type == 13) && e.count == 1 && value(e, 0, v)) ifd(v, Ctx::maker, depth + 1);
          break;
        case 0x7200: sr2 = e; break;
        case 0x7201: sr2_len = e; break;
        default:
          break;
      }
      bool one_link = e.count == 1 && (e.type == 4 || e.type == 13);
      if (ctx == Ctx::maker && (e.type == 13 || (e.tag == 0x11 && one_link)) && value(e, 0, v))
        ifd(v, Ctx::maker, depth + 1);
      if (ctx == Ctx::olympus && e.tag >= 0x2010 && e.tag <= 0x2050) {
        // Sub-IFDs: linked by offset, or stored whole as an undefined blob.
        bool blob = e.type == 7 && e.bytes > 4;
        if (blob || (one_link && value(e, 0, v)))
          ifd(blob ? r32(e.value) : v, e.tag == 0x2020 ? Ctx::olympus_cs : Ctx::maker, depth + 1);
      }
      if (ctx == Ctx::olympus_cs && e.tag == 0x101) prev = e;
      if (ctx == Ctx::olympus_cs && e.tag == 0x102) prev_len = e;
    }
    if (strips.present && strip_lens.present) pairs(strips, strip_lens, ctx);
    if (tiles.present && tile_lens.present) pairs(tiles, tile_lens, ctx);
    if (jpeg.present && jpeg_len.present) {
      uint64_t o = 0, l = 0;
      if (value(jpeg, 0, o) && value(jpeg_len, 0, l) && l > 0) {
        extent(o, l, ctx == Ctx::exif ? Ctx::main : ctx);
        sh_.info.image = true;
      }
    }
    if (sr2.present && sr2_len.present) pairs(sr2, sr2_len, Ctx::maker);
    if (prev.present && prev_len.present) pairs(prev, prev_len, Ctx::maker);
    // Panasonic raw data: its length is the strip's when given, else the packed size
    // of the sensor (14 pixels in every 16 bytes).
    uint64_t first_len = 0;
    if (strip_lens.present) value(strip_lens, 0, first_len);
    if (ctx == Ctx::rw2 && first_len == 0) {
      uint64_t at = raw_offset;
      if (!at && strips.present) value(strips, 0, at);
      if (at && sensor_w && sensor_h) {
        extent(at, (sensor_w * sensor_h + 13) / 14 * 16, ctx);
        sh_.info.image = true;
      }
    }
  }

  void maker_note(uint64_t off, uint64_t len, int depth) {
    uint64_t abs = base_ + off;
    const uint8_t* m = sh_.cur.get(abs, 16);
    if (!m || len < 16) return;
    uint8_t head[16];
    std::memcpy(head, m, 16);
    auto order = [](const uint8_t* p, bool& le) {
      if (p[0] == 'I' && p[1] == 'I') return le = true;
      if (p[0] == 'M' && p[1] == 'M') return !(le = false);
      return false;
    };
    bool le = le_;
    if (std::memcmp(head, "Nikon\0", 6) == 0) {
      // A TIFF header of its own ten bytes in; offsets count from it.
      const uint8_t* t = sh_.cur.get(abs + 10, 8);
      if (!t || !order(t, le)) return;
      Walker sub(sh_, abs + 10, le, false);
      sub.ifd(le ? le32(t + 4) : be32(t + 4), Ctx::maker, depth + 1);
    } else if (std::memcmp(head, "OLYMPUS\0", 8) == 0 || std::memcmp(head, "OM SYSTEM", 9) == 0) {
      size_t o = head[0] == 'O' && head[1] == 'L' ? 8 : 12;
      if (!order(head + o, le)) return;
      Walker sub(sh_, abs, le, false);
      sub.ifd(o + 4, Ctx::olympus, depth + 1);
    } else if (std::memcmp(head, "OLYMP\0", 6) == 0) {
      ifd(off + 8, Ctx::olympus, depth + 1);
    } else if (std::memcmp(head, "Panasonic\0", 10) == 0 || std::memcmp(head, "SONY DSC \0", 10) == 0 ||
               std::memcmp(head, "SONY CAM \0", 10) == 0) {
      ifd(off + 12, Ctx::maker, depth + 1);
    } else if (std::memcmp(head, "AOC\0", 4) == 0) {
      Walker sub(sh_, base_, order(head + 4, le) ? le : le_, false);
      sub.ifd(off + 6, Ctx::maker, depth + 1);
    } else if (std::memcmp(head, "PENTAX \0", 8) == 0) {
      if (!order(head + 8, le)) return;
      Walker sub(sh_, abs, le, false);
      sub.ifd(10, Ctx::maker, depth + 1);
    } else if (std::memcmp(head, "FUJIFILM", 8) == 0) {
      Walker sub(sh_, abs, true, false);
      sub.ifd(le32(head + 8), Ctx::maker, depth + 1);
    } else {
      ifd(off, Ctx::maker, depth + 1);  // a bare IFD with file offsets (Canon and others)
    }
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
  Shared sh(cur);
  const uint8_t* h = cur.get(base, 16);
  if (!h || !header_ok(h, flavor)) return sh.info;
  bool le = h[0] == 'I';
  bool big = flavor == Flavor::standard && (le ? le16(h + 2) : be16(h + 2)) == 43;
  uint64_t first = big ? (le ? le64(h + 8) : be64(h + 8)) : (le ? le32(h + 4) : be32(h + 4));
  sh.info.end = base + (big ? 16 : 8);
  Walker w(sh, base, le, big);
  w.ifd(first, flavor == Flavor::rw2 ? Ctx::rw2 : Ctx::main, 0);
  if (sh.info.end > 0 && !cur.readable(sh.info.end - 1, 1)) {
    sh.info.truncated = true;  // an unreadable spot cut the limit short
    sh.info.end = cur.limit();
  }
  return sh.info;
}

}  // namespace kes::tiff
