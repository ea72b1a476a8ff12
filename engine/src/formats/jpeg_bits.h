// Reading entropy-coded bits: stuffed 0xFF00 pairs undone, zero bits fed once a marker,
// the end of the data or a zeroed sector is reached.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include "formats/cursor.h"
#include "formats/jpeg_huffman.h"

namespace kes::jpeg {

// Real entropy-coded data never holds a zeroed sector, and cards are full of them: every
// sector that reading enters is looked at once.
class SectorGuard {
 public:
  explicit SectorGuard(uint64_t from) : next_((from + 511) & ~uint64_t(511)) {}
  // The next sector start not yet looked at.
  uint64_t next() const { return next_; }
  // Looks at every sector that starts at or before `pos`; false at a zeroed one.
  bool clear_through(Cursor& cur, uint64_t pos);

 private:
  uint64_t next_;
};

// The bit buffer is a machine word: 64 bits where that is native, 32 on 32-bit builds,
// where a refill still leaves kFastBits (one code with its extra bits, fast path).
#ifdef KES_JPEG_NARROW_BITS  // lets a 64-bit test build run the 32-bit buffer
using BitWord = uint32_t;
#else
using BitWord = size_t;
#endif
constexpr int kWordBits = static_cast<int>(sizeof(BitWord) * 8);

// The decoder's registers: the next n bits of the data at the top of acc (n < 0 once
// decoding has eaten into the zero bits that follow a marker or the end of the data;
// then p == lim). Below the n bits acc holds zeros or the bits of the bytes at p.
struct Bits {
  BitWord acc = 0;
  int n = 0;
  const uint8_t* p = nullptr;
  const uint8_t* lim = nullptr;  // fast refills read below this only
};

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
  constexpr BitWord ones = ~BitWord(0) / 255;
  BitWord x = ~w;
  return ((x - ones) & ~x & (ones << 7)) != 0;
}

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

// Appends bytes one at a time, stuffed 0xFF00 pairs undone, as far as the registers hold
// whole bytes: what a word with a 0xFF in it needs, without leaving the hot loop. False
// when a marker or the end of the fast span stops it short of kFastBits bits (the slow
// refill goes on from there); 0 <= n.
inline bool refill_bytes(Bits& b) {
  b.acc = b.n > 0 ? b.acc & (~BitWord(0) << (kWordBits - b.n)) : 0;  // bits below n: none yet
  while (b.n <= kWordBits - 8) {
    if (b.lim - b.p < 2) return b.n >= kFastBits;
    const uint8_t c = b.p[0];
    if (c == 0xFF && b.p[1] != 0) return b.n >= kFastBits;  // a marker
    b.p += c == 0xFF ? 2 : 1;
    b.acc |= static_cast<BitWord>(c) << (kWordBits - 8 - b.n);
    b.n += 8;
  }
  return true;
}

inline void consume(Bits& b, int c) {
  b.acc <<= c;
  b.n -= c;
}

// MSB-first bit reader over entropy-coded bytes. Once a marker or the end of the data
// is reached it feeds zero bits, and n counts how far decoding ran into them, so that a
// decode which runs into them can be told apart from one that stayed inside the data.
class BitReader {
 public:
  BitReader(Cursor& cur, uint64_t pos) : cur_(cur), guard_(pos) { seek(pos); }

  void seek(uint64_t pos);
  // Goes on at pos with `nbits` bits already read (from the top of `bits`).
  void resume(uint64_t pos, uint64_t bits, int nbits);
  // At least kFastBits bits (or all there are), bytes read one at a time.
  void refill_slow();
  // At least k (<= kFastBits) bits unless the data has stopped.
  void need(int k) {
    if (b.n < k && !refill_fast(b)) refill_slow();
  }
  // Decodes one code; needs 16 bits. -1 when the bits are no code of the table.
  int decode(const HuffTable& t) {
    uint16_t e = t.fast(static_cast<uint32_t>(b.acc >> (kWordBits - 11)));
    if (e) {
      consume(b, e >> 8);
      return e & 255;
    }
    for (int len = 12; len <= 16; ++len) {
      int v = t.value_of(len, static_cast<int32_t>(b.acc >> (kWordBits - len)));
      if (v >= 0) {
        consume(b, len);
        return v;
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
    uint64_t h = here(r);
    uint64_t back = static_cast<uint64_t>(r.n > 0 ? r.n : 0) / 8;
    return back <= h ? h - back : 0;
  }
  uint64_t consumed_pos() const { return consumed_pos(b); }
  // Position of the next byte to read into the registers.
  uint64_t here(const Bits& r) const { return base_ + static_cast<uint64_t>(r.p - ptr_); }
  // What a pointer into the current buffer span adds to, to give its position.
  uint64_t origin() const { return base_ - reinterpret_cast<uintptr_t>(ptr_); }
  uint64_t here() const { return here(b); }
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
  bool boundary();
  void set_lim();
  bool respan(size_t need);

  Cursor& cur_;
  SectorGuard guard_;
  uint64_t base_ = 0;  // position of ptr_
  const uint8_t* ptr_ = nullptr;
  const uint8_t* end_ = nullptr;
  bool stopped_ = false, marker_ = false;
  uint64_t marker_pos_ = 0;
};

}  // namespace kes::jpeg
