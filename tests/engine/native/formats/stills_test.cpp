// Stills in ISO base media files: HEIC and AVIF from ImageMagick and heif-enc, a CR3
// made from a Canon camera's own. Carved whole under the extension their brands call
// for, ended by the data their tables place, and cut where that data stops holding.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>

#include "byte_source.h"
#include "formats/samples.h"

namespace kes::test {
namespace {

uint64_t be(const Bytes& b, size_t at, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | b[at + i];
  return v;
}

// Offset of the first top-level box of `type` (the file's size when it has none).
size_t top_box(const Bytes& f, const char* type) {
  for (size_t at = 0; at + 16 <= f.size();) {
    if (std::string(f.begin() + at + 4, f.begin() + at + 8) == type) return at;
    const uint64_t size = be(f, at, 4) == 1 ? be(f, at + 8, 8) : be(f, at, 4);
    if (size < 8) break;
    at += size;
  }
  return f.size();
}

// The file with its major brand and its first compatible ones replaced.
Bytes rebrand(Bytes f, std::initializer_list<const char*> brands) {
  size_t at = 8;
  for (const char* b : brands) {
    std::copy_n(b, 4, f.begin() + at);
    at += at == 8 ? 8 : 4;
  }
  return f;
}

struct Still {
  const char* name;
  const char* ext;
};
const Still kStills[] = {{"heif_small.heic", "heic"}, {"heif_large.heic", "heic"}, {"heif_exif.heic", "heic"},
                         {"heif_odd.avif", "avif"},   {"heif_large.avif", "avif"}, {"heif_canon.cr3", "cr3"}};

TEST(Stills, CarvedByteExactUnderTheirBrandsExtension) {
  for (const Still& s : kStills) {
    SCOPED_TRACE(s.name);
    const Bytes f = sample(s.name);
    expect_exact("heif", f, s.ext);
    EXPECT_FALSE(probes(fmt("mov"), f, 0)) << "a picture brand is never a movie";
  }
  // A general major brand: the coding's among the compatible ones, or none at all.
  const Bytes heic = sample("heif_small.heic");
  expect_exact("heif", rebrand(heic, {"mif1", "mif1", "heic", "miaf"}), "heic");
  expect_exact("heif", rebrand(heic, {"mif1", "mif1", "miaf", "miaf"}), "heif");
  EXPECT_FALSE(probes(fmt("heif"), rebrand(heic, {"isom", "isom", "mp41", "mp42"}), 0));
}

// The media box running to the end or past the medium, and a HEIF's items placed past
// the boxes (an empty media box ahead of them): the data the tables place ends the file.
TEST(Stills, ItemsAndSamplesEndTheFile) {
  for (const Still& s : kStills) {
    SCOPED_TRACE(s.name);
    const Bytes f = sample(s.name);
    const size_t mdat = top_box(f, "mdat");
    ASSERT_LT(mdat, f.size());
    const bool large = be(f, mdat, 4) == 1;  // a 64-bit size after the type
    std::vector<Bytes> variants(2, f);
    put32be(variants[0], mdat, 0);
    put32be(variants[1], large ? mdat + 8 : mdat, large ? 0x7F : 0x7FFFFFF0);
    if (std::string(s.ext) != "cr3") {
      variants.push_back(f);
      put32be(variants[2], mdat, 8);
    }
    for (const Bytes& v : variants) {
      Card card(v.size() + 4096, false, 8);
      card.put(0, v);
      const Carve c = measure(fmt("heif"), card.data, 0);
      EXPECT_EQ(c.verdict, Verdict::complete) << &v - variants.data();
      EXPECT_EQ(c.length, v.size()) << &v - variants.data();
    }
  }
}

TEST(Stills, DamageCutsTheFileWhereItsDataStopsHolding) {
  for (const Still& s : kStills) {
    SCOPED_TRACE(s.name);
    const Bytes f = sample(s.name);
    // Cut by the medium's end, and measured no further than a fragment search's window.
    const size_t cut = f.size() * 3 / 5;
    const Bytes head(f.begin(), f.begin() + cut);
    MemorySource whole(f.data(), f.size()), medium(head.data(), head.size());
    for (const Carve& c : {fmt("heif").measure(medium, 0, fmt("heif").max_length), fmt("heif").measure(whole, 0, cut)}) {
      EXPECT_EQ(c.verdict, Verdict::truncated);
      EXPECT_EQ(c.length, cut);
    }
  }
  // Zeroed sectors where the coded data lies: inside a HEVC NAL unit, over the start of
  // the AV1 picture, the CR3's full-size JPEG and its timed metadata.
  auto zeroed = [](const char* name, size_t at) {
    Bytes f = sample(name);
    std::fill(f.begin() + at, f.begin() + at + 1024, 0);
    return f;
  };
  const Bytes heic = sample("heif_large.heic"), avif = sample("heif_large.avif"), cr3 = sample("heif_canon.cr3");
  const size_t heic_at = heic.size() / 2 / 512 * 512, avif_at = top_box(avif, "mdat") + 8;
  const size_t jpeg_at = top_box(cr3, "mdat") + 16, ctmd_at = cr3.size() - 2048;
  // Another file's data amid the coded data, at a 4 KiB boundary: pixel rows, a raw
  // photo's 12-bit samples, sound and a JPEG's coded data. HEVC's and AV1's coders, and
  // the CR3's raw track (noise here), spread their bytes as noise does; these do not, or
  // (the JPEG's) follow each 0xFF with a stuffed zero.
  const Bytes jpg = sample("jpg_big.jpg"), r = noise(8192, 5);
  Bytes rows(8192), raw(8192), sound(8192), coded(jpg.begin() + jpg.size() / 2, jpg.begin() + jpg.size() / 2 + 8192);
  for (size_t i = 0; i < 8192; ++i) rows[i] = static_cast<uint8_t>(100 + 30 * std::sin(i / 3000.0 + i % 3) + r[i] % 4);
  for (size_t i = 0; i < 8192; i += 2) {
    put16le(raw, i, static_cast<uint16_t>(0x200 + (r[i] << 2 | (r[i + 1] & 3))));
    put16le(sound, i, static_cast<uint16_t>(static_cast<int16_t>(2000 * std::sin(i / 40.0))));
  }
  const std::pair<const char*, const Bytes*> foreign[] = {
      {"pixel rows", &rows}, {"raw samples", &raw}, {"sound", &sound}, {"a JPEG's coded data", &coded}};
  const std::pair<const char*, size_t> hosts[] = {{"heif_large.heic", heic.size() / 2 / 4096 * 4096},
                                                  {"heif_large.avif", avif.size() / 2 / 4096 * 4096},
                                                  {"heif_canon.cr3", (cr3.size() - 131072) / 4096 * 4096}};
  std::vector<Damage> cases;
  for (const auto& [host, at] : hosts) {
    for (const auto& [what, data] : foreign) {
      Bytes f = sample(host);
      std::copy(data->begin(), data->end(), f.begin() + at);
      cases.push_back({what, f, false, Verdict::truncated, at, at});
    }
  }
  cases.insert(cases.end(), {
      {"zeros in a NAL unit", zeroed("heif_large.heic", heic_at), false, Verdict::truncated, heic_at - 2, heic_at},
      {"zeros over the OBUs", zeroed("heif_large.avif", avif_at), false, Verdict::truncated, avif_at, avif_at},
      {"zeros over the JPEG", zeroed("heif_canon.cr3", jpeg_at), false, Verdict::truncated, jpeg_at, jpeg_at},
      {"zeros in the metadata", zeroed("heif_canon.cr3", ctmd_at), false, Verdict::truncated, jpeg_at, ctmd_at + 1024},
      // exiftool's samples: text where the tables place a picture, from the first item on.
      {"exiftool's HEIC", sample("heif_stripped.heic"), false, Verdict::truncated, 0x243, 0x243},
      {"exiftool's CR3", sample("heif_stripped.cr3"), false, Verdict::truncated, 11437, 11437},
  });
  expect_damage("heif", cases);
}

// Another file's header breaks a NAL unit's escapes at once (00 00 01 here, amid noise).
// Past a fragment search's splice, though, data is checked only as far as noise is
// checked: any picture's HEVC data keeps the escapes, and would otherwise be taken for
// this one's.
TEST(Stills, PastASpliceTheDataIsCheckedOnlyAsNoiseIs) {
  const Bytes f = sample("heif_large.heic");
  const size_t splice = f.size() / 2 / 4096 * 4096;
  auto after_splice = [&](Bytes tail) {
    Bytes b(f.begin(), f.begin() + splice);
    tail.resize(f.size() - splice);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  Bytes header = noise(f.size(), 4);
  std::fill(header.begin() + 20, header.begin() + 22, 0);
  header[22] = 1;
  const Bytes foreign = after_splice(header), noisy = after_splice(noise(f.size(), 3));
  const Carve whole = measure(fmt("heif"), foreign, 0);
  EXPECT_EQ(whole.verdict, Verdict::truncated);
  EXPECT_GT(whole.length, splice);
  EXPECT_LT(whole.length, splice + 64);
  MemorySource a(foreign.data(), foreign.size()), b(noisy.data(), noisy.size());
  const std::unique_ptr<Splicer> splicer = fmt("heif").splicer(a, fmt("heif").max_length, whole);
  const Carve candidate = splicer->measure(a, splice, f.size()), control = splicer->measure(b, splice, f.size());
  EXPECT_EQ(candidate.verdict, control.verdict);
  EXPECT_EQ(candidate.length, control.length);
}

// A fragment search's splicer judges the data before its splice once, from the file it
// was made from: every candidate breaks where that data broke (zeros over the coded
// data, a third of the way in; in the HEIC with a thumbnail, in its main picture, which
// ends before the later splice), and the file's own rest joins it whole.
TEST(Stills, ASplicerJudgesTheDataBeforeItsSpliceOnce) {
  const Format& heif = fmt("heif");
  for (const char* name : {"heif_large.heic", "heif_exif.heic", "heif_large.avif", "heif_canon.cr3"}) {
    SCOPED_TRACE(name);
    const Bytes f = sample(name);
    Bytes damaged = f;
    std::fill_n(damaged.begin() + f.size() / 3 / 4096 * 4096, 1024, 0);
    MemorySource own(f.data(), f.size()), bad(damaged.data(), damaged.size());
    const Carve broken = heif.measure(bad, 0, damaged.size());
    ASSERT_EQ(broken.verdict, Verdict::truncated);
    const std::unique_ptr<Splicer> whole = heif.splicer(own, heif.max_length, heif.measure(own, 0, f.size()));
    const std::unique_ptr<Splicer> cut = heif.splicer(bad, heif.max_length, broken);
    for (const size_t at : {f.size() / 2 / 4096 * 4096, f.size() * 9 / 10 / 4096 * 4096}) {
      SCOPED_TRACE(at);
      const Carve joined = whole->measure(own, at, f.size()), again = cut->measure(bad, at, f.size());
      EXPECT_EQ(std::make_pair(joined.verdict, joined.length), std::make_pair(Verdict::complete, uint64_t(f.size())));
      EXPECT_EQ(std::make_pair(again.verdict, again.length), std::make_pair(broken.verdict, broken.length));
    }
  }
}

// A splicer gone on past a splice (a continuation the search took, up to a later break)
// measures each candidate after that break as one made over the spliced file does: the
// file's own rest, and noise.
TEST(Stills, ASplicerGoneOnPastASpliceMeasuresAsANewOne) {
  const Format& heif = fmt("heif");
  const Bytes noisy = noise(8 << 20, 6), other = noise(8 << 20, 7);
  for (const char* name : {"heif_large.heic", "heif_exif.heic", "heif_large.avif", "heif_canon.cr3"}) {
    SCOPED_TRACE(name);
    const Bytes f = sample(name);
    ASSERT_LE(f.size(), noisy.size());
    auto spliced = [&](size_t at, const Bytes& rest) {
      Bytes b(f.begin(), f.begin() + at);
      b.insert(b.end(), rest.begin() + at, rest.begin() + f.size());
      return b;
    };
    const size_t first = f.size() / 3 / 4096 * 4096, second = f.size() * 9 / 10 / 4096 * 4096;
    const Bytes one = spliced(first, noisy), two = spliced(second, noisy), wrong = spliced(second, other);
    MemorySource one_src(one.data(), one.size()), two_src(two.data(), two.size());
    const std::unique_ptr<Splicer> kept = heif.splicer(one_src, heif.max_length, heif.measure(one_src, 0, one.size()));
    ASSERT_TRUE(kept->extend(two_src, two.size(), first));
    const std::unique_ptr<Splicer> made = heif.splicer(two_src, heif.max_length, heif.measure(two_src, 0, two.size()));
    for (const Bytes* candidate : {&f, &wrong}) {
      MemorySource src(candidate->data(), candidate->size());
      const Carve a = kept->measure(src, second, f.size()), b = made->measure(src, second, f.size());
      EXPECT_EQ(std::make_tuple(a.verdict, a.length), std::make_tuple(b.verdict, b.length));
    }
    MemorySource own(f.data(), f.size());
    EXPECT_EQ(kept->measure(own, second, f.size()).verdict, Verdict::complete);
  }
}

// Up to where a splicer says the structure reads nothing but a payload that noise passes
// (inside a HEVC unit, a CR3's raw data), no continuation measures further than noise:
// a fragment search need not measure one there. Inside the tables it can say nothing.
TEST(Stills, WhereTheDataIsCheckedAsNoiseIsNoContinuationGoesFurther) {
  const Format& heif = fmt("heif");
  const Bytes noisy = noise(8 << 20, 8), zeros(8 << 20, 0), other = sample("heif_small.heic");
  for (const char* name : {"heif_large.heic", "heif_exif.heic", "heif_large.avif", "heif_canon.cr3"}) {
    SCOPED_TRACE(name);
    const Bytes f = sample(name);
    MemorySource own(f.data(), f.size());
    const std::unique_ptr<Splicer> splicer = heif.splicer(own, heif.max_length, heif.measure(own, 0, f.size()));
    const size_t meta = top_box(f, "meta") + 16;
    EXPECT_EQ(splicer->unchecked_to(own, meta), meta);
    int inside = 0;
    for (size_t k = 1; k < 8; ++k) {
      const size_t at = f.size() * k / 8 / 4096 * 4096;
      const uint64_t to = splicer->unchecked_to(own, at);
      SCOPED_TRACE(at);
      ASSERT_GE(to, at);
      if (to == at) continue;
      ++inside;
      for (const Bytes* rest : {&noisy, &zeros, &other, &f}) {
        Bytes b(f.begin(), f.begin() + at);
        b.insert(b.end(), rest->begin(), rest->begin() + std::min(rest->size(), f.size() - at));
        b.resize(f.size());
        MemorySource src(b.data(), b.size());
        const Carve c = splicer->measure(src, at, to - 1);
        EXPECT_TRUE(c.verdict != Verdict::complete && c.length <= to - 1) << c.length;
        if (rest == &noisy) EXPECT_EQ(c.length, to - 1);
      }
    }
    // Only an AV1 picture's units are all read (their headers and sizes in each).
    EXPECT_EQ(inside > 0, std::string(name).find(".avif") == std::string::npos);
  }
}

}  // namespace
}  // namespace kes::test
