// A walk's state kept along a file, so that a fragment search's re-measure goes on from
// the last state before its splice instead of walking the file again from its start.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kes {

// States (`Mark`s, each with its file position `pos`) taken every `every` units of a
// walk, at most `most`: in a longer file they thin out, every other one dropped and the
// spacing doubled, so that a file of any length keeps a bounded number.
template <class Mark>
class WalkMarks {
 public:
  WalkMarks(uint64_t every, size_t most) : every_(every), most_(most) {}

  // Whether the state before unit `n` (the walk's units counted from 0, in order) is to be kept.
  bool due(uint64_t n) {
    if (n % every_ != 0) return false;
    if (at_.size() == most_) {
      for (size_t i = 1; 2 * i < at_.size(); ++i) at_[i] = std::move(at_[2 * i]);
      at_.erase(at_.begin() + static_cast<std::ptrdiff_t>((at_.size() + 1) / 2), at_.end());
      every_ *= 2;
    }
    return n % every_ == 0;
  }
  void add(Mark m) { at_.push_back(std::move(m)); }
  // The last mark at or before `pos` - `slack` (the bytes a mark's state was read from
  // past its position), or null.
  const Mark* before(uint64_t pos, uint64_t slack = 0) const {
    auto after = std::upper_bound(at_.begin(), at_.end(), pos,
                                  [slack](uint64_t p, const Mark& m) { return p < m.pos + slack; });
    return after == at_.begin() ? nullptr : &*(after - 1);
  }

 private:
  std::vector<Mark> at_;
  uint64_t every_;
  size_t most_;
};

}  // namespace kes
