// Raw deflate after RFC 1951: canonical Huffman codes decoded through a 9-bit table,
// longer codes bit by bit; every count, length and distance checked before use.
#include "formats/inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kes {
namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 9;
constexpr size_t kWindow = 32768;
constexpr size_t kMaxMatch = 258;

const uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

enum : int { kCut = -1, kBroken = -2 };

// Bits of the stream, least significant first, fetched through the cursor.
struct BitReader {
  Cursor& cur;
  uint64_t next;  // the next byte to fetch
  uint64_t buf = 0;
  int count = 0;
  const uint8_t* p = nullptr;
  size_t avail = 0;

  void refill() {
    while (count <= 56) {
      if (avail == 0 && !(p = cur.span(next, &avail))) {
        avail = 0;
        return;
      }
      buf |= uint64_t(*p++) << count;
      count += 8;
      --avail;
      ++next;
    }
  }
  bool need(int n) {
    if (count < n) refill();
    return count >= n;
  }
  uint32_t take(int n) {
    uint32_t v = static_cast<uint32_t>(buf & ((uint64_t(1) << n) - 1));
    buf >>= n;
    count -= n;
    return v;
  }
  // Byte after the last bit taken (a partly used byte counts as used).
  uint64_t pos() const { return next - static_cast<unsigned>(count) / 8; }
  // Drops the bits of a partly used byte and hands the whole bytes back to the input.
  void to_byte() {
    next = pos();
    buf = 0;
    count = 0;
    avail = 0;
  }
};

struct Huffman {
  uint16_t count[kMaxBits + 1];
  uint16_t symbol[288];
  uint16_t fast[1 << kFastBits];  // symbol << 4 | length; 0 for longer codes

  // Codes left unused by the lengths: 0 for a complete code, negative when they
  // over-subscribe it.
  int build(const uint8_t* lengths, int n) {
    std::memset(count, 0, sizeof count);
    std::memset(fast, 0, sizeof fast);
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    if (count[0] == n) return 0;  // no codes: any use of it fails
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return left;
    }
    uint16_t offs[kMaxBits + 2] = {};
    uint32_t next_code[kMaxBits + 2] = {};
    for (int len = 1; len <= kMaxBits; ++len) {
      offs[len + 1] = static_cast<uint16_t>(offs[len] + count[len]);
      next_code[len + 1] = (next_code[len] + count[len]) << 1;
    }
    for (int s = 0; s < n; ++s) {
      int len = lengths[s];
      if (!len) continue;
      symbol[offs[len]++] = static_cast<uint16_t>(s);
      uint32_t code = next_code[len]++;
      if (len > kFastBits) continue;
      uint32_t rev = 0;
      for (int i = 0; i < len; ++i) rev |= ((code >> i) & 1) << (len - 1 - i);
      for (uint32_t i = rev; i < (1u << kFastBits); i += 1u << len)
        fast[i] = static_cast<uint16_t>(s << 4 | len);
    }
    return left;
  }
  // Deflate allows an incomplete code only as a lone one-bit code.
  bool usable(int left, int n) const { return left == 0 || (left > 0 && n - count[0] == count[1]); }

  int decode(BitReader& in) const {
    in.need(kMaxBits);
    uint16_t f = fast[in.buf & ((1u << kFastBits) - 1)];
    if (f) {
      if ((f & 15) > in.count) return kCut;
      in.take(f & 15);
      return f >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      if (len > in.count) return kCut;
      code |= static_cast<int>((in.buf >> (len - 1)) & 1);
      int n = count[len];
      if (code - n < first) {
        in.take(len);
        return symbol[index + (code - first)];
      }
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    return kBroken;
  }
};

struct Decoder {
  BitReader in;
  InflateSink& sink;
  uint64_t max_out;
  uint64_t total = 0;
  size_t fill = 0, flushed = 0;
  bool refused = false;
  Huffman lens, dists;
  uint8_t window[2 * kWindow + kMaxMatch];

  bool flush() {
    if (fill > flushed && !sink.take(window + flushed, fill - flushed)) refused = true;
    flushed = fill;
    return !refused;
  }
  // Keeps the last 32 KiB once the buffer is full, so a match always fits after it.
  bool make_room() {
    if (fill < 2 * kWindow) return true;
    if (!flush()) return false;
    std::memmove(window, window + fill - kWindow, kWindow);
    fill = flushed = kWindow;
    return true;
  }

  Inflated::Status stored() {
    in.to_byte();
    const uint8_t* h = in.cur.get(in.next, 4);
    if (!h) return Inflated::cut;
    uint16_t len = le16(h);
    if (le16(h + 2) != static_cast<uint16_t>(~len)) return Inflated::broken;
    in.next += 4;
    for (size_t left = len; left > 0;) {
      if (!make_room()) return Inflated::broken;
      size_t avail = 0;
      const uint8_t* s = in.cur.span(in.next, &avail);
      if (!s) return Inflated::cut;
      size_t n = std::min(std::min(avail, left), sizeof window - fill);
      std::memcpy(window + fill, s, n);
      fill += n;
      total += n;
      in.next += n;
      left -= n;
      if (total > max_out) return Inflated::too_long;
    }
    return Inflated::done;
  }

