// Random access to the medium being carved (a device, an image file or memory).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kes {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads up to n bytes at off into dst; returns the count read, short only at the
  // end of the medium or where the medium cannot be read.
  virtual size_t read_at(uint64_t off, void* dst, size_t n) = 0;
  // Where [off, off + n) lies on the medium being scanned when it lies there in one run,
  // else UINT64_MAX: what was found of the medium's bytes there holds for these. Only
  // the scan's own medium says (a test's bytes in memory are no one medium).
  virtual uint64_t medium_offset(uint64_t /*off*/, uint64_t /*n*/) const { return UINT64_MAX; }
};

// A source over bytes in memory: tests and fuzz targets.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t size() const override { return size_; }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    if (off >= size_) return 0;
    size_t avail = static_cast<size_t>(size_ - off);
    if (n > avail) n = avail;
    std::memcpy(dst, data_ + off, n);
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace kes
