#include "formats/jpeg_seam.h"

#include <algorithm>
#include <cstdlib>

#include "formats/jpeg_decoder.h"

namespace kes::jpeg {
namespace {

constexpr uint64_t kWindow = 64;    // MCUs before a boundary that must follow the row above
constexpr uint64_t kLeast = 16;     // a row narrower than this says too little
constexpr int32_t kSteep = 3;       // a step this many times the row's usual one stands out
constexpr int32_t kFloor = 3;       // the usual step of a flat picture, per block
// Of the MCUs that step out: fewer before a seam, more in each row after it and in all.
constexpr uint64_t kCalmPercent = 15, kPartPercent = 10, kRowPercent = 50, kWindowPercent = 70;
constexpr uint64_t kReach = 256 * 1024;  // traced before where the data stopped decoding
constexpr size_t kMaxHeads = 256;   // splices whose heads are kept (a search tries 128 at most)

int32_t extend(uint32_t v, int s) { return v < (1u << (s - 1)) ? int32_t(v) - (1 << s) + 1 : int32_t(v); }

// One block: its DC difference added to `pred`, its AC codes passed over (several per
// look-up where the group table settles them); false when the data is no block.
bool trace_block(ScanRun& run, const HuffTable& dc, const uint16_t* group, const HuffTable& ac, int32_t& pred) {
  BitReader& br = run.br;
  br.need(16);
  const int s = br.decode(dc);
  if (s < 0 || s > run.maxdc) return false;
  if (s) pred += extend(br.get(s), s);
  for (int k = 1; k < 64;) {
    br.need(kFastBits);  // an entry's last code may carry its extra bits past the look-up
    const uint16_t e = group[br.b.acc >> (kWordBits - kLook)];
    if (k + (entry_step(e) & 127) < 64) {
      consume(br.b, entry_bits(e));
      k += entry_step(e);
      continue;
    }
    const int rs = br.decode(ac);
    if (rs < 0) return false;
    const int size = rs & 15, zeros = rs >> 4;
    if (size == 0) {
      if (zeros != 15) break;  // end of block
      k += 16;
    } else {
      if (size > run.maxac || k + zeros > 63) return false;
      br.skip(size);
      k += zeros + 1;
    }
    if (k > 64) return false;
  }
  return !br.overran();
}

// MCUs per row, or 0 for a scan this does not trace.
uint64_t row_mcus(const DecodeState& st) {
  if (st.progressive || st.arithmetic || st.lossless || st.height == 0) return 0;
  if (st.ns == 1 && st.ncomp == 1) return st.comp[st.scomp[0]].blocks_w;
  if (st.ns != st.ncomp || st.ns < 2) return 0;
  return (uint64_t(st.width) + 8u * st.hmax - 1) / (8u * st.hmax);
}

// The checkpoint `mcus` MCUs or more before `cp`, or the earliest kept.
const Checkpoint* reach_back(const Trail& trail, const Checkpoint* cp, uint64_t mcus) {
  const uint64_t want = cp->mcu > mcus ? cp->mcu - mcus : 0;
  while (cp->mcu > want && cp->pos > 0) {
    const Checkpoint* earlier = trail.at_or_before(cp->pos - 1);
    if (!earlier || earlier->pos >= cp->pos) break;
    cp = earlier;
  }
  return cp;
}

// Judges a trace at each cluster boundary after the splice as its MCUs come. Where
// another file's data begins at a boundary, a row's worth of MCUs from there steps out
// from the row above (the rest of the row, under the file's own MCUs, and the start of
// the row below, under the other data's first ones), while the MCUs before it follow
// the row above as they usually do. A natural edge across the picture (a horizon, a bar)
// steps out along its own rows instead: from where it starts, not from the boundary.
class Judge {
 public:
  Judge(uint64_t w, uint64_t k, uint64_t splice, uint64_t cluster) : w_(w), k_(k), next_(splice), cluster_(cluster) {}

  // With `ended`, the trace goes no further: a boundary is judged on what follows it,
  // a window's worth at least.
  bool seam_in(const Trace& t, Seam& seam, bool ended = false) {
    const size_t first = t.known == UINT64_MAX ? SIZE_MAX : static_cast<size_t>(t.known + w_);  // of the steps
    for (;;) {
      while (m_ + 1 < t.mcus() && t.at[m_ + 1] <= next_) ++m_;  // the MCU the boundary falls in
      if (m_ + 1 >= t.mcus() || m_ + kResync + (ended ? k_ : w_) > t.mcus()) return false;  // not decoded that far
      const uint64_t boundary = next_;
      next_ += cluster_;
      if (first == SIZE_MAX || m_ < first + k_) continue;
      if (judge(t, m_ >= first + 2 * w_ ? m_ - 2 * w_ : first)) {
        seam.valid_end = boundary;
        seam.broken_at = t.at[m_ + 1];
        return true;
      }
    }
  }

 private:
  static constexpr size_t kResync = 2;  // MCUs the decoding may take to fall in step with new data
  static constexpr size_t kPart = 12;   // MCUs of a row that say whether it steps out

