#include "formats/jpeg_scan.h"
#include "formats/jpeg_walk.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kes::jpeg {

namespace {

constexpr int kLook = 12;  // look-ahead bits of the skip, group and block-start tables
constexpr int kFastBits = 24;  // a refill leaves at least this many bits, unless the data stopped
// Skip-table entry: bits 0-5 the bits to consume (a shift count as it stands), 6-13 the
// step in the block (1 for a DC code, 128 for an end of block), then flags. Sizes beyond
// the range of 12-bit samples have no entry.
constexpr uint16_t kOk = 1u << 14;   // settled by the table
constexpr uint16_t kBig = 1u << 15;  // size beyond 8-bit samples' range
constexpr int kEndOfBlock = 128;
constexpr uint16_t kGroupEob = 1u << 13;  // group entries: the group ends its block
// Scans of fewer blocks decode without group and block-start tables, which take a while
// to build.
constexpr uint64_t kSettledTableBlocks = 4096;

// 11 bits of a look-ahead index of `look` bits from bit `used` on, zeros past its end.
uint32_t window(uint32_t index, int look, int used) {
  int left = look - used;
  uint32_t rest = index & ((1u << left) - 1);
  return left >= 11 ? rest >> (left - 11) : rest << (11 - left);
}

// The codes that a look-ahead index of `look` bits settles: a DC code first when `dc` is
// given, then AC codes up to and with an end of block, all with sizes that any sample
// precision allows. An entry in the group layout (the step counts the coefficients
// passed, plus 128 for an end of block), 0 when not even one code is settled.
uint16_t settle(const HuffTable* dc, const HuffTable& ac, uint32_t index, int look) {
  const int max_advance = 63;
  int used = 0, advance = 0;
  if (dc) {
    advance = 1;  // the DC coefficient
    uint16_t f = dc->fast[window(index, look, 0)];
    int len = f >> 8, size = f & 255;
    if (f == 0 || len > look || size > 11) return 0;
    used = len + size;
  }
  bool any = dc != nullptr;
  while (used < look) {
    uint16_t f = ac.fast[window(index, look, used)];
    int len = f >> 8, rs = f & 255, s = rs & 15, r = rs >> 4;
    if (f == 0 || len > look - used || s > 10) break;
    if (s == 0 && r != 15) return static_cast<uint16_t>(kOk | kGroupEob | advance << 6 | (used + len));
    int next = s ? r + 1 : 16;
    if (advance + next > max_advance || used + len + s > kFastBits) break;
    advance += next;
    used += len + s;
    any = true;
  }
  return any ? static_cast<uint16_t>(kOk | advance << 6 | used) : 0;
}

uint16_t skip_entry(bool ac, int len, uint8_t v) {
  int s = ac ? v & 15 : v;
  if (s > (ac ? 14 : 15)) return 0;  // the long way reports it
  int consume = len + s;
  if (consume > kFastBits) return 0;
  uint16_t flags = kOk;
  if (s > (ac ? 10 : 11)) flags |= kBig;
  int r = v >> 4;
  int step = !ac ? 1 : s ? r + 1 : r == 15 ? 16 : kEndOfBlock;
  return static_cast<uint16_t>(flags | step << 6 | consume);
}

}  // namespace

