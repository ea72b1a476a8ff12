#include "formats/jpeg_scan.h"
#include "formats/jpeg_walk.h"

#include <algorithm>
#include <cstring>

namespace kes::jpeg {

bool build_table(HuffTable& t, const uint8_t counts[16], const uint8_t* vals, int nvals) {
  t = HuffTable{};
  int total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256 || total != nvals) return false;
  std::copy(vals, vals + nvals, t.vals);
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t.valptr[len] = k;
    t.mincode[len] = code;
    for (int i = 0; i < counts[len - 1]; ++i) {
      if (code >= (int32_t(1) << len)) return false;  // more codes than the length holds
      if (len <= 9) {
        int base = code << (9 - len);
        for (int j = 0; j < (1 << (9 - len)); ++j) {
          t.fast[base + j] = static_cast<uint16_t>(len << 8 | t.vals[k]);
          t.fast_skip[base + j] = static_cast<uint16_t>((len + (t.vals[k] & 15)) << 8 | t.vals[k]);
        }
      }
      ++code;
      ++k;
    }
    t.maxcode[len] = counts[len - 1] ? code - 1 : -1;
    code <<= 1;
  }
  t.defined = true;
  return true;
}

bool parse_frame(DecodeState& st, uint8_t marker, const uint8_t* p, size_t len) {
  if (len < 6) return false;
  int nf = p[5];
  if (nf < 1 || nf > 4 || len != 6 + 3 * size_t(nf)) return false;
  st.sof = marker;
  st.precision = p[0];
  st.height = be16(p + 1);
  st.width = be16(p + 3);
  st.lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
  st.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
  // Arithmetic coding and hierarchical frames are followed at marker level only.
  st.arithmetic = marker >= 0xC9 || (marker >= 0xC5 && marker <= 0xC7);
  if (st.width == 0) return false;
  if (st.lossless ? (st.precision < 2 || st.precision > 16) : (st.precision != 8 && st.precision != 12))
    return false;
  st.ncomp = nf;
  st.hmax = st.vmax = 1;
  for (int i = 0; i < nf; ++i) {
    Component& c = st.comp[i];
    c.id = p[6 + 3 * i];
    c.h = p[7 + 3 * i] >> 4;
    c.v = p[7 + 3 * i] & 15;
    c.tq = p[8 + 3 * i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return false;
    for (int j = 0; j < i; ++j)
      if (st.comp[j].id == c.id) return false;
    st.hmax = std::max<int>(st.hmax, c.h);
    st.vmax = std::max<int>(st.vmax, c.v);
  }
  for (int i = 0; i < nf; ++i) {
    Component& c = st.comp[i];
    uint32_t cw = (uint32_t(st.width) * c.h + st.hmax - 1) / st.hmax;
    uint32_t ch = (uint32_t(st.height) * c.v + st.vmax - 1) / st.vmax;
    c.blocks_w = (cw + 7) / 8;
    c.blocks_h = (ch + 7) / 8;
    st.nonzero[i].clear();
    st.coef_known[i] = false;
  }
  return true;
}

bool parse_scan(DecodeState& st, const uint8_t* p, size_t len) {
  if (len < 1) return false;
  int ns = p[0];
  if (ns < 1 || ns > st.ncomp || len != 4 + 2 * size_t(ns)) return false;
  int blocks = 0;
  for (int i = 0; i < ns; ++i) {
    int idx = -1;
    for (int j = 0; j < st.ncomp; ++j)
      if (st.comp[j].id == p[1 + 2 * i]) idx = j;
    if (idx < 0) return false;
    for (int j = 0; j < i; ++j)
      if (st.scomp[j] == idx) return false;
    st.scomp[i] = idx;
    st.td[i] = p[2 + 2 * i] >> 4;
    st.ta[i] = p[2 + 2 * i] & 15;
    if (st.td[i] > 3 || st.ta[i] > 3) return false;
    blocks += st.comp[idx].h * st.comp[idx].v;
  }
  if (ns > 1 && blocks > 10) return false;
  st.ns = ns;
  const uint8_t* q = p + 1 + 2 * ns;
  st.ss = q[0];
  st.se = q[1];
  st.ah = q[2] >> 4;
  st.al = q[2] & 15;
  if (st.arithmetic || st.lossless) return true;
  if (st.progressive) {
    if (st.ss > st.se || st.se > 63) return false;
    if (st.ss == 0 && st.se != 0) return false;
    if (st.ss > 0 && ns != 1) return false;
  } else if (st.ss != 0 || st.se != 63) {
    return false;
  }
  for (int i = 0; i < ns; ++i) {
    bool dc_first = st.ss == 0 && st.ah == 0;
    if (dc_first && !st.dc[st.td[i]].defined) return false;
    if (st.se > 0 && !st.ac[st.ta[i]].defined) return false;
  }
  return true;
}

namespace {

constexpr uint64_t kMaxMaskBlocks = uint64_t(1) << 23;  // 64 MiB of masks at most
constexpr uint64_t kStrayBytes = 16;  // tolerated between a scan's last MCU and its marker

// Decodes one Huffman code from the top `n` bits of `bits` (n >= 16); -1 for none.
int huff_slow(const HuffTable& t, uint64_t bits, int& n) {
  for (int len = 10; len <= 16; ++len) {
    int32_t code = static_cast<int32_t>((bits >> (n - len)) & ((1u << len) - 1));
    if (code <= t.maxcode[len]) {
      n -= len;
      return t.vals[t.valptr[len] + code - t.mincode[len]];
    }
  }
  return -1;
}

inline int huff_decode(const HuffTable& t, uint64_t bits, int& n) {
  uint16_t e = t.fast[static_cast<uint32_t>(bits >> (n - 9)) & 511];
  if (e) {
    n -= e >> 8;
    return e & 255;
  }
  return huff_slow(t, bits, n);
}

// Decodes a code and skips the extra bits after it (their count is the value's low
// nibble); n >= 32 on entry.
inline int decode_skip(const HuffTable& t, uint64_t bits, int& n) {
  uint16_t e = t.fast_skip[static_cast<uint32_t>(bits >> (n - 9)) & 511];
  if (e) {
    n -= e >> 8;
    return e & 255;
  }
  int v = huff_slow(t, bits, n);
  if (v >= 0) n -= v & 15;
  return v;
}

class ScanValidator;

// MSB-first bit reader over entropy-coded bytes. Once a marker or the end of the data
// is reached it feeds zero bits and counts them, so that a decode which runs into them
// can be told apart from one that stayed inside the data.
class BitReader {
 public:
  BitReader(Cursor& cur, uint64_t pos) : cur_(cur) { seek(pos); }

  void seek(uint64_t pos) {
    base_ = pos;
    ptr_ = p_ = end_ = lim_ = nullptr;
    next_check_ = (pos + 511) & ~uint64_t(511);
    bits_ = 0;
    nbits_ = pad_ = 0;
    stopped_ = marker_ = false;
  }
  void fill() {
    while (nbits_ <= 56) {
      if (stopped_) {
        push(0);
        pad_ += 8;
        continue;
      }
      if (p_ >= lim_ && !boundary()) {
        stopped_ = true;
        continue;
      }
      if (lim_ - p_ >= 8) {
        // Eight bytes at once when none of them is 0xFF (the usual case).
        uint64_t w = be64(p_);
        uint64_t inv = ~w;
        if (((inv - 0x0101010101010101ull) & ~inv & 0x8080808080808080ull) == 0) {
          int k = (64 - nbits_) / 8;
          bits_ = k == 8 ? w : (bits_ << (8 * k)) | (w >> (64 - 8 * k));
          nbits_ += 8 * k;
          p_ += k;
          continue;
        }
      }
      uint8_t b = *p_;
      if (b != 0xFF) {
        ++p_;
        push(b);
        continue;
      }
      if (end_ - p_ < 2 && !respan2()) {  // a lone 0xFF at the very end
        stopped_ = true;
        continue;
      }
      if (p_[1] == 0) {
        p_ += 2;
        push(0xFF);
        continue;
      }
      marker_ = true;
      stopped_ = true;
      marker_pos_ = here();
    }
  }
  void ensure() {
    if (nbits_ < 32) fill();
  }
  int decode(const HuffTable& t) { return huff_decode(t, bits_, nbits_); }
  void skip(int n) { nbits_ -= n; }
  uint32_t get(int n) {
    nbits_ -= n;
    return static_cast<uint32_t>(bits_ >> nbits_) & ((1u << n) - 1);
  }
  // Whether decoding has eaten into the zero bits fed after the data.
  bool overran() const { return nbits_ < pad_; }
  int real_bits() const { return nbits_ - pad_; }
  // Byte position of the next bit not yet decoded (at most a few bytes early where
  // stuffed 0xFF00 pairs are still buffered).
  uint64_t consumed_pos() const {
    uint64_t h = here();
    uint64_t back = static_cast<uint64_t>(std::max(real_bits(), 0)) / 8;
    return back <= h ? h - back : 0;
  }
  uint64_t here() const { return base_ + static_cast<uint64_t>(p_ - ptr_); }
  bool marker() const { return marker_; }
  uint64_t marker_pos() const { return marker_pos_; }
  bool stopped() const { return stopped_; }

 private:
  friend class ScanValidator;
  void push(uint8_t b) {
    bits_ = bits_ << 8 | b;
    nbits_ += 8;
  }
  // Slow path of fill(): a new buffer span, and at every sector boundary a look for a
  // zeroed sector, which real entropy-coded data never holds but cards are full of.
  bool boundary() {
    if (p_ == end_ && !respan()) return false;
    uint64_t h = here();
    if (next_check_ < h) next_check_ = (h + 511) & ~uint64_t(511);  // stepped over by a 0xFF00
    if (h == next_check_) {
      next_check_ += 512;
      const uint8_t* s = cur_.get(h, 512);
      if (s && zero_sector(s)) return false;
      if (!respan()) return false;
    }
    set_lim();
    return true;
  }
  void set_lim() {
    uint64_t h = here();
    if (next_check_ < h) next_check_ = (h + 511) & ~uint64_t(511);
    uint64_t room = next_check_ - h;
    lim_ = room < static_cast<uint64_t>(end_ - p_) ? p_ + room : end_;
  }
  static bool zero_sector(const uint8_t* s) {
    if (s[0] | s[1] | s[7] | s[100] | s[511]) return false;
    for (int i = 0; i < 512; ++i)
      if (s[i]) return false;
    return true;
  }
  bool respan() {
    base_ = here();
    ptr_ = p_;  // keeps here() right should the read below fail
    size_t avail = 0;
    const uint8_t* s = cur_.span(base_, &avail);
    if (!s) return false;
    ptr_ = p_ = s;
    end_ = s + avail;
    set_lim();
    return true;
  }
  bool respan2() {
    base_ = here();
    ptr_ = p_;  // keeps here() right should the read below fail
    const uint8_t* s = cur_.get(base_, 2);
    if (!s) return false;
    size_t avail = 0;
    s = cur_.span(base_, &avail);
    ptr_ = p_ = s;
    end_ = s + avail;
    set_lim();
    return true;
  }

  Cursor& cur_;
  uint64_t base_ = 0;  // position of ptr_
  const uint8_t* ptr_ = nullptr;
  const uint8_t* p_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* lim_ = nullptr;  // end_ or the next sector boundary, whichever is first
  uint64_t next_check_ = 0;
  uint64_t bits_ = 0;
  int nbits_ = 0, pad_ = 0;
  bool stopped_ = false, marker_ = false;
  uint64_t marker_pos_ = 0;
};

class ScanValidator {
 public:
  ScanValidator(Cursor& cur, uint64_t pos, DecodeState& st) : cur_(cur), st_(st), br_(cur, pos) {
    maxdc_ = st.precision > 8 ? 15 : 11;
    maxac_ = st.precision > 8 ? 14 : 10;
  }

  ScanResult run() {
    ScanResult r;
    if (st_.arithmetic || st_.lossless || !prepare_masks()) return marker_level();
    uint64_t total = total_mcus();
    uint32_t ri = st_.restart_interval;
    int next_rst = 0;
    for (uint64_t mcu = 0; mcu < total; ++mcu) {
      if (ri && mcu > 0 && mcu % ri == 0) {
        Stop why;
        if (!restart(next_rst, why)) {
          r.why = why;
          r.valid_end = why == Stop::early_marker ? br_.marker_pos() : br_.consumed_pos();
          r.mcus = mcu;
          return r;
        }
        next_rst = (next_rst + 1) & 7;
      }
      uint64_t mcu_start = br_.consumed_pos();
      Stop why = Stop::end_of_scan;
      bool ok = decode_mcu(mcu, why);
      if (ok && br_.overran()) ok = false;
      if (!ok) {
        if (br_.overran()) why = br_.marker() ? Stop::early_marker : Stop::end_of_data;
        // An unknown height (a DNL segment) ends the scan at a marker between MCUs.
        if (st_.height == 0 && why == Stop::early_marker && mcu > 0 && br_.real_bits() < 8 &&
            mcu_start + 1 >= br_.marker_pos()) {
          r.why = Stop::end_of_scan;
          r.marker_pos = br_.marker_pos();
          r.valid_end = r.marker_pos;
          r.mcus = mcu;
          return r;
        }
        r.why = why;
        r.valid_end = mcu_start;
        r.mcus = mcu;
        return r;
      }
    }
    r.mcus = total;
    return finish(r);
  }

 private:
  uint64_t total_mcus() const {
    if (st_.height == 0) return UINT64_MAX;
    if (st_.ns == 1) {
      const Component& c = st_.comp[st_.scomp[0]];
      return uint64_t(c.blocks_w) * c.blocks_h;
    }
    uint64_t mx = (st_.width + 8u * st_.hmax - 1) / (8u * st_.hmax);
    uint64_t my = (st_.height + 8u * st_.vmax - 1) / (8u * st_.vmax);
    return mx * my;
  }

  // Progressive AC scans track the non-zero coefficients of every block of their
  // component; a frame too large for that is followed at marker level.
  bool prepare_masks() {
    if (!st_.progressive || st_.se == 0) return true;
    int ci = st_.scomp[0];
    Component& c = st_.comp[ci];
    uint64_t n = uint64_t(c.blocks_w) * c.blocks_h;
    if (st_.height == 0 || n > kMaxMaskBlocks) return false;
    if (st_.nonzero[ci].size() != n) {
      if (st_.ah != 0) return false;  // refinement without the first pass's masks
      st_.nonzero[ci].assign(n, 0);
      st_.coef_known[ci] = true;
    }
    return st_.coef_known[ci];
  }

  ScanResult marker_level() {
    ScanResult r;
    uint64_t m = next_marker(cur_, br_.here());
    if (m == UINT64_MAX) {
      r.why = Stop::end_of_data;
      r.valid_end = cur_.limit();
      return r;
    }
    r.why = Stop::end_of_scan;
    r.marker_pos = r.valid_end = m;
    return r;
  }

  bool restart(int expected, Stop& why) {
    br_.fill();
    if (!br_.marker()) {
      why = br_.stopped() ? Stop::end_of_data : Stop::bad_restart;
      return false;
    }
    if (br_.real_bits() >= 8) {
      why = Stop::bad_restart;
      return false;
    }
    uint8_t code = 0;
    uint64_t after = 0;
    if (!marker_at(cur_, br_.marker_pos(), code, after)) {
      why = Stop::end_of_data;
      return false;
    }
    if (code < 0xD0 || code > 0xD7) {
      why = Stop::early_marker;
      return false;
    }
    if (code != 0xD0 + expected) {
      why = Stop::bad_restart;
      return false;
    }
    br_.seek(after);
    eobrun_ = 0;
    return true;
  }

  ScanResult finish(ScanResult r) {
    br_.fill();
    uint64_t from = br_.here();
    if (br_.marker() && br_.real_bits() < 8) {
      from = br_.marker_pos();
      uint8_t code = 0;
      uint64_t after = 0;
      if (marker_at(cur_, from, code, after) && !(code >= 0xD0 && code <= 0xD7)) {
        r.why = Stop::end_of_scan;
        r.marker_pos = r.valid_end = from;
        return r;
      }
    }
    if (!br_.marker() || br_.real_bits() >= 8) {
      // Data left over after the last MCU. A few stray bytes are some encoders' padding;
      // more mean the decoding went astray somewhere before.
      uint64_t done = br_.consumed_pos();
      uint64_t m = next_marker(cur_, done);
      if (m != UINT64_MAX && m - done <= kStrayBytes) {
        r.why = Stop::end_of_scan;
        r.marker_pos = r.valid_end = m;
        return r;
      }
      r.why = br_.stopped() && !br_.marker() ? Stop::end_of_data : Stop::bad_code;
      r.valid_end = done;
      return r;
    }
    // A restart marker after the last MCU: the scan ends at the next other marker.
    uint64_t m = next_marker(cur_, from);
    if (m == UINT64_MAX) {
      r.why = Stop::end_of_data;
      r.valid_end = from;
      return r;
    }
    r.why = Stop::end_of_scan;
    r.marker_pos = r.valid_end = m;
    return r;
  }

  bool decode_mcu(uint64_t mcu, Stop& why) {
    for (int i = 0; i < st_.ns; ++i) {
      const Component& c = st_.comp[st_.scomp[i]];
      int blocks = st_.ns == 1 ? 1 : c.h * c.v;
      for (int b = 0; b < blocks; ++b) {
        bool ok;
        if (!st_.progressive)
          ok = sequential_block(st_.dc[st_.td[i]], st_.ac[st_.ta[i]], why);
        else if (st_.ss == 0)
          ok = st_.ah == 0 ? dc_first(st_.dc[st_.td[i]], why) : dc_refine();
        else if (st_.ah == 0)
          ok = ac_first(st_.ac[st_.ta[i]], st_.nonzero[st_.scomp[i]][mcu], why);
        else
          ok = ac_refine(st_.ac[st_.ta[i]], st_.nonzero[st_.scomp[i]][mcu], why);
        if (!ok) return false;
      }
      if (br_.overran()) return false;
    }
    return true;
  }

  bool dc_value(const HuffTable& dc, Stop& why) {
    br_.ensure();
    int s = dc.defined ? br_.decode(dc) : -1;
    if (s < 0) return fail(why, Stop::bad_code);
    if (s > maxdc_) return fail(why, Stop::bad_coefficient);
    br_.skip(s);
    return true;
  }

  // The hot loop: the bit buffer lives in registers and goes back to the reader only
  // around refills and at the end.
  bool sequential_block(const HuffTable& dc, const HuffTable& ac, Stop& why) {
#define KES_REFILL()      \
  do {                    \
    br_.nbits_ = n;       \
    br_.fill();           \
    bits = br_.bits_;     \
    n = br_.nbits_;       \
  } while (0)
    uint64_t bits = br_.bits_;
    int n = br_.nbits_;
    const int maxac = maxac_;
    if (n < 32) KES_REFILL();
    int s = dc.defined ? decode_skip(dc, bits, n) : -1;
    if (s < 0 || s > maxdc_) {
      br_.nbits_ = n;
      why = s < 0 ? Stop::bad_code : Stop::bad_coefficient;
      return false;
    }
    for (int k = 1; k < 64;) {
      if (n < 32) KES_REFILL();
      int rs = decode_skip(ac, bits, n);
      if (rs < 0) {
        br_.nbits_ = n;
        why = Stop::bad_code;
        return false;
      }
      if ((rs & 15) == 0) {
        if (rs != 0xF0) break;  // end of block
        k += 16;                // sixteen zeros
      } else {
        k += (rs >> 4) + 1;
      }
      if (k > 64 || (rs & 15) > maxac) {
        br_.nbits_ = n;
        why = Stop::bad_coefficient;
        return false;
      }
    }
    br_.nbits_ = n;
    return true;
#undef KES_REFILL
  }

  bool dc_first(const HuffTable& dc, Stop& why) { return dc_value(dc, why); }

  bool dc_refine() {
    br_.ensure();
    br_.skip(1);
    return true;
  }

  bool ac_first(const HuffTable& ac, uint64_t& nz, Stop& why) {
    if (eobrun_ > 0) {
      --eobrun_;
      return true;
    }
    for (int k = st_.ss; k <= st_.se;) {
      br_.ensure();
      int rs = br_.decode(ac);
      if (rs < 0) return fail(why, Stop::bad_code);
      int r = rs >> 4, s = rs & 15;
      if (s) {
        k += r;
        if (k > st_.se || s > maxac_) return fail(why, Stop::bad_coefficient);
        br_.skip(s);
        nz |= uint64_t(1) << k;
        ++k;
      } else if (r == 15) {
        k += 16;
        if (k > st_.se + 1) return fail(why, Stop::bad_coefficient);
      } else {
        eobrun_ = (1u << r) - 1;
        if (r) eobrun_ += br_.get(r);
        break;
      }
    }
    return true;
  }

  // Coefficient positions a..b (inclusive) as a mask; empty when a > b.
  static uint64_t band(int a, int b) {
    if (a > b || a > 63) return 0;
    uint64_t from = ~uint64_t(0) << a;
    uint64_t to = b >= 63 ? ~uint64_t(0) : (uint64_t(1) << (b + 1)) - 1;
    return from & to;
  }

  // Skips one correction bit for each coefficient of `mask` that is already non-zero.
  void corrections(uint64_t nz, uint64_t mask) {
    int left = __builtin_popcountll(nz & mask);
    while (left > 0) {
      br_.ensure();
      int t = left < 24 ? left : 24;
      br_.skip(t);
      left -= t;
    }
  }

  // Refinement of the AC band: a new coefficient lands after `r` zero-history
  // positions, passing over non-zero ones that each take a correction bit.
  bool ac_refine(const HuffTable& ac, uint64_t& nz, Stop& why) {
    const int se = st_.se;
    int k = st_.ss;
    if (eobrun_ == 0) {
      while (k <= se) {
        br_.ensure();
        int rs = br_.decode(ac);
        if (rs < 0) return fail(why, Stop::bad_code);
        int r = rs >> 4, s = rs & 15;
        if (s) {
          if (s != 1) return fail(why, Stop::bad_coefficient);
          br_.skip(1);
        } else if (r != 15) {
          eobrun_ = 1u << r;
          if (r) eobrun_ += br_.get(r);
          break;
        }
        uint64_t zeros = ~nz & band(k, se);
        for (int i = 0; i < r && zeros; ++i) zeros &= zeros - 1;
        int stop = zeros ? __builtin_ctzll(zeros) : se + 1;
        corrections(nz, band(k, stop - 1));
        k = stop;
        if (s) {
          if (k > se) return fail(why, Stop::bad_coefficient);
          nz |= uint64_t(1) << k;
        }
        ++k;
      }
    }
    if (eobrun_ > 0) {
      // Inside an end-of-band run every non-zero coefficient left takes one correction bit.
      corrections(nz, band(k, se));
      --eobrun_;
    }
    return true;
  }

  static bool fail(Stop& why, Stop w) {
    why = w;
    return false;
  }

  Cursor& cur_;
  DecodeState& st_;
  BitReader br_;
  uint32_t eobrun_ = 0;
  int maxdc_, maxac_;
};

}  // namespace

// The marker code behind the 0xFF (and any fill bytes) at pos, and the position after it.
bool marker_at(Cursor& cur, uint64_t pos, uint8_t& code, uint64_t& after) {
  for (int i = 0; i < 64; ++i) {
    const uint8_t* p = cur.get(pos, 2);
    if (!p || p[0] != 0xFF) return false;
    if (p[1] != 0xFF) {
      code = p[1];
      after = pos + 2;
      return true;
    }
    ++pos;
  }
  return false;
}

uint64_t next_marker(Cursor& cur, uint64_t pos) {
  while (true) {
    size_t avail = 0;
    const uint8_t* s = cur.span(pos, &avail);
    if (!s) return UINT64_MAX;
    const void* hit = std::memchr(s, 0xFF, avail);
    if (!hit) {
      pos += avail;
      continue;
    }
    uint64_t ff = pos + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - s);
    uint64_t q = ff;
    uint8_t b = 0xFF;
    while (b == 0xFF) {  // fill bytes belong to the marker that follows them
      if (!cur.u8(++q, b)) return UINT64_MAX;
    }
    if (b != 0x00 && !(b >= 0xD0 && b <= 0xD7)) return ff;
    pos = q + 1;
  }
}

ScanResult validate_scan(Cursor& cur, uint64_t pos, DecodeState& st) {
  return ScanValidator(cur, pos, st).run();
}

ScanResult validate_scan(ByteSource& src, uint64_t pos, uint64_t end, DecodeState& st) {
  Cursor cur(src, 0, end);
  return validate_scan(cur, pos, st);
}

}  // namespace kes::jpeg