  Inflated::Status codes(const Huffman& lc, const Huffman& dc) {
    for (;;) {
      if (!make_room()) return Inflated::broken;
      int sym = lc.decode(in);
      if (sym < 0) return sym == kCut ? Inflated::cut : Inflated::broken;
      if (sym < 256) {
        window[fill++] = static_cast<uint8_t>(sym);
        ++total;
      } else if (sym == 256) {
        return Inflated::done;
      } else {
        sym -= 257;
        if (sym >= 29) return Inflated::broken;
        if (!in.need(kLenExtra[sym])) return Inflated::cut;
        size_t len = kLenBase[sym] + in.take(kLenExtra[sym]);
        int ds = dc.decode(in);
        if (ds < 0) return ds == kCut ? Inflated::cut : Inflated::broken;
        if (ds >= 30) return Inflated::broken;
        if (!in.need(kDistExtra[ds])) return Inflated::cut;
        size_t dist = kDistBase[ds] + in.take(kDistExtra[ds]);
        if (dist > total) return Inflated::broken;  // reaches before the stream's start
        for (size_t i = 0; i < len; ++i, ++fill) window[fill] = window[fill - dist];
        total += len;
      }
      if (total > max_out) return Inflated::too_long;
    }
  }

  Inflated::Status dynamic() {
    if (!in.need(14)) return Inflated::cut;
    int nlen = static_cast<int>(in.take(5)) + 257, ndist = static_cast<int>(in.take(5)) + 1;
    int ncode = static_cast<int>(in.take(4)) + 4;
    if (nlen > 286 || ndist > 30) return Inflated::broken;
    uint8_t lengths[286 + 30] = {};
    for (int i = 0; i < ncode; ++i) {
      if (!in.need(3)) return Inflated::cut;
      lengths[kCodeOrder[i]] = static_cast<uint8_t>(in.take(3));
    }
    Huffman& cl = lens;  // the code-length code, replaced right after
    if (cl.build(lengths, 19) != 0 || cl.count[0] == 19) return Inflated::broken;
    uint8_t code_lengths[286 + 30] = {};
    for (int i = 0; i < nlen + ndist;) {
      int sym = cl.decode(in);
      if (sym < 0) return sym == kCut ? Inflated::cut : Inflated::broken;
      if (sym < 16) {
        code_lengths[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      int repeat;
      if (sym == 16) {
        if (i == 0) return Inflated::broken;
        value = code_lengths[i - 1];
        if (!in.need(2)) return Inflated::cut;
        repeat = 3 + static_cast<int>(in.take(2));
      } else if (sym == 17) {
        if (!in.need(3)) return Inflated::cut;
        repeat = 3 + static_cast<int>(in.take(3));
      } else {
        if (!in.need(7)) return Inflated::cut;
        repeat = 11 + static_cast<int>(in.take(7));
      }
      if (i + repeat > nlen + ndist) return Inflated::broken;
      while (repeat--) code_lengths[i++] = value;
    }
    if (code_lengths[256] == 0) return Inflated::broken;  // no end-of-block code
    if (!lens.usable(lens.build(code_lengths, nlen), nlen) ||
        !dists.usable(dists.build(code_lengths + nlen, ndist), ndist))
      return Inflated::broken;
    return codes(lens, dists);
  }

  Decoder(Cursor& cur, uint64_t pos, uint64_t max, InflateSink& s) : in{cur, pos}, sink(s), max_out(max) {}
};

struct FixedCodes {
  Huffman lens, dists;
  FixedCodes() {
    uint8_t l[288];
    for (int s = 0; s < 288; ++s) l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    lens.build(l, 288);
    std::memset(l, 5, 30);
    dists.build(l, 30);  // incomplete by design: codes 30 and 31 never occur
  }
};

const FixedCodes& fixed_codes() {
  static const FixedCodes codes;
  return codes;
}

}  // namespace

Inflated inflate(Cursor& cur, uint64_t pos, uint64_t max_out, InflateSink& sink) {
  auto d = std::make_unique<Decoder>(cur, pos, max_out, sink);
  Inflated r;
  r.block_end = r.last_start = pos;
  for (;;) {
    Inflated::Status s;
    if (!d->in.need(3)) {
      s = Inflated::cut;
    } else {
      const uint64_t block_start = r.block_end;
      bool last = d->in.take(1);
      switch (d->in.take(2)) {
        case 0: s = d->stored(); break;
        case 1: s = d->codes(fixed_codes().lens, fixed_codes().dists); break;
        case 2: s = d->dynamic(); break;
        default: s = Inflated::broken;
      }
      if (s == Inflated::done) {
        d->flush();
        r.last_start = block_start;
        r.block_end = d->in.pos();
        if (!last && !d->refused) continue;
      }
    }
    d->flush();
    r.status = d->refused ? Inflated::broken : s;
    r.out = d->total;
    if (r.status == Inflated::done) r.end = r.block_end;
    return r;
  }
}

}  // namespace kes
