// Builds TIFF-structured files for the tests: blobs and IFDs appended in order, values
// longer than four bytes stored out of line, in either byte order.
#pragma once
#include <string>
#include <vector>

#include "formats/samples.h"

namespace kes::test {

struct Field {
  uint16_t tag, type;
  uint32_t count;
  Bytes data;  // the values in file byte order
};

class TiffMaker {
 public:
  explicit TiffMaker(bool le, uint16_t magic = 42) : le_(le) {
    out = Bytes(8);
    out[0] = out[1] = le ? 'I' : 'M';
    p16(out, 2, magic);
  }
  Bytes out;

  uint32_t blob(const Bytes& b) {
    if (out.size() & 1) out.push_back(0);
    uint32_t at = static_cast<uint32_t>(out.size());
    out.insert(out.end(), b.begin(), b.end());
    return at;
  }
  void set_first(uint32_t off) { p32(out, 4, off); }

  Field shorts(uint16_t tag, std::vector<uint16_t> v) const {
    Field f{tag, 3, static_cast<uint32_t>(v.size()), Bytes(v.size() * 2)};
    for (size_t i = 0; i < v.size(); ++i) p16(f.data, 2 * i, v[i]);
    return f;
  }
  Field longs(uint16_t tag, std::vector<uint32_t> v, uint16_t type = 4) const {
    Field f{tag, type, static_cast<uint32_t>(v.size()), Bytes(v.size() * 4)};
    for (size_t i = 0; i < v.size(); ++i) p32(f.data, 4 * i, v[i]);
    return f;
  }
  Field ascii(uint16_t tag, const std::string& s) const {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return Field{tag, 2, static_cast<uint32_t>(b.size()), b};
  }
  Field undefined(uint16_t tag, const Bytes& b) const {
    return Field{tag, 7, static_cast<uint32_t>(b.size()), b};
  }
  Field bytes(uint16_t tag, const Bytes& b) const { return Field{tag, 1, static_cast<uint32_t>(b.size()), b}; }

  // Appends an IFD (long values first, then the directory); returns its offset.
  // `base` is subtracted from out-of-line offsets (maker notes with their own origin).
  uint32_t ifd(std::vector<Field> fields, uint32_t next = 0, uint32_t base = 0) {
    std::vector<uint32_t> where(fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].data.size() > 4) where[i] = blob(fields[i].data) - base;
    if (out.size() & 1) out.push_back(0);
    uint32_t at = static_cast<uint32_t>(out.size());
    Bytes d(2 + 12 * fields.size() + 4);
    p16(d, 0, static_cast<uint16_t>(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
      size_t e = 2 + 12 * i;
      p16(d, e, fields[i].tag);
      p16(d, e + 2, fields[i].type);
      p32(d, e + 4, fields[i].count);
      if (fields[i].data.size() > 4)
        p32(d, e + 8, where[i]);
      else
        std::copy(fields[i].data.begin(), fields[i].data.end(), d.begin() + e + 8);
    }
    p32(d, d.size() - 4, next);
    out.insert(out.end(), d.begin(), d.end());
    return at - base;
  }

  void p16(Bytes& b, size_t at, uint16_t v) const { le_ ? put16le(b, at, v) : put16be(b, at, v); }
  void p32(Bytes& b, size_t at, uint32_t v) const { le_ ? put32le(b, at, v) : put32be(b, at, v); }

 private:
  bool le_;
};

// A minimal but real JPEG to embed as a preview.
inline Bytes preview_jpeg() { return sample("jpg_baseline.jpg"); }

}  // namespace kes::test
