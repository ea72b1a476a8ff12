// A file as a list of pieces (extents) on the medium, and a ByteSource that reads the
// pieces as one run of bytes, so that a format's measure follows a fragmented file
// unchanged: offset 0 is the file's first byte.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include "byte_source.h"

namespace kes {

// Runs a file may be read from: a listed chain, a picture placed over free clusters. The
// fragment search follows a deleted file through fewer (fragment_search.cpp).
constexpr size_t kMaxPieces = 64;

struct Extent {
  uint64_t offset = 0;  // on the medium
  uint64_t length = 0;
};

struct Pieces {
  Extent piece[kMaxPieces];
  size_t count = 0;

  static Pieces whole(uint64_t offset, uint64_t length) {
    Pieces p;
    p.piece[0] = {offset, length};
    p.count = 1;
    return p;
  }
  uint64_t length() const {
    uint64_t n = 0;
    for (size_t i = 0; i < count; ++i) n += piece[i].length;
    return n;
  }
  // Appends `bytes` at medium `offset`, to the last piece when they follow it; false when
  // they would need a piece more than kMaxPieces.
  bool add(uint64_t offset, uint64_t bytes) {
    Extent* last = count > 0 ? &piece[count - 1] : nullptr;
    if (last && last->offset + last->length == offset) {
      last->length += bytes;
    } else {
      if (count == kMaxPieces) return false;
      piece[count++] = {offset, bytes};
    }
    return true;
  }
  // Keeps the first `length` bytes of the file.
  void cut(uint64_t length) {
    size_t i = 0;
    for (; i < count && length > 0; ++i) {
      piece[i].length = std::min(piece[i].length, length);
      length -= piece[i].length;
    }
    count = i;
  }
  // The medium offset of file offset `pos` (inside the pieces), UINT64_MAX past them.
  uint64_t medium_offset(uint64_t pos) const {
    for (size_t i = 0; i < count; ++i) {
      if (pos < piece[i].length) return piece[i].offset + pos;
      pos -= piece[i].length;
    }
    return UINT64_MAX;
  }
};

class SplicedSource : public ByteSource {
 public:
  SplicedSource(ByteSource& medium, const Pieces& pieces) : medium_(medium), pieces_(pieces), size_(pieces.length()) {}
  uint64_t size() const override { return size_; }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    uint64_t base = 0;
    for (size_t i = 0; i < pieces_.count && done < n; ++i) {
      const Extent& e = pieces_.piece[i];
      const uint64_t pos = off + done;
      if (pos < base + e.length) {
        const uint64_t in = pos - base;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n - done, e.length - in));
        const size_t got = medium_.read_at(e.offset + in, out + done, take);
        done += got;
        if (got < take) break;
      }
      base += e.length;
    }
    bytes_read_ += done;
    return done;
  }
  uint64_t medium_offset(uint64_t off, uint64_t n) const override {
    uint64_t base = 0;
    for (size_t i = 0; i < pieces_.count; ++i) {
      const Extent& e = pieces_.piece[i];
      if (off < base + e.length) {
        const uint64_t in = off - base;
        return n <= e.length - in ? medium_.medium_offset(e.offset + in, n) : UINT64_MAX;
      }
      base += e.length;
    }
    return UINT64_MAX;
  }
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  ByteSource& medium_;
  const Pieces pieces_;
  const uint64_t size_;
  uint64_t bytes_read_ = 0;
};

// A file's bytes with those from `from` up to `to` replaced by bytes that no file holds
// (a fixed pseudo-random run): what a structure validates over them, it validates over
// anything.
class NoiseIn : public ByteSource {
 public:
  NoiseIn(ByteSource& file, uint64_t from, uint64_t to = UINT64_MAX) : file_(file), from_(from), to_(to) {}
  uint64_t size() const override { return file_.size(); }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    uint8_t* out = static_cast<uint8_t*>(dst);
    n = static_cast<size_t>(std::min<uint64_t>(n, size() > off ? size() - off : 0));
    size_t done = 0;
    while (done < n) {
      const uint64_t at = off + done;
      const bool noisy = at >= from_ && at < to_;
      const uint64_t run_end = noisy ? to_ : at < from_ ? from_ : UINT64_MAX;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(n - done, run_end - at));
      if (noisy) {
        for (size_t i = 0; i < want; ++i) out[done + i] = noise(at + i);
      } else if (const size_t got = file_.read_at(at, out + done, want); got < want) {
        return done + got;
      }
      done += want;
    }
    return done;
  }
  uint64_t medium_offset(uint64_t off, uint64_t n) const override {
    return off < to_ && off + n > from_ ? UINT64_MAX : file_.medium_offset(off, n);
  }

 private:
  static uint8_t noise(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    return static_cast<uint8_t>(x >> 40);
  }
  ByteSource& file_;
  const uint64_t from_, to_;
};

}  // namespace kes
