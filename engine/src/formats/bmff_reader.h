// Big-endian fields read one after another inside one box of a still, bounds-checked
// against the box's end: a table that claims more than its box holds fails the read.
#pragma once
#include <cstdint>

#include "formats/cursor.h"

namespace kes::bmff {

class FieldReader {
 public:
  FieldReader(Cursor& cur, uint64_t pos, uint64_t end) : cur_(cur), pos_(pos), end_(end) {}

  // An unsigned field of 0 to 8 bytes; 0 and a failed reader when it is not all there.
  uint64_t uint(unsigned bytes) {
    if (!ok_ || bytes > 8 || pos_ > end_ || end_ - pos_ < bytes) return fail();
    const uint8_t* p = bytes ? cur_.get(pos_, bytes) : nullptr;
    if (bytes && !p) return fail();
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) v = v << 8 | p[i];
    pos_ += bytes;
    return v;
  }
  uint32_t u8() { return static_cast<uint32_t>(uint(1)); }
  uint32_t u16() { return static_cast<uint32_t>(uint(2)); }
  uint32_t u32() { return static_cast<uint32_t>(uint(4)); }
  // A four-character code into `type`.
  bool code(uint8_t* type) {
    const uint64_t v = uint(4);
    for (int i = 0; i < 4; ++i) type[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    return ok_;
  }
  bool ok() const { return ok_; }
  uint64_t pos() const { return pos_; }

 private:
  uint64_t fail() {
    ok_ = false;
    return 0;
  }
  Cursor& cur_;
  uint64_t pos_;
  uint64_t end_;
  bool ok_ = true;
};

}  // namespace kes::bmff
