// RAF, X3F, MRW and CRW files built here to the public layouts of those formats.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/tiff_maker.h"

namespace kes::test {
namespace {

void put_text(Bytes& b, size_t at, const char* s) { std::memcpy(b.data() + at, s, std::strlen(s)); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

Bytes make_raf(uint32_t jpeg_slot_shrink = 0) {
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
Bytes heap(const std::vector<std::pair<uint16_t, Bytes>>& records, uint16_t inline_tag) {
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

TEST(RawContainers, CarveByteExact) {
  expect_exact("raf", make_raf(), "raf");
  expect_exact("x3f", make_x3f(), "x3f");
  expect_exact("mrw", make_mrw(), "mrw");
  expect_exact("crw", make_crw(), "crw");
}

TEST(RawContainers, InconsistentTablesAreRejected) {
  // RAF whose JPEG slot is shorter than the JPEG in it.
  EXPECT_EQ(measure(fmt("raf"), make_raf(100), 0).verdict, Verdict::corrupt);
  // X3F whose final pointer disagrees with its directory.
  Bytes x3f = make_x3f();
  x3f[x3f.size() - 4] ^= 1;
  Card card(x3f.size() + 20000, true);
  card.put(0, x3f);
  EXPECT_EQ(measure(fmt("x3f"), card.data, 0).verdict, Verdict::corrupt);
  // MRW whose dimensions block claims an unknown storage method.
  Bytes mrw = make_mrw();
  mrw[8 + 8 + 18] = 0x33;
  EXPECT_EQ(measure(fmt("mrw"), mrw, 0).verdict, Verdict::corrupt);
  // CRW whose heap table is gone.
  Bytes crw = make_crw();
  Bytes cut(crw.begin(), crw.end() - 40);
  EXPECT_EQ(measure(fmt("crw"), cut, 0).verdict, Verdict::corrupt);
}

TEST(RawContainers, CutByTheEndOfTheMedium) {
  Bytes raf = make_raf();
  Carve c = measure(fmt("raf"), Bytes(raf.begin(), raf.end() - 5000), 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, raf.size() - 5000);
  Bytes mrw = make_mrw();
  c = measure(fmt("mrw"), Bytes(mrw.begin(), mrw.end() - 1000), 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, mrw.size() - 1000);
}

}  // namespace
}  // namespace kes::test
