// GIF: header, colour tables and blocks (extensions and images with their data
// sub-blocks) to the trailer. Image data is checked by running its LZW codes.
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t kCheckpointSpacing = 4096;  // of image data between LZW checkpoints
constexpr size_t kMaxCheckpoints = 256;         // the last ones kept: a MiB before the break

// Skips a chain of data sub-blocks from pos; false when it runs off the data.
bool skip_sub_blocks(Cursor& cur, uint64_t& pos) {
  for (;;) {
    uint8_t n = 0;
    if (!cur.u8(pos, n)) return false;
    if (n == 0) {
      ++pos;
      return true;
    }
    pos += 1 + uint64_t(n);
    if (!cur.within(pos, 1)) return false;
  }
}

// Follows the LZW codes of one image's sub-blocks from pos: every code must be one the
// decoder knows by then, and the pixels must not outnumber the image's. Data after
// the end code is tolerated.
class LzwCheck {
 public:
  // `exact`: the end code must come with the last pixel, as encoders write it.
  LzwCheck(int min_size, uint64_t pixels, bool exact) : min_(min_size), pixels_left_(pixels), exact_(exact) {
    reset();
  }
  // The check failed on the end code: it came before the image's last pixel.
  bool ended_short() const { return exact_ && ended_ && pixels_left_ > 0; }

  bool feed(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n && !ended_; ++i) {
      acc_ |= uint32_t(p[i]) << nacc_;
      nacc_ += 8;
      while (nacc_ >= size_ && !ended_) {
        uint32_t code = acc_ & ((1u << size_) - 1);
        acc_ >>= size_;
        nacc_ -= size_;
        if (!code_ok(code)) return false;
      }
    }
    return true;
  }

 private:
  void reset() {
    size_ = min_ + 1;
    next_ = (1u << min_) + 2;
    prev_ = -1;
  }
  bool code_ok(uint32_t code) {
    const uint32_t clear = 1u << min_;
    if (code == clear) {
      reset();
      return true;
    }
    if (code == clear + 1) {
      ended_ = true;
      return !exact_ || pixels_left_ == 0;
    }
    uint32_t len;
    if (prev_ < 0) {
      if (code > clear) return false;  // the first code after a clear is a literal
      len = 1;
    } else {
      if (code > next_ || (code == next_ && next_ >= 4096)) return false;
      uint32_t prev_len = prev_ < int(clear) ? 1 : lens_[prev_];
      len = code < clear ? 1 : code == next_ ? prev_len + 1 : lens_[code];
      if (next_ < 4096) {
        lens_[next_] = static_cast<uint16_t>(std::min<uint32_t>(prev_len + 1, 65535));
        ++next_;
        if (next_ == (1u << size_) && size_ < 12) ++size_;
      }
    }
    prev_ = static_cast<int>(code);
    if (len > pixels_left_) return false;
    pixels_left_ -= len;
    return true;
  }

  int min_;
  uint64_t pixels_left_;
  bool exact_;
  uint32_t acc_ = 0;
  int nacc_ = 0, size_ = 0;
  uint32_t next_ = 0;
  int prev_ = -1;
  bool ended_ = false;
  uint16_t lens_[4096] = {};
};

// Encoders cut an image's data into sub-blocks of one size, the last one shorter: a size
// out of step is foreign data (the LZW codes alone would let much of it through).
class SubBlockSizes {
 public:
  bool fit(uint8_t n) {
    if (short_seen_ || (size_ && n > size_)) return false;
    if (!size_) size_ = n;
    short_seen_ = n < size_;
    return true;
  }

 private:
  uint8_t size_ = 0;
  bool short_seen_ = false;
};

// Follows an image's sub-blocks, running their data through `lzw` when given, else by
// their sizes alone; pos ends after them, or at the end of the sub-block that broke.
// `sizes` holds those seen before pos; `at_sub_block(pos, sizes)` is told of every
// sub-block before it is read.
template <class AtSubBlock>
bool image_data(Cursor& cur, uint64_t& pos, LzwCheck* lzw, SubBlockSizes sizes, AtSubBlock at_sub_block) {
  for (;;) {
    at_sub_block(pos, sizes);
    uint8_t n = 0;
    if (!cur.u8(pos, n)) return false;
    ++pos;
    if (n == 0) return true;
    if (!sizes.fit(n)) return false;
    const uint8_t* d = lzw ? cur.get(pos, n) : nullptr;
    const bool ok = !lzw || (d && lzw->feed(d, n));
    pos += n;
    if (!ok) return false;
  }
}

bool image_data(Cursor& cur, uint64_t& pos, LzwCheck* lzw, SubBlockSizes sizes = {}) {
  return image_data(cur, pos, lzw, sizes, [](uint64_t, const SubBlockSizes&) {});
}

// The first image's decoding at one of its sub-blocks, for going on from there over
// other bytes after it: a fragment search's candidates each go on from the last such
// point before their splice instead of running the image's codes from its start.
struct ImageCheckpoint {
  uint64_t image = 0;  // the image descriptor's position
  uint64_t at = 0;     // the sub-block where decoding goes on
  SubBlockSizes sizes;
  LzwCheck lzw;
};