bool build_table(HuffTable& t, bool ac, const uint8_t counts[16], const uint8_t* vals, int nvals) {
  t.defined = t.grouped = false;
  std::fill(std::begin(t.fast), std::end(t.fast), uint16_t(0));
  std::fill(std::begin(t.skip), std::end(t.skip), uint16_t(0));
  std::fill(std::begin(t.maxcode), std::end(t.maxcode), 0);
  std::fill(std::begin(t.valptr), std::end(t.valptr), 0);
  std::fill(std::begin(t.mincode), std::end(t.mincode), 0);
  std::fill(std::begin(t.vals), std::end(t.vals), uint8_t(0));
  int total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256 || total != nvals) return false;
  std::copy(vals, vals + nvals, t.vals);
  const int look = kLook;
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t.valptr[len] = k;
    t.mincode[len] = code;
    for (int i = 0; i < counts[len - 1]; ++i) {
      if (code >= (int32_t(1) << len)) return false;  // more codes than the length holds
      if (len <= 11) {
        int base = code << (11 - len);
        std::fill(t.fast + base, t.fast + base + (1 << (11 - len)), static_cast<uint16_t>(len << 8 | t.vals[k]));
      }
      if (len <= look) {
        int base = code << (look - len);
        std::fill(t.skip + base, t.skip + base + (1 << (look - len)), skip_entry(ac, len, t.vals[k]));
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

// MCUs in the current DCT scan; UINT64_MAX while the height is unknown (DNL).
uint64_t scan_mcus(const DecodeState& st) {
  if (st.height == 0) return UINT64_MAX;
  if (st.ns == 1) {
    const Component& c = st.comp[st.scomp[0]];
    return uint64_t(c.blocks_w) * c.blocks_h;
  }
  uint64_t mx = (st.width + 8u * st.hmax - 1) / (8u * st.hmax);
  uint64_t my = (st.height + 8u * st.vmax - 1) / (8u * st.vmax);
  return mx * my;
}

bool zero_sector(const uint8_t* s) {
  if (s[0] | s[1] | s[7] | s[100] | s[511]) return false;
  for (int i = 0; i < 512; ++i)
    if (s[i]) return false;
  return true;
}

// The bit buffer is a machine word: 64 bits where that is native, 32 on 32-bit builds,
// where a refill still leaves kFastBits (one code with its extra bits, fast path).
#ifdef KES_JPEG_NARROW_BITS  // lets a 64-bit test build run the 32-bit buffer
using BitWord = uint32_t;
#else
using BitWord = size_t;
#endif
constexpr int kWordBits = static_cast<int>(sizeof(BitWord) * 8);
constexpr BitWord kByteOnes = ~BitWord(0) / 255;

inline BitWord load_be(const uint8_t* p) {
  BitWord w;
  std::memcpy(&w, p, sizeof w);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if constexpr (sizeof(BitWord) == 8)
    w = static_cast<BitWord>(__builtin_bswap64(w));
  else
    w = static_cast<BitWord>(__builtin_bswap32(static_cast<uint32_t>(w)));
#elif !defined(__BYTE_ORDER__)
  BitWord v = 0;
  for (size_t i = 0; i < sizeof w; ++i) v = v << 8 | p[i];
  w = v;
#endif
  return w;
}

inline bool has_ff_byte(BitWord w) {
  BitWord x = ~w;
  return ((x - kByteOnes) & ~x & (kByteOnes << 7)) != 0;
}

// The decoder's registers: the next n bits of the data at the top of acc (n < 0 once
// decoding has eaten into the zero bits that follow a marker or the end of the data;
// then p == lim). Below the n bits acc holds zeros or the bits of the bytes at p.
struct Bits {
  BitWord acc = 0;
  int n = 0;
  const uint8_t* p = nullptr;
  const uint8_t* lim = nullptr;  // fast refills read below this only
};

// Appends whole bytes when the next word of data holds no 0xFF; 0 <= n < kWordBits.
inline bool refill_fast(Bits& b) {
  if (b.lim - b.p < static_cast<ptrdiff_t>(sizeof(BitWord))) return false;
  BitWord w = load_be(b.p);
  if (has_ff_byte(w)) return false;
  b.acc |= w >> b.n;
  b.p += (kWordBits - 1 - b.n) >> 3;
  b.n |= kWordBits - 8;
  return true;
}

inline void consume(Bits& b, int c) {
  b.acc <<= c;
  b.n -= c;
}

class ScanValidator;

// MSB-first bit reader over entropy-coded bytes. Once a marker or the end of the data
// is reached it feeds zero bits, and n counts how far decoding ran into them, so that a
// decode which runs into them can be told apart from one that stayed inside the data.
class BitReader {
 public:
  BitReader(Cursor& cur, uint64_t pos) : cur_(cur) { seek(pos); }

  void seek(uint64_t pos) {
    base_ = pos;
    ptr_ = end_ = nullptr;
    b = Bits{};
    next_check_ = (pos + 511) & ~uint64_t(511);
    stopped_ = marker_ = false;
  }
  // At least kFastBits bits (or all there are), bytes read one at a time.
  void refill_slow() {
    if (stopped_) return;
    b.acc = b.n <= 0 ? 0 : b.acc & (~BitWord(0) << (kWordBits - b.n));
    while (b.n <= kWordBits - 8) {
      if (b.p >= b.lim && !boundary()) return stop();
      uint8_t c = *b.p;
      if (c != 0xFF) {
        ++b.p;
        push(c);
        continue;
      }
      if (end_ - b.p < 2 && !respan2()) return stop();  // a lone 0xFF at the very end
      if (b.p[1] == 0) {
        b.p += 2;
        push(0xFF);
        continue;
      }
      marker_ = true;
      marker_pos_ = here();
      return stop();
    }
  }
  void fill() { refill_slow(); }
  // At least k (<= kFastBits) bits unless the data has stopped.
  void need(int k) {
    if (b.n < k && !refill_fast(b)) refill_slow();
  }
  // Decodes one code; needs 16 bits. -1 when the bits are no code of the table.
  int decode(const HuffTable& t) {
    uint16_t e = t.fast[b.acc >> (kWordBits - 11)];
    if (e) {
      consume(b, e >> 8);
      return e & 255;
    }
    for (int len = 12; len <= 16; ++len) {
      int32_t code = static_cast<int32_t>(b.acc >> (kWordBits - len));
      if (code <= t.maxcode[len]) {
        consume(b, len);
        return t.vals[t.valptr[len] + code - t.mincode[len]];
      }
    }
    return -1;
  }
  void skip(int k) {  // k <= kFastBits
    need(k);
    consume(b, k);
  }
  uint32_t get(int k) {  // 1 <= k <= kFastBits
    need(k);
    uint32_t v = static_cast<uint32_t>(b.acc >> (kWordBits - k));
    consume(b, k);
    return v;
  }
  // Whether decoding has eaten into the zero bits fed after the data.
  bool overran() const { return b.n < 0; }
  int real_bits() const { return b.n; }
  // Byte position of the next bit not yet decoded (at most a few bytes early where
  // stuffed 0xFF00 pairs are still buffered).
  uint64_t consumed_pos(const Bits& r) const {
    uint64_t h = base_ + static_cast<uint64_t>(r.p - ptr_);
    uint64_t back = static_cast<uint64_t>(std::max(r.n, 0)) / 8;
    return back <= h ? h - back : 0;
  }
  uint64_t consumed_pos() const { return consumed_pos(b); }
  uint64_t here() const { return base_ + static_cast<uint64_t>(b.p - ptr_); }
  bool marker() const { return marker_; }
  uint64_t marker_pos() const { return marker_pos_; }
  bool stopped() const { return stopped_; }

  Bits b;  // the decoder copies these into locals for its hot loop

 private:
  void push(uint8_t c) {
    b.acc |= static_cast<BitWord>(c) << (kWordBits - 8 - b.n);
    b.n += 8;
  }
  void stop() {
    stopped_ = true;
    b.lim = b.p;
  }
  // Slow path of a refill: a new buffer span, and at every sector boundary a look for a
  // zeroed sector, which real entropy-coded data never holds but cards are full of.
  bool boundary() {
    if (b.p == end_ && !respan()) return false;
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
    b.lim = room < static_cast<uint64_t>(end_ - b.p) ? b.p + room : end_;
  }
  bool respan() {
    base_ = here();
    ptr_ = b.p;  // keeps here() right should the read below fail
    size_t avail = 0;
    const uint8_t* s = cur_.span(base_, &avail);
    if (!s) return false;
    ptr_ = b.p = s;
    end_ = s + avail;
    set_lim();
    return true;
  }
  bool respan2() {
    base_ = here();
    ptr_ = b.p;  // keeps here() right should the read below fail
    const uint8_t* s = cur_.get(base_, 2);
    if (!s) return false;
    size_t avail = 0;
    s = cur_.span(base_, &avail);
    ptr_ = b.p = s;
    end_ = s + avail;
    set_lim();
    return true;
  }

  Cursor& cur_;
  uint64_t base_ = 0;  // position of ptr_
  const uint8_t* ptr_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t next_check_ = 0;
  bool stopped_ = false, marker_ = false;
  uint64_t marker_pos_ = 0;
};

// A table without codes, standing in for one the scan names but no DHT defined.
const HuffTable& no_table() {
  static const HuffTable t{};
  return t;
}

class ScanValidator {
 public:
  ScanValidator(Cursor& cur, uint64_t pos, DecodeState& st) : cur_(cur), st_(st), br_(cur, pos) {
    maxdc_ = st.precision > 8 ? 15 : 11;
    maxac_ = st.precision > 8 ? 14 : 10;
  }

  ScanResult run() {
    if (st_.arithmetic || st_.lossless || !prepare_masks()) return marker_level();
    if (!st_.progressive) return run_sequential();
    ScanResult r;
    uint64_t total = scan_mcus(st_);
    uint32_t ri = st_.restart_interval;
    int next_rst = 0;
    for (uint64_t mcu = 0; mcu < total; ++mcu) {
      if (ri && mcu > 0 && mcu % ri == 0) {
        Stop why;
        if (!restart(next_rst, why)) return restart_failed(why, mcu);
        next_rst = (next_rst + 1) & 7;
      }
      uint64_t mcu_start = br_.consumed_pos();
      Stop why = Stop::end_of_scan;
      bool ok = decode_mcu(mcu, why);
      if (!ok || br_.overran()) return mcu_failed(why, mcu, mcu_start);
    }
    r.mcus = total;
    return finish(r);
  }

 private:
  struct Slot {  // one block of a sequential MCU
    const uint16_t* start;
    const uint16_t* next_start;  // the next block's
    const uint16_t* dc;
    const uint16_t* ac;
    const uint16_t* group;
    const HuffTable* dct;
    const HuffTable* act;
  };

  // Baseline and extended sequential scans: the hot loop. The bit reader's registers
  // live in locals and go back to the reader only around slow paths.
  ScanResult run_sequential() {
    uint64_t total = scan_mcus(st_);
    uint64_t mcu_blocks = 0;
    for (int i = 0; i < st_.ns; ++i) mcu_blocks += st_.ns == 1 ? 1 : st_.comp[st_.scomp[i]].h * st_.comp[st_.scomp[i]].v;
    // Large scans get tables that settle several codes per look-up: block-start tables
    // (the DC code and the first AC codes) and group tables (AC codes). Small ones go a
    // code at a time, through the single-code tables, which have the same layout.
    bool settled = st_.height != 0 && total >= kSettledTableBlocks / mcu_blocks;
    const uint16_t* starts[4] = {};
    const uint16_t* groups[4] = {};
    if (settled) starts_.resize(size_t(st_.ns) << kLook);
    for (int i = 0; i < st_.ns; ++i) {
      const HuffTable& dc = st_.dc[st_.td[i]].defined ? st_.dc[st_.td[i]] : no_table();
      HuffTable& ac = st_.ac[st_.ta[i]];
      starts[i] = dc.skip;
      groups[i] = ac.defined ? ac.skip : no_table().skip;
      if (!settled || !ac.defined) continue;
      if (!ac.grouped) {
        for (uint32_t x = 0; x < (1u << kLook); ++x) ac.group[x] = settle(nullptr, ac, x, kLook);
        ac.grouped = true;
      }
      groups[i] = ac.group;
      if (!dc.defined) continue;
      uint16_t* t = starts_.data() + (size_t(i) << kLook);
      for (uint32_t x = 0; x < (1u << kLook); ++x) t[x] = settle(&dc, ac, x, kLook);
      starts[i] = t;
    }
    Slot plan[10] = {};
    int nb = 0;
    for (int i = 0; i < st_.ns; ++i) {
      const Component& c = st_.comp[st_.scomp[i]];
      const HuffTable& dc = st_.dc[st_.td[i]].defined ? st_.dc[st_.td[i]] : no_table();
      const HuffTable& ac = st_.ac[st_.ta[i]].defined ? st_.ac[st_.ta[i]] : no_table();
      int blocks = st_.ns == 1 ? 1 : c.h * c.v;
      for (int k = 0; k < blocks && nb < 10; ++k)
        plan[nb++] = Slot{starts[i], nullptr, dc.skip, ac.skip, groups[i], &dc, &ac};
    }
    masks_ = kOk | (st_.precision > 8 ? 0 : kBig);
    const uint16_t masks = masks_;
    // One look-up per step, a step being a block's start (its DC code and maybe more) or
    // a group of AC codes. Block and MCU ends are kept out of branches as far as
    // possible: k is the position in the block, 0 at its start.
    const uint32_t ri = st_.restart_interval;
    uint32_t togo = ri;
    int next_rst = 0;
    for (int i = 0; i < nb; ++i) plan[i].next_start = plan[i + 1 < nb ? i + 1 : 0].start;
    Bits b = br_.b;
    uint64_t mcu = 0, mcu_start = br_.consumed_pos(b);
    int k = 0, si = 0;
    // The table of the next look-up is picked without a load on the critical path.
    const uint16_t* table = plan[0].start;
    const uint16_t* group = plan[0].group;
    const uint16_t* next_start = plan[0].next_start;
    while (mcu < total) {
      if (b.n < kFastBits && !refill_fast(b)) b = refill(b);
      uint16_t e = table[b.acc >> (kWordBits - kLook)];
      int step = e >> 6 & 255;
      if ((e & masks) == kOk && k + (step & 127) < 64) {
        consume(b, e & 63);
        k += step;
      } else {
        Stop why = Stop::end_of_scan;
        b = careful_step(b, plan[si], k, why);
        if (k < 0) {
          br_.b = b;
          return mcu_failed(why, mcu, mcu_start);
        }
      }
      if (b.n < 0) {  // ran into the zeros after the data
        br_.b = b;
        return mcu_failed(Stop::end_of_data, mcu, mcu_start);
      }
      int end = k >> 7;  // 1 after an end of block
      k &= end - 1;
      table = end ? next_start : group;
      si += end;
      bool wrap = si == nb;
      si = wrap ? 0 : si;
      group = plan[si].group;
      next_start = plan[si].next_start;
      uint64_t here = br_.consumed_pos(b);
      mcu += wrap;
      mcu_start = wrap ? here : mcu_start;
      if (ri && wrap && --togo == 0 && mcu < total) {
        br_.b = b;
        Stop why;
        if (!restart(next_rst, why)) return restart_failed(why, mcu);
        next_rst = (next_rst + 1) & 7;
        b = br_.b;
        togo = ri;
        mcu_start = br_.consumed_pos(b);
      }
    }
    br_.b = b;
    ScanResult r;
    r.mcus = total;
    return finish(r);
  }

  // The slow paths take and return the registers by value, so that the hot loop's copy
  // never has its address taken and stays in registers.
  Bits refill(Bits b) {
    br_.b = b;
    br_.refill_slow();
    return br_.b;
  }

  // One code that the tables did not settle in one go, through the single-code tables
  // or the long way. k becomes -1 (with `why`) when the data is bad, and 128 or more
  // when the block is complete.
  Bits careful_step(Bits b, const Slot& slot, int& k, Stop& why) {
    bool dc = k == 0;
    uint16_t e = (dc ? slot.dc : slot.ac)[b.acc >> (kWordBits - kLook)];
    int v = -1;
    if ((e & masks_) == kOk) {
      consume(b, e & 63);
      k += e >> 6 & 255;
    } else {
      br_.b = b;
      br_.need(16);
      const HuffTable& t = dc ? *slot.dct : *slot.act;
      v = t.defined ? br_.decode(t) : -1;
      int size = dc ? v : v & 15;
      if (v < 0) {
        why = Stop::bad_code;
      } else if (size > (dc ? maxdc_ : maxac_)) {
        why = Stop::bad_coefficient;
        v = -1;
      } else {
        br_.skip(size);
      }
      b = br_.b;
      if (v < 0) {
        k = -1;
        return b;
      }
      k += dc ? 1 : v & 15 ? (v >> 4) + 1 : v == 0xF0 ? 16 : kEndOfBlock;
    }
    if (k == 64) {
      k = kEndOfBlock;  // the block is full
    } else if (k > 64 && k < kEndOfBlock) {  // a coefficient or zero run beyond the block
      why = Stop::bad_coefficient;
      k = -1;
    }
    return b;
  }

  ScanResult restart_failed(Stop why, uint64_t mcu) {
    ScanResult r;
    r.why = why;
    r.valid_end = why == Stop::early_marker ? br_.marker_pos() : br_.consumed_pos();
    r.mcus = mcu;
    return r;
  }

  // The MCU starting at mcu_start did not decode: `why`, unless it ran into a marker or
  // the end of the data.
  ScanResult mcu_failed(Stop why, uint64_t mcu, uint64_t mcu_start) {
    ScanResult r;
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
        if (st_.ss == 0)
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
    br_.need(16);
    int s = dc.defined ? br_.decode(dc) : -1;
    if (s < 0) return fail(why, Stop::bad_code);
    if (s > maxdc_) return fail(why, Stop::bad_coefficient);
    br_.skip(s);
    return true;
  }

  bool dc_first(const HuffTable& dc, Stop& why) { return dc_value(dc, why); }

  bool dc_refine() {
    br_.skip(1);
    return true;
  }

  // The progressive AC passes work on a copy of the block's mask, which the compiler can
  // keep in a register (the mask in the vector might alias the bit buffer).
  bool ac_first(const HuffTable& ac, uint64_t& mask, Stop& why) {
    if (eobrun_ > 0) {
      --eobrun_;
      return true;
    }
    uint64_t nz = mask;
    bool ok = ac_first_codes(ac, nz, why);
    mask = nz;
    return ok;
  }

  bool ac_first_codes(const HuffTable& ac, uint64_t& nz, Stop& why) {
    for (int k = st_.ss; k <= st_.se;) {
      br_.need(16);
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
    uint64_t set = nz & mask;
    if (!set) return;
    int left = __builtin_popcountll(set);
    while (left > 0) {
      int t = left < kFastBits ? left : kFastBits;
      br_.skip(t);
      left -= t;
    }
  }

  // Refinement of the AC band: a new coefficient lands after `r` zero-history
  // positions, passing over non-zero ones that each take a correction bit.
  bool ac_refine(const HuffTable& ac, uint64_t& mask, Stop& why) {
    uint64_t nz = mask;
    bool ok = ac_refine_codes(ac, nz, why);
    mask = nz;
    return ok;
  }

  bool ac_refine_codes(const HuffTable& ac, uint64_t& nz, Stop& why) {
    const int se = st_.se;
    int k = st_.ss;
    if (eobrun_ == 0) {
      while (k <= se) {
        br_.need(16);
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
        for (int i = r; i > 0 && zeros; --i) zeros &= zeros - 1;
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
  uint16_t masks_ = kOk;  // flags that send a single-code entry the long way
  std::vector<uint16_t> starts_;
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

namespace {

// A restart marker ends every interval but the last; some encoders put one after the
// last MCU too. Lossless scans (MCUs of samples) and unknown heights are not counted.
bool restarts_fit(const DecodeState& st, uint64_t restarts) {
  uint64_t total = scan_mcus(st);
  if (st.restart_interval == 0 || st.lossless || total == UINT64_MAX) return true;
  uint64_t between = (total - 1) / st.restart_interval;
  return restarts == between || restarts == between + 1;
}

}  // namespace

uint64_t screen_scan(Cursor& cur, uint64_t pos, const DecodeState& st) {
  constexpr uint64_t kNone = UINT64_MAX;
  uint64_t check = (pos + 511) & ~uint64_t(511);  // the next sector to look at
  uint64_t restarts = 0;
  while (true) {
    size_t avail = 0;
    const uint8_t* s = cur.span(pos, &avail);
    if (!s) return kNone;
    // Sectors are looked at once each, those the last span ended inside first.
    if (check < pos) {
      const uint8_t* z = cur.get(check, 512);
      if (z && zero_sector(z)) return kNone;
      check += 512;
      continue;
    }
    const void* hit = std::memchr(s, 0xFF, avail);
    uint64_t ff = hit ? pos + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - s) : pos + avail;
    for (; check + 512 <= ff; check += 512)  // not beyond: the scan may end at that 0xFF
      if (zero_sector(s + (check - pos))) return kNone;
    if (!hit) {
      pos += avail;
      continue;
    }
    if (check <= ff) check += 512;  // the sector holding the 0xFF
    uint64_t q = ff + 1;
    uint8_t b = 0;
    if (!cur.u8(q, b)) return kNone;
    if (b == 0x00) {
      pos = q + 1;
      continue;
    }
    while (b == 0xFF)  // fill bytes: a marker follows
      if (!cur.u8(++q, b)) return kNone;
    if (b == 0x00) return kNone;
    if (b >= 0xD0 && b <= 0xD7) {
      if (st.restart_interval == 0 || b != 0xD0 + (restarts & 7)) return kNone;
      ++restarts;
      pos = q + 1;
      continue;
    }
    return restarts_fit(st, restarts) ? ff : kNone;
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
