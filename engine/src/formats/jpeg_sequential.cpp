// Baseline and extended sequential scans: the hot loop. The bit reader's registers live
// in locals and go back to the reader only around slow paths.
#include <algorithm>

#include "formats/jpeg_decoder.h"

namespace kes::jpeg {
namespace {

// Scans of fewer blocks decode without group and block-start tables, which take a while
// to build.
constexpr uint64_t kSettledTableBlocks = 4096;
constexpr int kMaxMcuBlocks = 10;

struct Slot {  // one block of a sequential MCU
  const uint16_t* start;
  const uint16_t* dc;
  const uint16_t* ac;
  const HuffTable* dct;
  const HuffTable* act;
};

// The tables the hot loop picks from after a step in a block: small, for cheap indexing.
struct Next {
  const uint16_t* group;       // the block goes on
  const uint16_t* next_start;  // the block ended: the next block's start
};

// The hot loop's state: the bit registers, where decoding stands in the MCU (k is the
// position in the block, 0 at its start), and how many MCUs it may finish before the
// outer loop has to look (a restart marker, a checkpoint, the scan's end). Byte
// positions are origin + pointer, without loads: the origin changes only when a slow
// path moves the reader to another buffer span. Few values, so that all stay in registers.
struct Steps {
  Bits b;
  const uint16_t* table;  // of the next look-up, picked without a load on the critical path
  const uint16_t* group;
  const uint16_t* next_start;
  int k = 0;
  const Next* slot = nullptr;  // the block being decoded
  const Next* first = nullptr;
  const Next* end = nullptr;
  uint64_t burst = 0;      // MCUs it may finish
  uint64_t mcu_start = 0;  // where the MCU being decoded starts
  uint64_t origin = 0;

  uint16_t lookup() const { return table[b.acc >> (kWordBits - kLook)]; }
  // After a step: the block's and the MCU's ends, kept out of branches. True when the
  // burst is done.
  bool advance(int block_end) {
    k &= block_end - 1;
    table = block_end ? next_start : group;
    slot += block_end;
    bool wrap = slot == end;
    slot = wrap ? first : slot;
    group = slot->group;
    next_start = slot->next_start;
    burst -= wrap;
    mcu_start = wrap ? origin + reinterpret_cast<uintptr_t>(b.p) - (b.n >> 3) : mcu_start;
    return burst == 0;
  }
};

// The steps that need only a table look-up (and a refill a word at a time), up to one
// that needs more or the burst's end. Out of line and on a copy, so that with nothing
// but its own values in play the compiler keeps them all in registers.
__attribute__((noinline)) void fast_steps(Steps& io) {
  Steps s = io;
  for (;;) {
    if (s.b.n < kFastBits && !refill_fast(s.b) && !refill_bytes(s.b)) break;
    uint16_t e = s.lookup();
    int step = entry_step(e);
    if (s.k + (step & 127) >= 64) break;  // unsettled, or beyond the block
    consume(s.b, entry_bits(e));
    s.k += step;
    if (s.advance(e >> 13 & 1)) break;  // the step's end-of-block bit, straight from the entry
  }
  io = s;
}

class Sequential {
 public:
  explicit Sequential(ScanRun& run) : run_(run), st_(run.st) {}

  // Two loops: fast_steps() takes the steps that need only a table look-up; this one
  // takes the rest (a refill byte by byte, an unsettled entry, the data's end, restart
  // markers and checkpoints).
  ScanResult run(uint64_t first, uint64_t until) {
    const int nb = plan_blocks();
    Next next[kMaxMcuBlocks];
    for (int i = 0; i < nb; ++i) next[i] = Next{group_[i], plan_[i + 1 < nb ? i + 1 : 0].start};
    const uint64_t total = scan_mcus(st_);
    const uint32_t ri = st_.restart_interval;
    const bool recording = st_.trail.recording();
    BitReader& br = run_.br;
    Steps s;
    s.b = br.b;
    s.origin = br.origin();
    s.mcu_start = br.consumed_pos(s.b);
    s.slot = s.first = next;
    s.end = next + nb;
    s.table = plan_[0].start;
    s.group = next[0].group;
    s.next_start = next[0].next_start;
    const uint64_t end = std::min(total, until);
    uint64_t mcu = std::min(first, total);
    if (recording) run_.checkpoint(s.b, mcu);
    while (mcu < end) {
      // MCUs up to the next restart marker, or one at a time while checkpoints are recorded.
      const uint64_t burst = std::min<uint64_t>(recording ? 1 : ri ? ri - mcu % ri : total - mcu, end - mcu);
      s.burst = burst;
      while (s.burst) {
        fast_steps(s);
        if (s.burst && !slow_step(s)) {
          br.b = s.b;
          return run_.mcu_failed(why_, mcu + (burst - s.burst), s.mcu_start);
        }
      }
      mcu += burst;
      if (mcu >= end) break;
      if (ri && mcu % ri == 0) {
        br.b = s.b;
        Stop why;
        if (!run_.restart(mcu, why)) return run_.restart_failed(why, mcu);
        s.b = br.b;
        s.origin = br.origin();
        s.mcu_start = br.consumed_pos(s.b);
      }
      if (recording) run_.checkpoint(s.b, mcu);
    }
    br.b = s.b;
    return mcu < total ? run_.paused(mcu) : run_.finish(total);
  }