// The measure, trusting the first `trusted` bytes (resume_gif), going on with the first
// image from `from` when given; `record`, when given, keeps checkpoints of the first
// image's decoding (exact, as a re-measure decodes).
Carve walk_gif(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted, const ImageCheckpoint* from,
               std::deque<ImageCheckpoint>* record) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 13);
  if (!h || !probe_gif(h)) return corrupt();
  uint64_t pos = 13;
  if (h[10] & 0x80) pos += 3u * (2u << (h[10] & 7));
  uint64_t images = 0, good = cur.within(0, pos) ? pos : 0, broken = 0;
  for (uint32_t blocks = 0; blocks < (1u << 24); ++blocks) {
    cur.set_block(pos < trusted ? 16 : Cursor::kBlock);  // trusted images: their sub-block sizes only
    uint8_t tag = 0;
    if (!cur.u8(pos, tag)) break;
    if (tag == 0x3B) {
      if (images == 0) return corrupt();
      return make_carve(Verdict::complete, pos + 1, "gif");
    }
    if (tag == 0x21) {
      uint64_t p = pos + 2;
      if (!cur.within(pos, 2) || !skip_sub_blocks(cur, p)) break;
      pos = good = p;
      continue;
    }
    if (tag != 0x2C) break;
    const uint8_t* d = cur.get(pos, 10);
    if (!d || le16(d + 5) == 0 || le16(d + 7) == 0) break;
    const uint64_t pixels = uint64_t(le16(d + 5)) * le16(d + 7);
    uint64_t p = pos + 10;
    if (d[9] & 0x80) p += 3u * (2u << (d[9] & 7));
    uint8_t code_size = 0;
    if (!cur.u8(p, code_size) || code_size < 2 || code_size > 11) break;
    ++p;
    const uint64_t data = p;
    const bool resumed = from && from->image == pos;
    const SubBlockSizes sizes = resumed ? from->sizes : SubBlockSizes{};
    // A re-measure follows the sub-blocks by their sizes first: an image inside the
    // trusted bytes held before, and one whose sizes fall out of step past them broke
    // there, without running its LZW codes.
    if (trusted > data) {
      if (resumed) p = from->at;
      const bool whole = image_data(cur, p, nullptr, sizes);
      if (!whole) {
        broken = p;
        break;
      }
      if (p <= trusted) {
        ++images;
        pos = good = p;
        continue;
      }
    }
    cur.set_block(Cursor::kBlock);
    // In a fragment search (a re-measure over a splice) the pixel count must come out
    // exact: another GIF's codes from the same offset decode on to its own end, and
    // only the count tells that they are not this image's. Such an image broke
    // somewhere unknown, and counts as followed no further than its start.
    LzwCheck lzw = resumed ? from->lzw : LzwCheck(code_size, pixels, trusted > 0);
    p = resumed ? from->at : data;
    const bool whole = record && images == 0
                           ? image_data(cur, p, &lzw, sizes, [&](uint64_t at, const SubBlockSizes& s) {
                               if (!record->empty() && at < record->back().at + kCheckpointSpacing) return;
                               if (record->size() == kMaxCheckpoints) record->pop_front();
                               record->push_back(ImageCheckpoint{pos, at, s, lzw});
                             })
                           : image_data(cur, p, &lzw, sizes);
    if (!whole) {
      broken = lzw.ended_short() ? data : p;
      break;
    }
    ++images;
    pos = good = p;
  }
  // Broken or cut: keep the complete blocks once a picture is among them.
  return make_carve(images > 0 ? Verdict::truncated : Verdict::corrupt, good, "gif", broken);
}

// The GIF splicer: the first image's LZW state checkpointed near where the file broke,
// so that a candidate whose splice lies in that image decodes from the sub-block before
// its splice. Everything else is measured as resume_gif does.
class GifSplicer : public Splicer {
 public:
  GifSplicer(ByteSource& file, uint64_t max_length, const Carve& measured) : trusted_(measured.length) {
    walk_gif(file, 0, max_length, 1, nullptr, &checkpoints_);
  }
  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const uint64_t trusted = std::min(splice, trusted_);
    const ImageCheckpoint* from = nullptr;
    for (const ImageCheckpoint& cp : checkpoints_)
      if (cp.at <= splice && trusted > 0) from = &cp;
    return walk_gif(file, 0, limit, trusted, from, nullptr);
  }

 private:
  const uint64_t trusted_;
  std::deque<ImageCheckpoint> checkpoints_;
};

}  // namespace

bool probe_gif(const uint8_t* h) {
  if (std::memcmp(h, "GIF8", 4) != 0 || (h[4] != '7' && h[4] != '9') || h[5] != 'a') return false;
  return le16(h + 6) != 0 && le16(h + 8) != 0;
}

Carve resume_gif(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted) {
  return walk_gif(src, start, max_length, trusted, nullptr, nullptr);
}

Carve measure_gif(ByteSource& src, uint64_t start, uint64_t max_length) {
  return resume_gif(src, start, max_length, 0);
}

std::unique_ptr<Splicer> gif_splicer(ByteSource& file, uint64_t max_length, const Carve& measured) {
  return std::unique_ptr<Splicer>(new GifSplicer(file, max_length, measured));
}

}  // namespace kes
