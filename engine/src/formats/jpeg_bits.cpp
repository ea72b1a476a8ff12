#include "formats/jpeg_bits.h"

namespace kes::jpeg {
namespace {

bool zero_sector(const uint8_t* s) {
  if (s[0] | s[1] | s[7] | s[100] | s[511]) return false;
  for (int i = 0; i < 512; ++i)
    if (s[i]) return false;
  return true;
}

}  // namespace

bool SectorGuard::clear_through(Cursor& cur, uint64_t pos) {
  for (; next_ <= pos; next_ += 512) {
    const uint8_t* s = cur.get(next_, 512);
    if (s && zero_sector(s)) return false;
  }
  return true;
}

void BitReader::seek(uint64_t pos) {
  base_ = pos;
  ptr_ = end_ = nullptr;
  b = Bits{};
  guard_ = SectorGuard(pos);
  stopped_ = marker_ = false;
}

void BitReader::resume(uint64_t pos, uint64_t bits, int nbits) {
  seek(pos);
  b.n = nbits;
  b.acc = static_cast<BitWord>(bits >> (64 - kWordBits));
}

void BitReader::refill_slow() {
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
    if (end_ - b.p < 2 && !respan(2)) return stop();  // a lone 0xFF at the very end
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

// Slow path of a refill: a new buffer span, and the sector guard at sector boundaries.
bool BitReader::boundary() {
  if (b.p == end_ && !respan(1)) return false;
  uint64_t h = here();
  if (h >= guard_.next()) {
    if (!guard_.clear_through(cur_, h)) return false;
    if (!respan(1)) return false;  // the look may have moved the cursor's buffer
  }
  set_lim();
  return true;
}

void BitReader::set_lim() {
  uint64_t room = guard_.next() - here();
  b.lim = room < static_cast<uint64_t>(end_ - b.p) ? b.p + room : end_;
}

// Points the registers at the cursor's buffer from here on, with at least `need` bytes.
bool BitReader::respan(size_t need) {
  base_ = here();
  ptr_ = b.p;  // keeps here() right should the read below fail
  if (need > 1 && !cur_.get(base_, need)) return false;
  size_t avail = 0;
  const uint8_t* s = cur_.span(base_, &avail);
  if (!s) return false;
  ptr_ = b.p = s;
  end_ = s + avail;
  set_lim();
  return true;
}

}  // namespace kes::jpeg
