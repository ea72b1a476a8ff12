// Buffered, bounds-checked reading of one candidate file on the medium. Positions are
// relative to the file's start; nothing at or beyond limit() is ever handed out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include "byte_source.h"

namespace kes {

inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }
inline uint32_t be24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}
inline uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint64_t be64(const uint8_t* p) { return static_cast<uint64_t>(be32(p)) << 32 | be32(p + 4); }
inline uint64_t le64(const uint8_t* p) { return static_cast<uint64_t>(le32(p + 4)) << 32 | le32(p); }
// Whether a four-byte id (a box type, chunk id, tag) is `name`.
inline bool is_id(const uint8_t* id, const char* name) { return std::memcmp(id, name, 4) == 0; }
inline bool is_any_id(const uint8_t* id, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (is_id(id, name)) return true;
  return false;
}
// A chunk id of four printable ASCII characters.
inline bool printable_id(const uint8_t* id) {
  for (int i = 0; i < 4; ++i)
    if (id[i] < 0x20 || id[i] > 0x7E) return false;
  return true;
}

class Cursor {
 public:
  static constexpr size_t kBlock = size_t(1) << 18;
  static constexpr size_t kFirstBlock = size_t(1) << 14;

  Cursor(ByteSource& src, uint64_t start, uint64_t max_length);

  // Bytes that may belong to the file: max_length, cut by the medium's end and by the
  // first unreadable spot met so far.
  uint64_t limit() const { return limit_; }
  // n (at most kBlock) contiguous bytes at pos, or null when they are not all there.
  // The pointer holds until the next read: take the values out before another one.
  const uint8_t* get(uint64_t pos, size_t n);
  // The bytes from pos on, at least one, as many as are buffered; null at the limit.
  // Holds until the next read, as get's.
  const uint8_t* span(uint64_t pos, size_t* avail);
  // Where [pos, pos + n) lies on the medium, when it lies there in one run (else UINT64_MAX).
  uint64_t medium_offset(uint64_t pos, uint64_t n) const { return src_.medium_offset(start_ + pos, n); }
  // Whether [pos, pos + n) lies inside the limit (without reading it).
  bool within(uint64_t pos, uint64_t n) const { return pos <= limit_ && n <= limit_ - pos; }
  // Copies the n bytes at pos into dst, reading them alone when they are not buffered:
  // a look at a far spot that keeps the buffer where it is.
  bool peek(uint64_t pos, uint8_t* dst, size_t n);
  // Reads the bytes of [pos, pos + n) and reports whether they are all readable.
  bool readable(uint64_t pos, uint64_t n);
  // Position of the first occurrence of `pat` (1..16 bytes) in [from, to), or UINT64_MAX.
  uint64_t find(uint64_t from, uint64_t to, const uint8_t* pat, size_t len);

  // Reads at most `bytes` (1..kBlock) at a time from now on: while a walk only looks at
  // headers far apart, buffering what lies between them would cost a copy of it all.
  void set_block(size_t bytes) { block_ = bytes < 1 ? 1 : bytes > kBlock ? kBlock : bytes; }

  bool u8(uint64_t pos, uint8_t& v) {
    const uint8_t* p = get(pos, 1);
    if (p) v = *p;
    return p != nullptr;
  }

 private:
  bool fill(uint64_t pos, size_t n);
  bool buffered(uint64_t pos, size_t n) const {
    return pos >= buf_pos_ && pos - buf_pos_ <= buf_len_ && n <= buf_len_ - (pos - buf_pos_);
  }

  ByteSource& src_;
  uint64_t start_;
  uint64_t limit_;
  std::unique_ptr<uint8_t[]> buf_;  // allocated on first use, never larger than needed
  size_t buf_cap_ = 0;
  size_t block_ = kBlock;
  size_t ahead_ = kFirstBlock;  // the next read's size, doubled while reads follow in order
  uint64_t buf_pos_ = 0;
  size_t buf_len_ = 0;
};

}  // namespace kes
