// Camera RAW files built to the public layouts of their formats, for the tests and
// as seeds of the fuzz targets.
#include "formats/synthetic.h"

#include <cstring>

#include "formats/tiff_maker.h"

namespace kes::test {
namespace {

Bytes text(const char* s, size_t n) { return Bytes(s, s + n); }
void put_text(Bytes& b, size_t at, const char* s) { std::memcpy(b.data() + at, s, std::strlen(s)); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

}  // namespace


// Raw data referenced only from a SubIFD, a preview JPEG referenced only from inside
// the maker note (which has a TIFF header of its own), placed last in the file.
Bytes make_nef() {
  TiffMaker t(false);
  uint32_t thumb = t.blob(noise(576, 1));
  uint32_t raw = t.blob(noise(40000, 2));
  uint32_t raw_ifd = t.ifd({t.longs(254, {0}), t.longs(256, {200}), t.longs(257, {100}), t.shorts(259, {1}),
                            t.shorts(262, {32803}), t.longs(273, {raw}), t.longs(279, {40000})});
  Bytes jpeg = preview_jpeg();
  TiffMaker in(false);
  uint32_t prev_ifd = in.ifd({in.longs(0x201, {0}), in.longs(0x202, {uint32_t(jpeg.size())})});
  uint32_t mn_ifd = in.ifd({in.longs(0x11, {prev_ifd}, 13), in.ascii(0x2, "Kestrune ")});
  in.set_first(mn_ifd);
  Bytes mn = text("Nikon\0\2\x10\0\0", 10);
  mn.insert(mn.end(), in.out.begin(), in.out.end());
  uint32_t mn_pos = static_cast<uint32_t>((t.out.size() + 1) & ~size_t(1));
  uint32_t exif = t.ifd({t.undefined(37500, mn), t.longs(33434, {1, 250}, 5)});
  uint32_t ifd0 = t.ifd({t.longs(254, {1}), t.longs(256, {16}), t.longs(257, {12}), t.shorts(259, {1}),
                         t.shorts(262, {2}), t.ascii(271, "NIKON CORPORATION"), t.ascii(272, "NIKON D9"),
                         t.longs(273, {thumb}), t.longs(279, {576}), t.longs(330, {raw_ifd}),
                         t.longs(34665, {exif})});
  t.set_first(ifd0);
  uint32_t jpeg_pos = t.blob(jpeg);
  put32be(t.out, mn_pos + 10 + prev_ifd + 2 + 8, jpeg_pos - (mn_pos + 10));
  return t.out;
}

Bytes make_dng() {
  TiffMaker t(true);
  uint32_t prev = t.blob(noise(900, 3));
  uint32_t tile1 = t.blob(noise(5000, 4)), tile2 = t.blob(noise(4100, 5));
  uint32_t raw_ifd = t.ifd({t.longs(254, {0}), t.shorts(259, {7}), t.shorts(262, {32803}),
                            t.longs(322, {64}), t.longs(323, {64}), t.longs(324, {tile1, tile2}),
                            t.longs(325, {5000, 4100})});
  uint32_t ifd0 = t.ifd({t.longs(254, {1}), t.shorts(259, {1}), t.shorts(262, {2}), t.ascii(271, "Kestrel"),
                         t.longs(273, {prev}), t.longs(279, {900}), t.longs(330, {raw_ifd}),
                         t.bytes(50706, {1, 4, 0, 0})});
  t.set_first(ifd0);
  return t.out;
}

// IFD0..IFD3 chain with the raw data in the last IFD, and the raw IFD's offset in the
// header's extension.
Bytes make_cr2() {
  TiffMaker t(true);
  t.out.resize(16);
  t.out[8] = 'C', t.out[9] = 'R', t.out[10] = 2, t.out[11] = 0;
  Bytes jpeg = preview_jpeg();
  uint32_t big = t.blob(jpeg), small = t.blob(noise(1200, 6)), rgb = t.blob(noise(3000, 7));
  uint32_t raw = t.blob(noise(60000, 8));
  uint32_t ifd3 = t.ifd({t.shorts(259, {6}), t.longs(273, {raw}), t.longs(279, {60000}), t.shorts(0xC5D8, {1})});
  uint32_t ifd2 = t.ifd({t.shorts(259, {1}), t.longs(273, {rgb}), t.longs(279, {3000})}, ifd3);
  uint32_t ifd1 = t.ifd({t.shorts(259, {6}), t.longs(513, {small}), t.longs(514, {1200})}, ifd2);
  uint32_t maker = t.ifd({t.shorts(1, {1, 2, 3, 4}), t.ascii(6, "Canon EOS Test")});
  (void)maker;
  uint32_t exif = t.ifd({t.longs(33434, {1, 100}, 5)});
  uint32_t ifd0 = t.ifd({t.shorts(259, {6}), t.ascii(271, "Canon"), t.ascii(272, "Canon EOS Test"),
                         t.longs(273, {big}), t.longs(279, {uint32_t(jpeg.size())}), t.longs(34665, {exif})},
                        ifd1);
  t.set_first(ifd0);
  put32le(t.out, 12, ifd3);
  return t.out;
}

// Raw data in a SubIFD and an encrypted block reached only through the private IFD.
Bytes make_sony(const char* model) {
  TiffMaker t(true);
  uint32_t raw = t.blob(noise(30000, 9));
  uint32_t raw_ifd = t.ifd({t.shorts(259, {32767}), t.shorts(262, {32803}), t.longs(273, {raw}),
                            t.longs(279, {30000})});
  uint32_t thumb = t.blob(noise(700, 10));
  uint32_t priv = t.ifd({t.longs(0x7200, {0}), t.longs(0x7201, {7000}), t.longs(0x7221, {1234})});
  uint32_t ifd0 = t.ifd({t.shorts(259, {1}), t.ascii(271, "SONY"), t.ascii(272, model), t.longs(273, {thumb}),
                         t.longs(279, {700}), t.longs(330, {raw_ifd}), t.longs(50740, {priv})});
  t.set_first(ifd0);
  uint32_t secret = t.blob(noise(7000, 11));
  put32le(t.out, priv + 2 + 8, secret);
  return t.out;
}

Bytes make_plain_raw(bool le, const char* make, uint16_t compression) {
  TiffMaker t(le);
  uint32_t raw = t.blob(noise(25000, 12));
  uint32_t ifd0 = t.ifd({t.shorts(259, {compression}), t.shorts(262, {32803}), t.ascii(271, make),
                         t.ascii(272, "DCS Pro 14N"), t.longs(273, {raw}), t.longs(279, {25000})});
  t.set_first(ifd0);
  return t.out;
}

// Olympus: its own header magic, a maker note whose sub-IFD holds the preview's place.
Bytes make_orf() {
  TiffMaker t(true, 0x4F52);
  uint32_t raw = t.blob(noise(20000, 13));
  Bytes jpeg = preview_jpeg();
  uint32_t mn_pos = static_cast<uint32_t>((t.out.size() + 1) & ~size_t(1));
  // Maker note: "OLYMPUS\0II\3\0", then IFDs with offsets from the maker note's start.
  TiffMaker in(true);
  in.out = text("OLYMPUS\0II\3\0", 12);
  uint32_t head = in.ifd({in.longs(0x2020, {0}, 13), in.longs(0x0000, {0x30303130}, 7)});
  uint32_t cs = in.ifd({in.longs(0x101, {0}), in.longs(0x102, {uint32_t(jpeg.size())})});
  put32le(in.out, head + 2 + 8, cs);
  uint32_t exif = t.ifd({t.undefined(37500, in.out)});
  uint32_t ifd0 = t.ifd({t.ascii(271, "OLYMPUS IMAGING CORP."), t.longs(273, {raw}), t.longs(279, {20000}),
                         t.longs(34665, {exif})});
  t.set_first(ifd0);
  uint32_t jpeg_pos = t.blob(jpeg);
  put32le(t.out, mn_pos + cs + 2 + 8, jpeg_pos - mn_pos);
  return t.out;
}

// Panasonic: raw data whose length comes from the sensor size when no count is given.
Bytes make_rw2(bool with_count) {
  TiffMaker t(true, 0x55);
  t.out.resize(0x18);
  uint32_t jpeg = t.blob(preview_jpeg());
  uint32_t raw_at = static_cast<uint32_t>(t.out.size() + 0x1000);  // room for the IFD before it
  const uint32_t raw_len = (100 * 80 + 13) / 14 * 16;
  std::vector<Field> f = {t.shorts(2, {100}), t.shorts(3, {80}), t.undefined(0x2E, Bytes(600, 0xAB)),
                          t.ascii(271, "Panasonic"), t.longs(273, {raw_at}), t.longs(280, {raw_at})};
  if (with_count) f.insert(f.begin() + 5, t.longs(279, {raw_len}));
  uint32_t ifd0 = t.ifd(f);
  (void)jpeg;
  t.set_first(ifd0);
  t.out.resize(raw_at);
  Bytes raw = noise(raw_len, 14);
  t.out.insert(t.out.end(), raw.begin(), raw.end());
  return t.out;
}


Bytes make_raf(uint32_t jpeg_slot_shrink) {
  Bytes f(160);
  put_text(f, 0, "FUJIFILMCCD-RAW 0201FF129502FinePix Kestrel");
  put_text(f, 60, "0100");
  Bytes jpeg = preview_jpeg();
  uint32_t jpeg_at = 160, meta_at = jpeg_at + uint32_t(jpeg.size()) + 2;
  append(f, jpeg);
  f.resize(meta_at);
  Bytes meta(4 + 4 + 4 + 4 + 8);
  put32be(meta, 0, 2);
  put16be(meta, 4, 0x100), put16be(meta, 6, 4), put16be(meta, 8, 80), put16be(meta, 10, 120);
  put16be(meta, 12, 0x130), put16be(meta, 14, 8);
  append(f, meta);
  uint32_t cfa_at = uint32_t(f.size());
  append(f, noise(30000, 31));
  uint32_t table[6] = {jpeg_at, uint32_t(jpeg.size()) - jpeg_slot_shrink, meta_at, uint32_t(meta.size()), cfa_at, 30000};
  for (int i = 0; i < 6; ++i) put32be(f, 84 + 4 * i, table[i]);
  return f;
}

// Sections, a directory listing them and the pointer to it in the last four bytes; the
// image data holds a stray directory signature.
Bytes make_x3f() {
  Bytes f(40);
  put_text(f, 0, "FOVb");
  put32le(f, 4, 0x00020002);
  put32le(f, 28, 120), put32le(f, 32, 80);
  struct Sec { uint32_t off, len; const char* type; };
  std::vector<Sec> secs;
  auto section = [&](const char* magic, const char* type, Bytes body) {
    uint32_t off = uint32_t(f.size());
    Bytes s(8);
    put_text(s, 0, magic);
    put32le(s, 4, 0x00020000);
    append(s, body);
    append(f, s);
    secs.push_back({off, uint32_t(s.size()), type});
  };
  section("SECp", "PROP", noise(200, 41));
  Bytes image = noise(9000, 42);
  put_text(image, 4000, "SECd");
  section("SECi", "IMAG", image);
  section("SECc", "CAMF", noise(300, 43));
  uint32_t dir = uint32_t(f.size());
  Bytes d(12 + 12 * secs.size() + 4);
  put_text(d, 0, "SECd");
  put32le(d, 4, 0x00020000);
  put32le(d, 8, uint32_t(secs.size()));
  for (size_t i = 0; i < secs.size(); ++i) {
    put32le(d, 12 + 12 * i, secs[i].off);
    put32le(d, 16 + 12 * i, secs[i].len);
    put_text(d, 20 + 12 * i, secs[i].type);
  }
  put32le(d, d.size() - 4, dir);
  append(f, d);
  return f;
}

// Blocks: picture dimensions, an embedded TIFF with offsets from its own start, white
// balance, padding; then 12-bit packed raw data.
Bytes make_mrw() {
  Bytes prd(8 + 24);
  put_text(prd, 0, std::string("\0PRD", 4).c_str() + 0);
  prd[0] = 0, prd[1] = 'P', prd[2] = 'R', prd[3] = 'D';
  put32be(prd, 4, 24);
  put_text(prd, 8, "21810002");
  put16be(prd, 16, 60), put16be(prd, 18, 80), put16be(prd, 20, 60), put16be(prd, 22, 80);
  prd[24] = 12, prd[25] = 12, prd[26] = 0x52;
  TiffMaker t(false);
  uint32_t thumb = t.blob(noise(300, 51));
  t.set_first(t.ifd({t.ascii(271, "MINOLTA"), t.longs(513, {thumb}), t.longs(514, {300})}));
  Bytes ttw(8);
  ttw[1] = 'T', ttw[2] = 'T', ttw[3] = 'W';
  put32be(ttw, 4, uint32_t(t.out.size()));
  append(ttw, t.out);
  Bytes wbg(8 + 12);
  wbg[1] = 'W', wbg[2] = 'B', wbg[3] = 'G';
  put32be(wbg, 4, 12);
  Bytes blocks;
  append(blocks, prd), append(blocks, ttw), append(blocks, wbg);
  Bytes pad(8 + (16 - (blocks.size() + 8 + 8) % 16) % 16);
  pad[1] = 'P', pad[2] = 'A', pad[3] = 'D';
  put32be(pad, 4, uint32_t(pad.size() - 8));
  append(blocks, pad);
  Bytes f(8);
  f[1] = 'M', f[2] = 'R', f[3] = 'M';
  put32be(f, 4, uint32_t(blocks.size()));
  append(f, blocks);
  append(f, noise(60 * 80 * 12 / 8, 52));
  return f;
}

// One heap table (records' data first, then the table, then the table's offset).
static Bytes heap(const std::vector<std::pair<uint16_t, Bytes>>& records, uint16_t inline_tag) {
  Bytes h;
  std::vector<std::pair<uint32_t, uint32_t>> where;
  for (auto& r : records) {
    where.push_back({uint32_t(h.size()), uint32_t(r.second.size())});
    append(h, r.second);
  }
  uint32_t table = uint32_t(h.size());
  Bytes t(2 + 10 * (records.size() + 1) + 4);
  put16le(t, 0, uint16_t(records.size() + 1));
  for (size_t i = 0; i < records.size(); ++i) {
    put16le(t, 2 + 10 * i, records[i].first);
    put32le(t, 4 + 10 * i, where[i].second);
    put32le(t, 8 + 10 * i, where[i].first);
  }
  size_t e = 2 + 10 * records.size();
  put16le(t, e, inline_tag);  // a value kept inside the record itself
  put32le(t, e + 2, 0x01020304);
  put32le(t, t.size() - 4, table);
  append(h, t);
  return h;
}

Bytes make_crw() {
  Bytes f(26);
  f[0] = f[1] = 'I';
  put32le(f, 2, 26);
  put_text(f, 6, "HEAPCCDR");
  put16le(f, 14, 1), put16le(f, 16, 2);
  Bytes props = heap({{0x0805, Bytes(32, 'x')}, {0x1810, noise(28, 61)}}, 0x5029);
  Bytes root = heap({{0x2007, preview_jpeg()}, {0x300A, props}, {0x2005, noise(50000, 62)}}, 0x5817);
  append(f, root);
  return f;
}

}  // namespace kes::test
