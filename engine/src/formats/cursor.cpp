#include "formats/cursor.h"

#include <algorithm>
#include <cstring>

namespace kes {

Cursor::Cursor(ByteSource& src, uint64_t start, uint64_t max_length) : src_(src), start_(start) {
  uint64_t size = src.size();
  limit_ = start < size ? std::min(max_length, size - start) : 0;
}

namespace {

// A pointer from get() or span() holds only until the next read. Under the address
// sanitizer every read that misses the buffer frees it and takes small blocks, so that
// a parser which keeps a pointer across reads is caught on small files too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFreshBuffers = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFreshBuffers = true;
#else
constexpr bool kFreshBuffers = false;
#endif
#else
constexpr bool kFreshBuffers = false;
#endif

}  // namespace

bool Cursor::fill(uint64_t pos, size_t n) {
  if (!within(pos, n)) return false;
  // Reads ahead as far as the parser went on in order: a look at a header or a far jump
  // (a candidate splice measured again, the last byte of a payload) takes a small block,
  // a walk through the data ever larger ones.
  const bool in_order = buf_len_ != 0 && pos >= buf_pos_ && pos - buf_pos_ <= buf_len_;
  ahead_ = in_order ? std::min(ahead_ * 2, kBlock) : kFirstBlock;
  const size_t block = kFreshBuffers ? std::min<size_t>(block_, 4096) : std::min(block_, ahead_);
  size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(block, n), limit_ - pos));
  if (kFreshBuffers || !buf_ || want > buf_cap_) {  // as large as the reads need: a table's cursor takes little
    buf_cap_ = want;
    buf_.reset(new uint8_t[buf_cap_]);
  }
  size_t got = src_.read_at(start_ + pos, buf_.get(), want);
  buf_pos_ = pos;
  buf_len_ = got;
  if (got < want) limit_ = pos + got;  // unreadable or ended: nothing beyond belongs to us
  return got >= n;
}

const uint8_t* Cursor::get(uint64_t pos, size_t n) {
  if (n > kBlock) return nullptr;
  if (buffered(pos, n)) return buf_.get() + (pos - buf_pos_);
  if (!fill(pos, n)) return nullptr;
  return buf_.get();
}

const uint8_t* Cursor::span(uint64_t pos, size_t* avail) {
  if (!(pos >= buf_pos_ && pos - buf_pos_ < buf_len_)) {
    if (!fill(pos, 1)) {
      *avail = 0;
      return nullptr;
    }
  }
  size_t off = static_cast<size_t>(pos - buf_pos_);
  *avail = buf_len_ - off;
  return buf_.get() + off;
}

bool Cursor::peek(uint64_t pos, uint8_t* dst, size_t n) {
  if (!within(pos, n)) return false;
  if (buffered(pos, n)) {
    std::memcpy(dst, buf_.get() + (pos - buf_pos_), n);
    return true;
  }
  return src_.read_at(start_ + pos, dst, n) == n;
}

bool Cursor::readable(uint64_t pos, uint64_t n) {
  if (!within(pos, n)) return false;
  if (n == 0) return true;
  // Only the last byte needs a read: a short read cuts the limit at the bad spot, and
  // what lies before it is read when a parser asks for it.
  uint64_t last = pos + n - 1;
  if (!get(last, 1)) return false;
  return within(pos, n);
}

uint64_t Cursor::find(uint64_t from, uint64_t to, const uint8_t* pat, size_t len) {
  if (len == 0 || len > 16) return UINT64_MAX;
  uint64_t pos = from;
  while (pos < to && within(pos, len)) {
    size_t avail = 0;
    const uint8_t* p = span(pos, &avail);
    if (!p) break;
    uint64_t room = std::min<uint64_t>(avail, to - pos);
    if (room < len) {
      // The pattern may straddle the buffer's end: look at it through a fresh block.
      const uint8_t* q = get(pos, len);
      if (!q) break;
      if (std::memcmp(q, pat, len) == 0) return pos;
      ++pos;
      continue;
    }
    size_t n = static_cast<size_t>(room) - len + 1;
    const uint8_t* end = p + n;
    for (const uint8_t* s = p; s < end;) {
      const void* hit = std::memchr(s, pat[0], static_cast<size_t>(end - s));
      if (!hit) break;
      const uint8_t* h = static_cast<const uint8_t*>(hit);
      if (std::memcmp(h, pat, len) == 0) return pos + static_cast<uint64_t>(h - p);
      s = h + 1;
    }
    pos += n;
  }
  return UINT64_MAX;
}

}  // namespace kes
