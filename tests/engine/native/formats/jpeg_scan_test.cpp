// The table-driven scan validator against a plain bit-at-a-time decoder, over damaged
// copies of sequential samples: both must stop in the same MCU. Also built with the
// 32-bit bit buffer of the Windows engine (jpeg_narrow_test).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/jpeg_seam.h"
#include "formats/jpeg_walk.h"

namespace kes::jpeg {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes load(const std::string& name) {
  std::ifstream in(std::string(KES_MEDIA_DIR) + "/" + name, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Entropy-coded bits one at a time: stuffed bytes undone, zeros (and `overran`) after a
// marker, the end of the data or when reading enters a zeroed sector.
class PlainBits {
 public:
  PlainBits(const Bytes& d, size_t pos) : d_(d), pos_(pos), sector_((pos + 511) & ~size_t(511)) {}
  int bit() {
    if (left_ == 0 && !next_byte()) {
      overran = true;
      return 0;
    }
    --left_;
    return cur_ >> left_ & 1;
  }
  int bits(int n) {
    int v = 0;
    while (n-- > 0) v = v << 1 | bit();
    return v;
  }
  int decode(const HuffTable& t) {
    int32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
      code = code << 1 | bit();
      int v = t.value_of(len, code);
      if (v >= 0) return v;
    }
    return -1;
  }
  // Drops the rest of the byte and reads the restart marker that must follow.
  bool restart(int expected) {
    left_ = 0;
    if (pos_ + 1 >= d_.size() || d_[pos_] != 0xFF || d_[pos_ + 1] != 0xD0 + expected) return false;
    pos_ += 2;
    return true;
  }
  bool overran = false;

 private:
  bool next_byte() {
    if (stopped_ || pos_ >= d_.size()) return stopped_ = true, false;
    for (; sector_ <= pos_; sector_ += 512) {
      bool zero = sector_ + 512 <= d_.size();
      for (size_t i = sector_; i < sector_ + 512 && zero; ++i) zero = d_[i] == 0;
      if (zero) return stopped_ = true, false;
    }
    uint8_t c = d_[pos_];
    if (c == 0xFF) {
      if (pos_ + 1 >= d_.size() || d_[pos_ + 1] != 0) return stopped_ = true, false;
      ++pos_;
    }
    ++pos_;
    cur_ = c;
    left_ = 8;
    return true;
  }
  const Bytes& d_;
  size_t pos_;
  size_t sector_;  // the next sector start not yet looked at
  int left_ = 0;
  uint8_t cur_ = 0;
  bool stopped_ = false;
};

bool plain_block(PlainBits& in, const HuffTable& dc, const HuffTable& ac) {
  int s = in.decode(dc);
  if (s < 0 || s > 11) return false;
  in.bits(s);
  for (int k = 1; k < 64;) {
    int rs = in.decode(ac);
    if (rs < 0) return false;
    int r = rs >> 4;
    s = rs & 15;
    if (s == 0) {
      if (r != 15) return true;
      k += 16;
      if (k > 64) return false;
      continue;
    }
    k += r;
    if (k > 63 || s > 10) return false;
    in.bits(s);
    ++k;
  }
  return true;
}

// MCUs of the scan at `data` decoded in full.
uint64_t plain_mcus(const Bytes& d, size_t data, const DecodeState& st) {
  uint64_t mx = (st.width + 8u * st.hmax - 1) / (8u * st.hmax);
  uint64_t my = (st.height + 8u * st.vmax - 1) / (8u * st.vmax);
  uint64_t total = st.ns == 1 ? uint64_t(st.comp[st.scomp[0]].blocks_w) * st.comp[st.scomp[0]].blocks_h : mx * my;
  PlainBits in(d, data);
  for (uint64_t mcu = 0; mcu < total; ++mcu) {
    if (st.restart_interval && mcu > 0 && mcu % st.restart_interval == 0 &&
        !in.restart(int(mcu / st.restart_interval - 1) & 7))
      return mcu;
    for (int i = 0; i < st.ns; ++i) {
      const Component& c = st.comp[st.scomp[i]];
      for (int b = 0; b < (st.ns == 1 ? 1 : c.h * c.v); ++b)
        if (!plain_block(in, st.dc[st.td[i]], st.ac[st.ta[i]]) || in.overran) return mcu;
    }
  }
  return total;
}

size_t scan_data(const Bytes& d) {
  for (size_t i = 2; i + 4 < d.size(); ++i)
    if (d[i] == 0xFF && d[i + 1] == 0xDA) return i + 2 + (d[i + 2] << 8 | d[i + 3]);
  return 0;
}

Walk walk_bytes(const Bytes& d, DecodeState* st = nullptr) {
  MemorySource src(d.data(), d.size());
  Cursor cur(src, 0, d.size());
  return walk(cur, 0, false, st);
}

// Damage of the kinds cards hold: flipped bits, foreign bytes, zeroed sectors, cuts, markers.
Bytes damaged(const Bytes& file, size_t from, size_t to, std::mt19937& rng) {
  Bytes d = file;
  size_t at = from + rng() % (to - from);
  switch (rng() % 5) {
    case 0: d[at] ^= uint8_t(1u << rng() % 8); break;
    case 1: for (size_t i = at; i < std::min(to, at + 300); ++i) d[i] = uint8_t(rng()); break;
    case 2: for (size_t i = (at + 511) & ~size_t(511); i < std::min(to, ((at + 511) & ~size_t(511)) + 1024); ++i) d[i] = 0; break;
    case 3: d.resize(at); break;
    default: d[at] = 0xFF; d[at + 1] = uint8_t(0xD0 + rng() % 10); break;
  }
  return d;
}

TEST(JpegScan, StopsInTheSameMcuAsAPlainDecoder) {
  std::mt19937 rng(1234);
  for (const char* name : {"jpg_baseline.jpg", "jpg_gray.jpg", "jpg_444.jpg", "jpg_big.jpg", "jpg_422_odd.jpg",
                           "jpg_restart.jpg", "jpg_cmyk.jpg"}) {
    SCOPED_TRACE(name);
    Bytes file = load(name);
    if (file.empty() && (std::string(name) == "jpg_restart.jpg" || std::string(name) == "jpg_cmyk.jpg"))
      continue;  // made by the libjpeg-based maker, missing without libjpeg
    ASSERT_GT(file.size(), 1000u);
    DecodeState st;
    ASSERT_EQ(walk_bytes(file, &st).verdict, Verdict::complete);
    ASSERT_FALSE(st.progressive);
    size_t data = scan_data(file);
    ASSERT_GT(data, 0u);
    uint64_t total = plain_mcus(file, data, st);
    int truncated = 0;
    for (int round = 0; round < 150; ++round) {
      Bytes d = damaged(file, data, file.size() - 2, rng);
      DecodeState fresh;  // a walk given a state always decodes
      Walk w = walk_bytes(d, &fresh);
      uint64_t want = plain_mcus(d, data, st);
      SCOPED_TRACE(round);
      if (w.verdict == Verdict::complete || w.scan_data == 0) {  // the scan itself held
        EXPECT_EQ(want, total);
      } else {
        ASSERT_EQ(w.scan_data, data);
        EXPECT_EQ(w.scan_mcus, want);
        truncated += want < total;
      }
    }
    EXPECT_GT(truncated, 50);  // the damage did reach the decoding
  }
}

// The medium as a fragment search sees it: the file's bytes up to `seam`, then the
// bytes from `from` on, at the offsets they would have in the whole file.
class Spliced : public ByteSource {
 public:
  Spliced(const Bytes& d, size_t seam, size_t from) : d_(d), seam_(seam), from_(from) {}
  uint64_t size() const override { return seam_ + (d_.size() - from_); }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    for (; done < n && off + done < size(); ++done) {
      uint64_t at = off + done;
      out[done] = at < seam_ ? d_[at] : d_[from_ + (at - seam_)];
    }
    return done;
  }

