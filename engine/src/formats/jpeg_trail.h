// Checkpoints of a scan's decoding, for going on from inside the entropy-coded data
// with other bytes: a fragment search that suspects the file continues elsewhere on the
// medium resumes the decoding from the last checkpoint before the suspected seam, over
// a view that splices the candidate continuation in, and sees how far it validates.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kes::jpeg {

// The whole decoding state at an MCU boundary. The validator does not reconstruct
// coefficients, so there are no DC predictions to keep: the bit position, the end-of-
// band run and the MCU index are all it needs (the restart marker expected next follows
// from the index and the interval). Progressive refinement also needs the non-zero
// masks, which the trail's undo log puts back.
struct Checkpoint {
  uint64_t pos = 0;   // where reading goes on; the bytes before it are decoded or in `bits`
  uint64_t bits = 0;  // bits read but not yet decoded, from the top bit down
  int nbits = 0;
  uint64_t mcu = 0;   // the next MCU to decode (after the restart marker that precedes it)
  uint32_t eobrun = 0;
  uint64_t undo = 0;  // mask changes logged before this point
};

class Trail {
 public:
  // Records a checkpoint about every `spacing` bytes of entropy-coded data in the scans
  // decoded from now on, and logs mask changes; 0 does neither.
  void enable(uint32_t spacing) { spacing_ = spacing; }
  bool enabled() const { return spacing_ != 0; }
  // Records no more checkpoints (mask changes are still logged): those taken so far are
  // where decoding resumes, each time with other bytes after them. A rewind keeps those
  // that stay valid, so that a later resume need not decode from further back.
  void freeze() { frozen_ = true; }
  void unfreeze() { frozen_ = false; }
  bool recording() const { return enabled() && !frozen_; }
  // The last checkpoint of the current scan at or before `pos` (the furthest back ones
  // are dropped when a scan has very many), or null.
  const Checkpoint* at_or_before(uint64_t pos) const;
  size_t size() const { return points_.size(); }

  // For the decoders: a new scan begins.
  void clear();
  // Whether a checkpoint at `pos` is due, and from where on the next one is.
  bool due(uint64_t pos) const { return pos >= next_; }
  uint64_t next_due() const { return next_; }
  void record(const Checkpoint& cp);
  uint64_t logged() const { return undo_base_ + undo_.size(); }
  // A progressive scan changes the non-zero mask of a block.
  void log_mask(int comp, uint32_t block, uint64_t old);
  // Puts the masks back as they were at `cp` (one of this trail's) and drops the
  // checkpoints after it: all of them while recording (they may hold other bytes' state),
  // once frozen only those after a mask change.
  void rewind(const Checkpoint& cp, std::vector<uint64_t>* masks);

 private:
  struct Undo {
    uint32_t block;
    uint8_t comp;
    uint64_t old;
  };
  void drop_oldest();

  uint32_t spacing_ = 0;
  bool frozen_ = false;
  uint64_t next_ = 0;
  std::deque<Checkpoint> points_;
  std::deque<Undo> undo_;
  uint64_t undo_base_ = 0;  // count of the entries dropped from the front
};

}  // namespace kes::jpeg