  bool judge(const Trace& t, size_t row_from) {
    // The rows' usual step, from some 64 of their MCUs spread over them.
    row_.clear();
    for (size_t m = row_from, stride = std::max<size_t>(1, (m_ - row_from) / 64); m < m_; m += stride)
      row_.push_back(t.step[m]);
    std::nth_element(row_.begin(), row_.begin() + row_.size() / 2, row_.end());
    const int32_t steep_at = kSteep * std::max(row_[row_.size() / 2], kFloor);
    auto percent = [&](size_t from, size_t to) {
      uint64_t n = 0;
      for (size_t m = from; m < to; ++m) n += t.step[m] > steep_at;
      return n * 100 / (to - from);
    };
    if (percent(m_ - k_, m_) >= kCalmPercent) return false;  // the picture was in a steep part already
    for (size_t from = m_; from <= m_ + kResync; ++from) {
      // Where the trace ended short of a row, only the first window's worth (the data it
      // ended in decodes a little way wrongly), which must be steep nearly throughout:
      // it cannot tell a picture's edges along rows (text, a horizon) from a seam.
      const bool whole_row = from + w_ <= t.mcus();
      const size_t end = whole_row ? from + w_ : from + k_;
      const size_t wrap = static_cast<size_t>(std::min<uint64_t>(from + (w_ - (t.first + from) % w_), end));  // next row
      if (percent(from, end) < (whole_row ? kRowPercent : kWindowPercent)) continue;
      if ((wrap - from < kPart || percent(from, wrap) >= kPartPercent) &&
          (end - wrap < kPart || percent(wrap, end) >= kPartPercent))
        return true;
    }
    return false;
  }