 private:
  const Bytes& d_;
  size_t seam_, from_;
};

size_t last_scan_data(const Bytes& d) {
  size_t data = 0;
  for (size_t i = 2; i + 4 < d.size(); ++i)
    if (d[i] == 0xFF && d[i + 1] == 0xDA) data = i + 2 + (d[i + 2] << 8 | d[i + 3]);
  return data;
}

// A file cut at a cluster boundary inside its last scan, a foreign cluster, then the
// rest: the walk stops in the foreign cluster; resuming from the checkpoint before the
// seam over wrong continuations stops short, over the right one (after the wrong ones,
// whose traces must be gone) it reaches the end. The trail, frozen after the walk, keeps
// its checkpoints past one that a resume started from, unless masks changed after it.
TEST(JpegScan, ResumesFromACheckpointOverCandidateContinuations) {
  const size_t cluster = 1024;
  for (const char* name : {"jpg_big.jpg", "jpg_progressive.jpg", "jpg_restart.jpg", "jpg_progressive_restart.jpg"}) {
    SCOPED_TRACE(name);
    Bytes file = load(name);
    if (file.empty() && std::string(name).find("restart") != std::string::npos) continue;  // libjpeg maker
    size_t data = last_scan_data(file);
    size_t seam = (data + (file.size() - data) / 2) / cluster * cluster;
    ASSERT_GT(seam, data + 64);
    ASSERT_LT(seam + cluster, file.size());
    Bytes medium(file.begin(), file.begin() + seam);
    Bytes foreign = Bytes(cluster, 0x5A);
    std::mt19937 rng(seam);
    for (auto& c : foreign) c = uint8_t(rng() % 255);  // noise without 0xFF
    medium.insert(medium.end(), foreign.begin(), foreign.end());
    const size_t right = medium.size();
    medium.insert(medium.end(), file.begin() + seam, file.end());
    const size_t noise_at = medium.size();
    for (size_t i = 0; i < 3 * cluster; ++i) medium.push_back(uint8_t(rng()));
    const size_t zeros_at = medium.size();
    medium.resize(medium.size() + 3 * cluster);
    const size_t same_tables = right + (file.size() - seam) / 3 + 5;  // the file's own data, elsewhere

    DecodeState st;
    st.trail.enable(1024);
    MemorySource src(medium.data(), medium.size());
    Cursor cur(src, 0, medium.size());
    Walk w = walk(cur, 0, false, &st);
    ASSERT_EQ(w.verdict, Verdict::truncated);
    ASSERT_EQ(w.scan_data, data);
    st.trail.freeze();
    ASSERT_NE(st.trail.at_or_before(seam), nullptr);
    const Checkpoint near = *st.trail.at_or_before(seam);
    EXPECT_GT(near.pos + 2 * 1024, seam);  // decoding goes on from near the seam
    const Checkpoint* early = st.trail.at_or_before(data);  // the scan's first
    ASSERT_NE(early, nullptr);
    for (const Checkpoint from_cp : {*early, near}) {
      for (size_t from : {noise_at, zeros_at, same_tables}) {
        Spliced view(medium, seam, from);
        ScanResult r = resume_scan(view, view.size(), st, from_cp);
        EXPECT_NE(r.why, Stop::end_of_scan) << "continuation at " << from;
        EXPECT_GE(r.valid_end, near.pos - 64);
        rewind(st, from_cp);
      }
      if (!st.progressive) EXPECT_EQ(st.trail.at_or_before(seam)->pos, near.pos);
      const Checkpoint* cp = st.trail.at_or_before(seam);
      Spliced view(medium, seam, right);
      ScanResult r = resume_scan(view, view.size(), st, *cp);
      EXPECT_EQ(r.why, Stop::end_of_scan);
      EXPECT_EQ(r.marker_pos, file.size() - 2);  // the EOI
      EXPECT_EQ(r.mcus, scan_mcus(st));
      rewind(st, *cp);
    }
  }
}

// A candidate decoded once, traced as it goes (follow, then the decoder on from the last
// MCU traced), gives what decoding it to its end and then tracing it gives: the same
// seam, or where and why the data stops. Two shots of one camera (whose data decodes as
// each other's), with and without restart markers, spliced at every cluster boundary
// of the scan onto the other shot, the own data further on, noise and zeros.
TEST(JpegScan, ACandidateTracedAsItDecodesEndsAsOneTracedAfter) {
  const size_t cluster = 4096;
  int seams = 0, traced = 0;
  for (const auto& names : {std::make_pair("jpg_shot_a.jpg", "jpg_shot_b.jpg"),
                            std::make_pair("jpg_shot_a_restart.jpg", "jpg_shot_b.jpg"),
                            std::make_pair("jpg_shot_b.jpg", "jpg_shot_a_restart.jpg")}) {
    SCOPED_TRACE(names.first);
    const Bytes own = load(names.first), other = load(names.second);
    std::mt19937 rng(7);
    Bytes noise(own.size());
    for (auto& c : noise) c = uint8_t(rng() % 255);
    const size_t data = last_scan_data(own);
    for (size_t at = (data / cluster + 1) * cluster; at + 2 * cluster < own.size(); at += cluster) {
      SCOPED_TRACE(at);
      // The file up to the splice, then the candidates: noise, the other shot's data, the
      // own data a cluster on, the right continuation but for a restart marker numbered
      // wrong well past it, zeros.
      Bytes medium(own.begin(), own.begin() + at);
      const size_t noise_at = medium.size();
      medium.insert(medium.end(), noise.begin(), noise.end());
      const size_t other_at = medium.size() + (at * 7 % (other.size() / 2)) / cluster * cluster;
      medium.insert(medium.end(), other.begin(), other.end());
      const size_t own_at = medium.size();
      medium.insert(medium.end(), own.begin() + at + cluster, own.end());
      const size_t renumbered_at = medium.size();
      medium.insert(medium.end(), own.begin() + at, own.end());
      for (size_t i = renumbered_at + 8192; i + 1 < medium.size(); ++i)
        if (medium[i] == 0xFF && medium[i + 1] >= 0xD0 && medium[i + 1] <= 0xD7) {
          medium[i + 1] = 0xD0 + (medium[i + 1] + 3) % 8;
          break;
        }
      const size_t zeros_at = medium.size();
      medium.resize(medium.size() + 4 * cluster);

      DecodeState st;
      st.trail.enable(256);
      MemorySource src(medium.data(), medium.size());
      Cursor cur(src, 0, medium.size());
      walk(cur, 0, true, &st);
      st.trail.freeze();
      const Checkpoint* cp = st.trail.at_or_before(at);
      ASSERT_NE(cp, nullptr);
      const Checkpoint from = *cp;
      const uint64_t window = SeamFinder::window(st);
      ASSERT_GT(window, 0u);
      SeamFinder twice, once;
      for (size_t cand : {noise_at, other_at, own_at, renumbered_at, zeros_at}) {
        Spliced view(medium, at, cand);
        const uint64_t limit = std::min<uint64_t>(view.size(), at + 64 * 1024);
        const ScanResult r = resume_scan(view, limit, st, from);
        Seam want, got;
        const bool seam = r.valid_end > at && twice.find(view, limit, st, at, cluster, r.valid_end, r.mcus, want);
        rewind(st, from);
        ScanResult q = resume_scan(view, limit, st, from, from.mcu + window);
        bool shown = false;
        if (q.why == Stop::paused) {
          ++traced;
          Checkpoint resume = from;
          shown = once.follow(view, limit, st, at, cluster, got, resume);
          if (!shown) {
            q = resume_scan(view, limit, st, resume);
            shown = q.valid_end > at && once.find_followed(view, limit, st, q.valid_end, q.mcus, got);
          }
        }
        rewind(st, from);
        ASSERT_EQ(shown, seam) << "candidate at " << cand;
        if (seam) {
          EXPECT_EQ(std::make_pair(got.valid_end, got.broken_at), std::make_pair(want.valid_end, want.broken_at));
          ++seams;
        } else {
          EXPECT_EQ(std::make_tuple(q.why, q.valid_end, q.mcus, q.marker_pos),
                    std::make_tuple(r.why, r.valid_end, r.mcus, r.marker_pos));
        }
      }
    }
  }
  EXPECT_GT(seams, 20);  // the other shot's data does show its seam
  EXPECT_GT(traced, seams + 20);  // and others are traced as far as they decode
}

}  // namespace
}  // namespace kes::jpeg
