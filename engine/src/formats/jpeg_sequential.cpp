// Baseline and extended sequential scans: the hot loop. The bit reader's registers live
// in locals and go back to the reader only around slow paths.
#include <algorithm>
#include <vector>

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

class Sequential {
 public:
  explicit Sequential(ScanRun& run) : run_(run), st_(run.st) {}

  ScanResult run(uint64_t first) {
    const int nb = plan_blocks();
    Next next[kMaxMcuBlocks];  // locals, which the compiler keeps apart from the registers' memory
    for (int i = 0; i < nb; ++i) next[i] = Next{group_[i], plan_[i + 1 < nb ? i + 1 : 0].start};
    const uint64_t total = scan_mcus(st_);
    // k is the position in the block, 0 at its start; block and MCU ends are kept out of
    // branches as far as possible.
    const uint32_t ri = st_.restart_interval;
    // MCUs to the next restart marker; without restart markers, more than a scan has.
    uint32_t togo = ri ? ri - static_cast<uint32_t>(first % ri) : UINT32_MAX;
    BitReader& br = run_.br;
    Bits b = br.b;
    // Byte positions as origin + pointer, without loads: the origin changes only when a
    // slow path moves the reader to another buffer span.
    uint64_t origin = br.origin();
    uint64_t left = total - std::min(first, total), mcu_start = br.consumed_pos(b);  // MCUs to go
    int k = 0, si = 0;
    // The table of the next look-up is picked without a load on the critical path.
    const uint16_t* table = plan_[0].start;
    const uint16_t* group = next[0].group;
    const uint16_t* next_start = next[0].next_start;
    const bool recording = st_.trail.enabled();
    if (recording) run_.checkpoint(b, first);
    uint64_t due = recording ? st_.trail.next_due() : UINT64_MAX;  // the next checkpoint's position
    // After a step: the block's and the MCU's ends. True at an MCU's end that asks for
    // more than counting (a restart marker, a checkpoint, the scan's end).
    auto advance = [&](int end) __attribute__((always_inline)) {
      k &= end - 1;
      table = end ? next_start : group;
      si += end;
      bool wrap = si == nb;
      si = wrap ? 0 : si;
      group = next[si].group;
      next_start = next[si].next_start;
      left -= wrap;
      togo -= wrap;
      mcu_start = wrap ? origin + reinterpret_cast<uintptr_t>(b.p) - (b.n >> 3) : mcu_start;
      return (togo == 0) | (mcu_start >= due) | (left == 0);
    };
    // Two loops: the inner one takes the steps that need only a table look-up and calls
    // nothing, so that its values can stay in registers; the outer one takes the rest (a
    // refill byte by byte, an unsettled entry, the data's end, restart markers and
    // checkpoints).
    while (left) {
      for (;;) {
        if (b.n < kFastBits && !refill_fast(b)) break;
        uint16_t e = table[b.acc >> (kWordBits - kLook)];
        int step = entry_step(e);
        if (k + (step & 127) >= 64) break;  // unsettled, or beyond the block
        consume(b, entry_bits(e));
        k += step;
        if (advance(e >> 13 & 1)) break;  // the step's end-of-block bit, straight from the entry
      }
      if (!left) break;
      if (togo == 0) {
        const uint64_t mcu = total - left;
        br.b = b;
        Stop why;
        if (!run_.restart(mcu, why)) return run_.restart_failed(why, mcu);
        b = br.b;
        origin = br.origin();
        togo = ri;
        mcu_start = br.consumed_pos(b);
        continue;
      }
      if (mcu_start >= due) {
        run_.checkpoint(b, total - left);
        due = st_.trail.next_due();
        continue;
      }
      if (b.n < kFastBits && !refill_fast(b)) {
        b = refill(b);
        origin = br.origin();
      }
      uint16_t e = table[b.acc >> (kWordBits - kLook)];
      int step = entry_step(e);
      if (k + (step & 127) < 64) {
        consume(b, entry_bits(e));
        k += step;
      } else {
        Stop why = Stop::end_of_scan;
        b = careful_step(b, plan_[si], k, why);
        origin = br.origin();
        if (k < 0) {
          br.b = b;
          return run_.mcu_failed(why, total - left, mcu_start);
        }
      }
      if (b.n < 0) {  // ran into the zeros after the data
        br.b = b;
        return run_.mcu_failed(Stop::end_of_data, total - left, mcu_start);
      }
      advance(k >> 7);
    }
    br.b = b;
    return run_.finish(total);
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
    if (settled) starts_.resize(size_t(st_.ns) << kLook);
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
          uint16_t* t = starts_.data() + (size_t(i) << kLook);
          build_start_table(dc, ac, t);
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
  std::vector<uint16_t> starts_;
};

}  // namespace

ScanResult decode_sequential(ScanRun& run, uint64_t first) { return Sequential(run).run(first); }

}  // namespace kes::jpeg
