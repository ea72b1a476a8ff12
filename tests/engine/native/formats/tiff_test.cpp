// TIFF pictures from the tools, and TIFF-structured camera RAW files built to the
// cameras' public layouts.
#include <gtest/gtest.h>

#include <string>

#include "formats/cursor.h"
#include "formats/synthetic.h"
#include "formats/tiff_maker.h"

namespace kes::test {
namespace {

TEST(Tiff, GeneratedPicturesCarveByteExactAsTiff) {
  for (const char* name : {"tif_strips.tif", "tif_tiles_lzw.tif", "tif_big_endian.tif", "tif_jpeg.tif",
                           "tif_pages.tif", "tif_bigtiff.tif"}) {
    SCOPED_TRACE(name);
    expect_exact("tif", sample(name), "tiff");
  }
}

TEST(Tiff, CameraRawsCarveByteExactWithTheirExtension) {
  expect_exact("tif", make_nef(), "nef");
  expect_exact("tif", make_dng(), "dng");
  expect_exact("tif", make_cr2(), "cr2");
  expect_exact("tif", make_sony("ILCE-7"), "arw");
  expect_exact("tif", make_sony("DSC-R1"), "sr2");
  expect_exact("tif", make_plain_raw(false, "PENTAX Corporation", 65535), "pef");
  expect_exact("tif", make_plain_raw(true, "Kodak", 65000), "dcr");
  expect_exact("tif", make_plain_raw(true, "Kestrel Optics", 1), "tif");
  expect_exact("dsc", make_plain_raw(true, "Kodak", 65000), "dsc");
  expect_exact("orf", make_orf(), "orf");
  expect_exact("rw2", make_rw2(false), "rw2");
  expect_exact("rw2", make_rw2(true), "rw2");
}

TEST(Tiff, HeadersOfOneFlavourDoNotProbeAsAnother) {
  Bytes orf = make_orf(), rw2 = make_rw2(true), nef = make_nef();
  EXPECT_FALSE(probes(fmt("tif"), orf, 0));
  EXPECT_FALSE(probes(fmt("tif"), rw2, 0));
  EXPECT_FALSE(probes(fmt("orf"), nef, 0));
  EXPECT_FALSE(probes(fmt("rw2"), nef, 0));
  // The DCS option only takes Kodak's raw files.
  EXPECT_EQ(measure(fmt("dsc"), nef, 0).verdict, Verdict::corrupt);
}

TEST(Tiff, CutAndBrokenFiles) {
  Bytes nef = make_nef(), rw2 = make_rw2(true);
  // Cut by the end of the medium inside the raw data.
  Bytes cut(rw2.begin(), rw2.end() - 3000);
  Carve c = measure(fmt("rw2"), cut, 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, cut.size());
  // A header whose first IFD lies in noise.
  Bytes fake = noise(70000, 17);
  std::copy(nef.begin(), nef.begin() + 8, fake.begin());
  put32be(fake, 4, 5000);
  EXPECT_EQ(measure(fmt("tif"), fake, 0).verdict, Verdict::corrupt);
  // An IFD chain that loops back to its start ends all the same.
  Bytes loop = make_plain_raw(true, "Kodak", 65000);
  uint32_t ifd0 = le32(loop.data() + 4);
  uint16_t n = le16(loop.data() + ifd0);
  put32le(loop, ifd0 + 2 + 12 * n, ifd0);
  c = measure(fmt("tif"), loop, 0);
  EXPECT_EQ(c.verdict, Verdict::complete);
  EXPECT_EQ(c.length, loop.size());
}

// One maker-note flavour: its header (magic, byte-order mark, a TIFF header of its own),
// where its offsets count from, and the tags that lead to its preview.
struct NoteFlavour {
  const char* name;
  std::string header;
  bool le;        // the note's byte order (the file is the other way where the header says so)
  int base;       // offsets count from this position in the note; -1: from the file's header
  uint16_t via;   // 0: the preview tags are in the note's IFD; else the tag of a sub-IFD holding them
  uint16_t start, length;
  const char* make;
};

// A TIFF picture whose maker note leads to a JPEG preview stored last in the file;
// `disguise` alters the note's first byte.
Bytes with_maker_note(const NoteFlavour& f, const char* make, bool disguise = false) {
  const bool file_le = f.base < 0 ? f.le : !f.le;
  TiffMaker t(file_le);
  uint32_t strip = t.blob(noise(600, 3));
  const uint32_t mn_pos = static_cast<uint32_t>((t.out.size() + 1) & ~size_t(1));
  Bytes note(f.header.begin(), f.header.end());
  auto p16 = [&](size_t at, uint16_t v) { f.le ? put16le(note, at, v) : put16be(note, at, v); };
  auto p32 = [&](size_t at, uint32_t v) { f.le ? put32le(note, at, v) : put32be(note, at, v); };
  auto rel = [&](size_t in_note) { return uint32_t(f.base < 0 ? mn_pos + in_note : in_note - f.base); };
  // IFDs of two LONG entries (or one IFD link), values inline.
  auto dir = [&](std::vector<std::pair<uint16_t, uint16_t>> entries) {  // tag, type
    size_t at = note.size();
    note.resize(at + 2 + 12 * entries.size() + 4);
    p16(at, uint16_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      p16(at + 2 + 12 * i, entries[i].first);
      p16(at + 4 + 12 * i, entries[i].second);
      p32(at + 6 + 12 * i, 1);
    }
    return at;
  };
  size_t first = dir(f.via ? std::vector<std::pair<uint16_t, uint16_t>>{{f.via, 13}}
                           : std::vector<std::pair<uint16_t, uint16_t>>{{f.start, 4}, {f.length, 4}});
  size_t holder = first;
  if (f.via) {
    holder = dir({{f.start, 4}, {f.length, 4}});
    p32(first + 10, rel(holder));
  }
  if (f.header.rfind("FUJIFILM", 0) == 0) p32(8, rel(first));
  if (f.header.rfind("Nikon", 0) == 0) p32(14, rel(first));
  note.resize(note.size() + 16);  // the notes' own data, after their IFDs
  Bytes jpeg = preview_jpeg();
  p32(holder + 2 + 12 + 8, uint32_t(jpeg.size()));
  uint32_t exif = t.ifd({t.undefined(37500, note)});
  t.set_first(t.ifd({t.ascii(271, make), t.shorts(259, {1}), t.shorts(262, {2}), t.longs(273, {strip}),
                     t.longs(279, {600}), t.longs(34665, {exif})}));
  uint32_t jpeg_pos = t.blob(jpeg);
  p32(holder + 10, rel(jpeg_pos - mn_pos));
  if (disguise && !note.empty()) note[0] ^= 0x20;
  std::copy(note.begin(), note.end(), t.out.begin() + mn_pos);
  return t.out;
}

TEST(Tiff, EveryMakerNoteFlavourLeadsToItsPreview) {
  using namespace std::string_literals;
  const NoteFlavour flavours[] = {
      {"Nikon", "Nikon\0\2\x10\0\0MM\0\x2a\0\0\0\0"s, false, 10, 0x11, 0x201, 0x202, "NIKON"},
      {"Olympus", "OLYMPUS\0II\3\0"s, true, 0, 0x2020, 0x101, 0x102, "OLYMPUS"},
      {"OM System", "OM SYSTEM\0\0\0II\4\0"s, true, 0, 0x2020, 0x101, 0x102, "OM Digital"},
      {"Olympus, old", "OLYMP\0\1\0"s, true, -1, 0, 0x88, 0x89, "OLYMPUS"},
      {"Panasonic", "Panasonic\0\0\0"s, false, -1, 0x7777, 0x201, 0x202, "Panasonic"},
      {"Sony", "SONY DSC \0\0\0"s, true, -1, 0, 0x201, 0x202, "SONY"},
      {"Asahi", "AOC\0MM"s, false, -1, 0, 4, 3, "Asahi"},
      {"Pentax", "PENTAX \0II"s, true, 0, 0, 4, 3, "PENTAX"},
      {"Casio", "QVC\0\0\0"s, false, -1, 0, 4, 3, "CASIO"},
      {"Fujifilm", "FUJIFILM\0\0\0\0"s, true, 0, 0x7777, 0x201, 0x202, "FUJIFILM"},
      {"Minolta", ""s, false, -1, 0, 0x88, 0x89, "Minolta"},
      {"Samsung", ""s, true, -1, 0, 2, 3, "SAMSUNG"},
      {"bare IFD", ""s, true, -1, 0x7777, 0x201, 0x202, "Canon"},
  };
  for (const NoteFlavour& f : flavours) {
    SCOPED_TRACE(f.name);
    Bytes file = with_maker_note(f, f.make);
    expect_exact("tif", file, "tiff");
    if (f.header.empty() && f.via) continue;  // the bare IFD that any other make's note falls back to
    // Taken for another flavour, the note does not lead to the preview.
    Bytes other = f.header.empty() ? with_maker_note(f, "Kestrel") : with_maker_note(f, f.make, true);
    EXPECT_LE(measure(fmt("tif"), other, 0).length, other.size() - preview_jpeg().size());
  }
}

}  // namespace
}  // namespace kes::test
