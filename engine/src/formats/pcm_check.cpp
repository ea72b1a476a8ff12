#include "formats/pcm_check.h"

#include <algorithm>

namespace kes {
namespace {

constexpr uint64_t kSector = 512;
constexpr unsigned kMaxChannels = 32;
constexpr unsigned kOpening = 4;      // sectors that must be calm for the check to hold
constexpr unsigned kMinSamples = 64;  // second differences a sector needs to be judged
// Mean absolute second difference over full scale: recorded sound stays below kCalm in
// its quiet parts and rarely passes 0.45 anywhere (chimes, sibilants at 8 kHz); random
// bytes give 1.0-1.2, compressed data and pixel rows mostly 0.7 and more.
constexpr double kCalm = 0.15;
constexpr double kForeign = 0.7;
constexpr uint64_t kMaxBack = 256;  // sectors moved back over: 128 KiB, a large cluster

int64_t sample_at(const uint8_t* p, const PcmLayout& l) {
  switch (l.sample_bytes) {
    case 1:
      return l.offset_bytes ? int64_t(p[0]) - 128 : int64_t(int8_t(p[0]));
    case 2:
      return int16_t(l.big_endian ? be16(p) : le16(p));
    case 3: {
      const uint32_t u = l.big_endian ? be24(p) : uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      return int32_t(u << 8) >> 8;
    }
    default:
      return int32_t(l.big_endian ? be32(p) : le32(p));
  }
}

// Second differences of the samples, summed per sector.
class SoundCheck {
 public:
  SoundCheck(const PcmLayout& l, uint64_t from, uint64_t to)
      : l_(l), from_(from), to_(to), frame_(uint64_t(l.sample_bytes) * l.channels),
        full_scale_(double(uint64_t(1) << (8 * l.sample_bytes - 1))), sector_(from / kSector) {}

  uint64_t frames() const { return (to_ - from_) / frame_; }
  uint64_t frame_bytes() const { return frame_; }

  // Takes frame k (at `p`); true when the sectors so far show where the file's sound
  // ends (`end()`).
  bool take(uint64_t k, const uint8_t* p) {
    const uint64_t s = (from_ + k * frame_) / kSector;
    if (s != sector_) {
      if (judge()) return true;
      sector_ = s, sum_ = 0, count_ = 0;
    }
    for (unsigned c = 0; c < l_.channels; ++c) {
      const int64_t v = sample_at(p + c * l_.sample_bytes, l_);
      if (history_ == 2) {
        const int64_t r = v - 2 * last_[c] + before_[c];
        sum_ += static_cast<uint64_t>(r < 0 ? -r : r);
        ++count_;
      }
      before_[c] = last_[c];
      last_[c] = v;
    }
    if (history_ < 2) ++history_;
    return false;
  }

  // The last sector, once every frame was taken.
  bool finish() { return judge(); }
  uint64_t end() const { return end_; }

 private:
  // Whether the sector just summed ends the file's own sound (at `end_`), or the
  // opening shows sound the check cannot tell from other bytes (`end_` is `to` then).
  bool judge() {
    if (count_ < kMinSamples) return false;
    const double level = double(sum_) / (double(count_) * full_scale_);
    if (opening_ < kOpening) {
      ++opening_;
      return level > kCalm && (end_ = to_, true);
    }
    if (level <= kCalm) {
      // Samples that do not move at all may be the zeroed clusters a card leaves free.
      still_from_ = sum_ == 0 ? std::min(still_from_, sector_) : UINT64_MAX;
      restless_from_ = UINT64_MAX;
      return false;
    }
    restless_from_ = std::min(restless_from_, sector_);
    if (level < kForeign) return false;
    const uint64_t first = std::min(still_from_, restless_from_);
    end_ = std::max(from_, std::max(first, sector_ > kMaxBack ? sector_ - kMaxBack : 0) * kSector);
    return true;
  }

  const PcmLayout l_;
  const uint64_t from_, to_, frame_;
  const double full_scale_;
  int64_t last_[kMaxChannels] = {}, before_[kMaxChannels] = {};
  unsigned history_ = 0, opening_ = 0;
  uint64_t sector_, sum_ = 0, count_ = 0;
  uint64_t restless_from_ = UINT64_MAX;  // first of the restless sectors just before
  uint64_t still_from_ = UINT64_MAX;     // first of the still sectors before those
  uint64_t end_ = 0;
};

}  // namespace

uint64_t pcm_holds_to(Cursor& cur, uint64_t from, uint64_t to, const PcmLayout& l) {
  if (l.sample_bytes < 1 || l.sample_bytes > 4 || l.channels < 1 || l.channels > kMaxChannels || to <= from)
    return to;
  SoundCheck check(l, from, to);
  const uint64_t frames = check.frames(), frame = check.frame_bytes(), per_read = Cursor::kBlock / frame;
  for (uint64_t k = 0; k < frames;) {
    const uint64_t n = std::min(per_read, frames - k);
    const uint8_t* p = cur.get(from + k * frame, static_cast<size_t>(n * frame));
    if (!p) return to;  // unreadable: the walk over the chunks tells
    for (const uint64_t stop = k + n; k < stop; ++k, p += frame)
      if (check.take(k, p)) return check.end();
  }
  return check.finish() ? check.end() : to;
}

}  // namespace kes
