#include "formats/jpeg_trail.h"

#include <algorithm>
#include <iterator>

namespace kes::jpeg {
namespace {

// Bounds on the memory a trail takes: checkpoints and logged mask changes.
constexpr size_t kMaxPoints = size_t(1) << 16;
constexpr size_t kMaxUndo = size_t(1) << 20;

}  // namespace

const Checkpoint* Trail::at_or_before(uint64_t pos) const {
  auto after = std::upper_bound(points_.begin(), points_.end(), pos,
                                [](uint64_t p, const Checkpoint& cp) { return p < cp.pos; });
  return after == points_.begin() ? nullptr : &*std::prev(after);
}

void Trail::clear() {
  frozen_ = false;
  points_.clear();
  undo_base_ += undo_.size();
  undo_.clear();
  next_ = 0;
}

void Trail::record(const Checkpoint& cp) {
  if (points_.size() >= kMaxPoints) drop_oldest();
  points_.push_back(cp);
  points_.back().undo = logged();
  next_ = cp.pos + spacing_;
}

void Trail::log_mask(int comp, uint32_t block, uint64_t old) {
  if (points_.empty()) return;  // nothing to go back to
  undo_.push_back(Undo{block, static_cast<uint8_t>(comp), old});
  while (undo_.size() > kMaxUndo && !points_.empty()) drop_oldest();
}

void Trail::drop_oldest() {
  points_.pop_front();
  uint64_t keep_from = points_.empty() ? logged() : points_.front().undo;
  while (undo_base_ < keep_from && !undo_.empty()) {
    undo_.pop_front();
    ++undo_base_;
  }
}

void Trail::rewind(const Checkpoint& cp, std::vector<uint64_t>* masks) {
  while (!undo_.empty() && logged() > cp.undo) {
    const Undo& u = undo_.back();
    std::vector<uint64_t>& m = masks[u.comp & 3];
    if (u.block < m.size()) m[u.block] = u.old;
    undo_.pop_back();
  }
  while (!points_.empty() && points_.back().mcu > cp.mcu && (!frozen_ || points_.back().undo > cp.undo))
    points_.pop_back();
  next_ = cp.pos + spacing_;
}

}  // namespace kes::jpeg