  const uint64_t w_, k_;
  uint64_t next_;  // the next boundary to judge
  const uint64_t cluster_;
  size_t m_ = 0;
  std::vector<int32_t> row_;
};

// Decodes on from `cp` (where t ends, or at its start with t empty) up to `to`, the MCU
// `until`, or the first seam the judge finds (true). `resume`, when given, gets the
// registers at the start of the last MCU traced.
bool trace(ByteSource& src, uint64_t limit, DecodeState& st, const Checkpoint& cp, uint64_t to, uint64_t until,
           uint64_t w, Trace& t, Judge* judge, Seam* seam, Checkpoint* resume = nullptr) {
  Cursor cur(src, 0, limit);
  ScanRun run(cur, cp.pos, st);
  run.br.resume(cp.pos, cp.bits, cp.nbits);
  const uint32_t ri = st.restart_interval;
  if (t.at.empty()) {
    t.ncomp = st.ns;
    t.first = t.next = cp.mcu;
    // Decoding starts with the predictions at zero: right at the scan's start or after a
    // restart marker; elsewhere off by the same amount for every MCU up to the next marker.
    const bool origin_known = cp.mcu == 0 || (ri && cp.mcu % ri == 0);
    t.known = ri && !origin_known ? UINT64_MAX : 0;
  }
  const HuffTable* dc[4];
  const HuffTable* ac[4];
  const uint16_t* group[4];
  int blocks[4], per_mcu = 0;
  for (int i = 0; i < st.ns; ++i) {
    dc[i] = &st.dc[st.td[i]];
    ac[i] = &st.ac[st.ta[i]];
    if (!dc[i]->defined() || !ac[i]->defined()) return false;
    group[i] = st.ac[st.ta[i]].group_table();
    blocks[i] = st.ns == 1 ? 1 : st.comp[st.scomp[i]].h * st.comp[st.scomp[i]].v;
    per_mcu += blocks[i];
  }
  const uint64_t total = std::min(scan_mcus(st), until);
  for (; t.next < total; ++t.next) {
    const uint64_t mcu = t.next;
    if (ri && mcu % ri == 0 && mcu != t.first) {
      Stop why;  // a checkpoint at an interval's start lies past its marker
      if (mcu != cp.mcu && !run.restart(mcu, why)) return false;
      std::fill(t.pred, t.pred + 4, 0);
      t.known = std::min<uint64_t>(t.known, mcu - t.first);
    }
    const uint64_t start = run.br.consumed_pos();
    if (start >= to) return false;
    const Checkpoint here = resume ? run.at(run.br.b, mcu) : Checkpoint{};
    int32_t sum[4] = {};
    for (int i = 0; i < st.ns; ++i) {
      for (int b = 0; b < blocks[i]; ++b) {
        if (!trace_block(run, *dc[i], group[i], *ac[i], t.pred[i])) return false;
        sum[i] += t.pred[i];
      }
    }
    // The step from the MCU a row above, per block, where both share their DC origin.
    const size_t m = t.at.size();
    int32_t d = 0;
    if (t.known != UINT64_MAX && m >= t.known + w)
      for (int c = 0; c < t.ncomp; ++c) d += std::abs(sum[c] - t.dc[(m - w) * t.ncomp + c]);
    t.dc.insert(t.dc.end(), sum, sum + st.ns);
    t.at.push_back(start);
    t.step.push_back(d / per_mcu);
    if (resume) *resume = here;
    if (judge && judge->seam_in(t, *seam)) return true;
  }
  return false;
}

}  // namespace

struct SeamFinder::Followed {
  bool traced = false;
  uint64_t splice = 0, cluster = 0, mcu = 0;  // the candidate's splice, and its checkpoint's MCU
  Trace* head = nullptr;
  // The head as it was before the candidate's MCUs.
  size_t own = 0;
  uint64_t next = 0, known = 0;
  int32_t pred[4] = {};
  std::unique_ptr<Judge> judge;
};

SeamFinder::SeamFinder() : followed_(new Followed) {}
SeamFinder::~SeamFinder() = default;

uint64_t SeamFinder::window(const DecodeState& st) {
  const uint64_t w = row_mcus(st);
  return w < kLeast ? 0 : std::min(w, kWindow);
}

void SeamFinder::forget() {
  settle();
  heads_.clear();
}

void SeamFinder::settle() {
  Followed& f = *followed_;
  if (!f.traced) return;
  f.traced = false;
  Trace& t = *f.head;
  t.dc.resize(f.own * t.ncomp);
  t.at.resize(f.own);
  t.step.resize(f.own);
  t.next = f.next;
  t.known = f.known;
  std::copy(f.pred, f.pred + 4, t.pred);
}

Trace& SeamFinder::head(ByteSource& src, uint64_t limit, DecodeState& st, const Checkpoint& at_splice, uint64_t w) {
  auto found = heads_.find(at_splice.pos);
  if (found != heads_.end()) return found->second;
  if (heads_.size() >= kMaxHeads) heads_.clear();
  Trace& t = heads_[at_splice.pos];
  const Checkpoint* from = reach_back(st.trail, &at_splice, 3 * w + 2);
  trace(src, limit, st, *from, UINT64_MAX, at_splice.mcu, w, t, nullptr, nullptr);
  return t;
}

bool SeamFinder::find(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t splice, uint64_t cluster,
                      uint64_t to, uint64_t mcus, Seam& seam) {
  settle();
  cluster = std::max<uint64_t>(cluster, 512);
  const uint64_t w = row_mcus(st), k = window(st);
  const Checkpoint* at_splice = st.trail.at_or_before(splice);
  if (!k || !at_splice) return false;
  if (mcus < at_splice->mcu + k) return false;  // too little decoded past the splice to tell
  // Far past the splice, only the last stretch before `to` is traced, from a checkpoint
  // a far measure left there: another photo's data mostly decodes no further.
  const Checkpoint* late = to > splice + kReach ? st.trail.at_or_before(to - kReach) : nullptr;
  if (late && late->pos > splice) {
    Trace t;
    const uint64_t boundaries = (late->pos - splice + cluster - 1) / cluster;
    Judge judge(w, k, splice + boundaries * cluster, cluster);
    return trace(src, limit, st, *late, to, UINT64_MAX, w, t, &judge, &seam) || judge.seam_in(t, seam, true);
  }
  // Else from the splice's head on.
  const Trace& head = this->head(src, limit, st, *at_splice, w);
  if (head.next != at_splice->mcu) return false;
  Trace t = head;
  Judge judge(w, k, splice, cluster);
  return trace(src, limit, st, *at_splice, to, UINT64_MAX, w, t, &judge, &seam) || judge.seam_in(t, seam, true);
}

bool SeamFinder::follow(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t splice, uint64_t cluster,
                        Seam& seam, Checkpoint& resume) {
  settle();
  Followed& f = *followed_;
  f.splice = splice;
  f.cluster = std::max<uint64_t>(cluster, 512);
  const uint64_t w = row_mcus(st);
  const Checkpoint* at_splice = st.trail.at_or_before(splice);
  if (!window(st) || !at_splice) return false;
  Trace& t = head(src, limit, st, *at_splice, w);
  if (t.next != at_splice->mcu) return false;
  f.traced = true;
  f.mcu = at_splice->mcu;
  f.head = &t;
  f.own = t.mcus();
  f.next = t.next;
  f.known = t.known;
  std::copy(t.pred, t.pred + 4, f.pred);
  f.judge.reset(new Judge(w, window(st), splice, f.cluster));
  resume = *at_splice;
  return trace(src, limit, st, *at_splice, UINT64_MAX, UINT64_MAX, w, t, f.judge.get(), &seam, &resume);
}

// The trace holds the MCUs that find() would trace when the decoding got through as many
// (the trace decodes as the scan's decoder does, to the same MCU), and the judge has seen
// them all: only the boundaries judged at the end are left. Else, or where find() would
// trace only the last stretch, the candidate is traced again.
bool SeamFinder::find_followed(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t to, uint64_t mcus,
                               Seam& seam) {
  Followed& f = *followed_;
  if (!f.traced || f.head->next != mcus || to > f.splice + kReach)
    return find(src, limit, st, f.splice, f.cluster, to, mcus, seam);
  const bool found = mcus >= f.mcu + window(st) && f.judge->seam_in(*f.head, seam, true);
  settle();
  return found;
}

}  // namespace kes::jpeg