 private:
  // The tables of each block of the MCU. Large scans get tables that settle several
  // codes per look-up: block-start tables (the DC code and the first AC codes) and group
  // tables (AC codes). Small ones go a code at a time, through the single-code tables,
  // which have the same layout.
  int plan_blocks() {
    const uint64_t total = scan_mcus(st_);
    uint64_t mcu_blocks = 0;
    for (int i = 0; i < st_.ns; ++i) mcu_blocks += blocks_of(i);
    const bool settled = st_.height != 0 && total >= kSettledTableBlocks / mcu_blocks;
    // The start tables depend on the DHTs read so far and on each component's pair.
    uint64_t key = uint64_t(st_.tables_defined) << 32 | uint64_t(st_.ns) << 16 | 1u << 20;
    for (int i = 0; i < st_.ns; ++i) key |= uint64_t(st_.td[i] << 2 | st_.ta[i]) << (4 * i);
    const bool built = settled && st_.starts_key == key;
    if (settled && !built) {
      st_.starts.resize(size_t(st_.ns) << kLook);
      st_.starts_key = key;
    }
    int nb = 0;
    for (int i = 0; i < st_.ns; ++i) {
      const HuffTable& dc = st_.dc[st_.td[i]].defined() ? st_.dc[st_.td[i]] : no_table();
      HuffTable& ac_own = st_.ac[st_.ta[i]];
      const HuffTable& ac = ac_own.defined() ? ac_own : no_table();
      const uint16_t* start = dc.skip_table();
      const uint16_t* group = ac.skip_table();
      if (settled && ac.defined()) {
        group = ac_own.group_table();
        if (dc.defined()) {
          uint16_t* t = st_.starts.data() + (size_t(i) << kLook);
          if (!built) build_start_table(dc, ac, t);
          start = t;
        }
      }
      for (int k = 0; k < blocks_of(i) && nb < kMaxMcuBlocks; ++k) {
        group_[nb] = group;
        plan_[nb++] = Slot{start, dc.skip_table(), ac.skip_table(), &dc, &ac};
      }
    }
    return nb;
  }

  int blocks_of(int i) const {
    const Component& c = st_.comp[st_.scomp[i]];
    return st_.ns == 1 ? 1 : c.h * c.v;
  }

  // One step the long way: a refill byte by byte, an entry the tables do not settle, the
  // data's end. False (with why_) when the data is bad.
  bool slow_step(Steps& s) {
    if (s.b.n < kFastBits && !refill_fast(s.b)) {
      s.b = refill(s.b);
      s.origin = run_.br.origin();
    }
    uint16_t e = s.lookup();
    if (s.k + (entry_step(e) & 127) < 64) {
      consume(s.b, entry_bits(e));
      s.k += entry_step(e);
    } else {
      why_ = Stop::end_of_scan;
      s.b = careful_step(s.b, plan_[s.slot - s.first], s.k, why_);
      s.origin = run_.br.origin();
      if (s.k < 0) return false;
    }
    if (s.b.n < 0) {  // ran into the zeros after the data
      why_ = Stop::end_of_data;
      return false;
    }
    s.advance(s.k >> 7);
    return true;
  }

  // The slow paths take and return the registers by value, so that the hot loop's copy
  // never has its address taken and stays in registers.
  Bits refill(Bits b) {
    run_.br.b = b;
    run_.br.refill_slow();
    return run_.br.b;
  }

  // One code that the tables did not settle in one go, through the single-code tables
  // or the long way. k becomes -1 (with `why`) when the data is bad, and 128 or more
  // when the block is complete.
  Bits careful_step(Bits b, const Slot& slot, int& k, Stop& why) {
    bool dc = k == 0;
    uint16_t e = (dc ? slot.dc : slot.ac)[b.acc >> (kWordBits - kLook)];
    if (settled(e)) {
      consume(b, entry_bits(e));
      k += entry_step(e);
    } else {
      BitReader& br = run_.br;
      br.b = b;
      br.need(16);
      const HuffTable& t = dc ? *slot.dct : *slot.act;
      int v = t.defined() ? br.decode(t) : -1;
      int size = dc ? v : v & 15;
      if (v < 0) {
        why = Stop::bad_code;
      } else if (size > (dc ? run_.maxdc : run_.maxac)) {
        why = Stop::bad_coefficient;
        v = -1;
      } else {
        br.skip(size);
      }
      b = br.b;
      if (v < 0) {
        k = -1;
        return b;
      }
      k += dc ? 1 : v & 15 ? (v >> 4) + 1 : v == 0xF0 ? 16 : kEndOfBlock;
    }
    if (k == 64) {
      k = kEndOfBlock;  // the block is full
    } else if (k > 64 && k < kEndOfBlock) {  // a coefficient or zero run beyond the block
      why = Stop::bad_coefficient;
      k = -1;
    }
    return b;
  }

  ScanRun& run_;
  DecodeState& st_;
  Slot plan_[kMaxMcuBlocks] = {};
  const uint16_t* group_[kMaxMcuBlocks] = {};  // each block's group table
  Stop why_ = Stop::end_of_scan;
};

}  // namespace

ScanResult decode_sequential(ScanRun& run, uint64_t first, uint64_t until) { return Sequential(run).run(first, until); }

}  // namespace kes::jpeg
