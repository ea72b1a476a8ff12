#include "formats/jpeg_huffman.h"

#include <algorithm>
#include <iterator>

namespace kes::jpeg {
namespace {

// 11 bits of a look-ahead index of `look` bits from bit `used` on, zeros past its end.
uint32_t window(uint32_t index, int look, int used) {
  int left = look - used;
  uint32_t rest = index & ((1u << left) - 1);
  return left >= 11 ? rest >> (left - 11) : rest << (11 - left);
}

// The codes that a look-ahead index of `look` bits settles: a DC code first when `dc` is
// given, then AC codes up to and with an end of block, all with sizes that any sample
// precision allows. An entry in the group layout, 0 when not even one code is settled.
uint16_t settle(const HuffTable* dc, const HuffTable& ac, uint32_t index, int look) {
  const int max_advance = 63;
  int used = 0, advance = 0;
  if (dc) {
    advance = 1;  // the DC coefficient
    uint16_t f = dc->fast(window(index, look, 0));
    int len = f >> 8, size = f & 255;
    if (f == 0 || len > look || size > 11) return kUnsettled;
    used = len + size;
  }
  bool any = dc != nullptr;
  while (used < look) {
    uint16_t f = ac.fast(window(index, look, used));
    int len = f >> 8, rs = f & 255, s = rs & 15, r = rs >> 4;
    if (f == 0 || len > look - used || s > 10) break;
    if (s == 0 && r != 15) return static_cast<uint16_t>(kGroupEob | advance << 6 | (used + len));
    int next = s ? r + 1 : 16;
    if (advance + next > max_advance || used + len + s > kFastBits) break;
    advance += next;
    used += len + s;
    any = true;
  }
  return any ? static_cast<uint16_t>(advance << 6 | used) : kUnsettled;
}

// A single code with its extra bits; sizes beyond the range of 8-bit samples are left
// to the long way, which checks them against the precision.
uint16_t skip_entry(bool ac, int len, uint8_t v) {
  int s = ac ? v & 15 : v;
  if (s > (ac ? 10 : 11) || len + s > kFastBits) return kUnsettled;
  int r = v >> 4;
  int step = !ac ? 1 : s ? r + 1 : r == 15 ? 16 : kEndOfBlock;
  return static_cast<uint16_t>(step << 6 | (len + s));
}

}  // namespace

void HuffTable::clear() {
  defined_ = grouped_ = false;
  std::fill(std::begin(fast_), std::end(fast_), uint16_t(0));
  std::fill(std::begin(skip_), std::end(skip_), kUnsettled);
  std::fill(std::begin(maxcode_), std::end(maxcode_), 0);
  std::fill(std::begin(valptr_), std::end(valptr_), 0);
  std::fill(std::begin(mincode_), std::end(mincode_), 0);
  std::fill(std::begin(vals_), std::end(vals_), uint8_t(0));
}

bool HuffTable::build(bool ac, const uint8_t counts[16], const uint8_t* vals, int nvals) {
  clear();
  int total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  if (total > 256 || total != nvals) return false;
  std::copy(vals, vals + nvals, vals_);
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    valptr_[len] = k;
    mincode_[len] = code;
    for (int i = 0; i < counts[len - 1]; ++i) {
      if (code >= (int32_t(1) << len)) return false;  // more codes than the length holds
      if (len <= 11) {
        int base = code << (11 - len);
        std::fill(fast_ + base, fast_ + base + (1 << (11 - len)), static_cast<uint16_t>(len << 8 | vals_[k]));
      }
      if (len <= kLook) {
        int base = code << (kLook - len);
        std::fill(skip_ + base, skip_ + base + (1 << (kLook - len)), skip_entry(ac, len, vals_[k]));
      }
      ++code;
      ++k;
    }
    maxcode_[len] = counts[len - 1] ? code - 1 : -1;
    code <<= 1;
  }
  defined_ = true;
  return true;
}

const uint16_t* HuffTable::group_table() {
  if (!grouped_) {
    for (uint32_t x = 0; x < (1u << kLook); ++x) group_[x] = settle(nullptr, *this, x, kLook);
    grouped_ = true;
  }
  return group_;
}

const HuffTable& no_table() {
  static const HuffTable t = [] {
    HuffTable none;
    none.clear();
    return none;
  }();
  return t;
}

void build_start_table(const HuffTable& dc, const HuffTable& ac, uint16_t* out) {
  for (uint32_t x = 0; x < (1u << kLook); ++x) out[x] = settle(&dc, ac, x, kLook);
}

}  // namespace kes::jpeg
