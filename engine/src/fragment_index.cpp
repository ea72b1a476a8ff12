// The fragment search of a file whose index follows its data (a movie's moov after its
// mdat). Deleted in pieces and broken before its index, such a file shows nothing that
// ties its pieces together: the data's size puts the index at a known place within its
// cluster, and an index found there in a free cluster further on ends the continuation,
// the run of clusters before it as long as the data after the break. A break too early
// puts foreign bytes where the index expects the data after it, one too late foreign
// bytes before it: the index's checks (a frame that does not start where its table puts
// it) tell which, and the break is bisected to the one where both sides hold.
#include <algorithm>

#include "fragment_search.h"

namespace kes {
namespace {

constexpr size_t kMaxIndexes = 4;         // indexes tried per file, nearest first
constexpr uint64_t kMaxLooked = 1u << 16;  // clusters looked at for them
constexpr int kMaxBisections = 64;
constexpr uint64_t kMaxWalkedDown = 16;  // clusters a break in doubt is looked for below the one found

}  // namespace

FragmentSearch::Indexed FragmentSearch::indexed(const Format& format, uint64_t max_length, Trial& t,
                                                uint64_t& vouched) {
  const TrailingIndex* index = format.trailing_index;
  const uint64_t cs = layout_.cluster_bytes();
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  if (!index || last.offset < layout_.data_start()) return Indexed::none;
  // Measured whole, or with the data checked only where the candidates differ.
  auto measure = [&](const Pieces& pieces, uint64_t from = 0, uint64_t to = UINT64_MAX) {
    SplicedSource file(medium_, pieces);
    const uint64_t most = std::min(max_length, pieces.length());
    const Carve r = to == UINT64_MAX ? format.measure(file, 0, most) : index->measure_between(file, 0, most, from, to);
    budget_ -= std::min(budget_, file.bytes_read());
    return r;
  };
  uint64_t at = 0;
  {
    SplicedSource file(medium_, t.pieces);
    at = index->expected_at(file, 0, std::min(max_length, t.pieces.length()));
    budget_ -= std::min(budget_, file.bytes_read());
  }
  if (at <= t.splice + cs) return Indexed::none;
  const uint64_t in_place = last.offset + (at - t.splice), first_after = layout_.cluster_at(in_place);
  if (first_after == UINT64_MAX) return Indexed::none;
  std::vector<uint64_t> indexes;
  const uint64_t within = (in_place - layout_.data_start()) % cs;
  for (uint64_t c = first_after + 1, n = 0; c < layout_.clusters() && n < kMaxLooked && indexes.size() < kMaxIndexes;
       ++c, ++n) {
    uint8_t h[16];
    const uint64_t m = layout_.cluster_offset(c) + within;
    if (usable(c) && medium_.read_at(m, h, sizeof h) == sizeof h && index->opens(h)) indexes.push_back(m);
  }
  // Breaks lie on the grid of the piece's clusters, no further than its reading went.
  auto floor = [&](uint64_t x) { return t.splice + (x - t.splice) / cs * cs; };
  auto trial_at = [&](uint64_t m, uint64_t b) { return Trial{spliced(t.pieces, b, m - (at - b)), Carve{}, b}; };
  Trial joined;
  int fits = 0;
  bool doubted = false;
  uint64_t below = UINT64_MAX;  // the least break that held
  for (uint64_t m : indexes) {
    uint64_t first = layout_.cluster_at(m);
    while (first > 0 && usable(first - 1) && m - layout_.cluster_offset(first - 1) + t.splice + cs <= at) --first;
    uint64_t lo = std::max(t.splice + cs, at - (m - layout_.cluster_offset(first)));
    uint64_t hi = floor(std::min(at, t.carve.length)), found = 0;
    for (int n = 0; lo <= hi && budget_ > 0 && n < kMaxBisections; ++n) {
      const uint64_t b = lo + (hi - lo) / cs / 2 * cs;
      const Carve r = measure(trial_at(m, b).pieces, lo, hi + cs);
      if (r.verdict == Verdict::complete) {
        found = b;
        break;
      }
      if (r.verdict == Verdict::corrupt || r.broken_at == 0) break;
      if (r.broken_at < b) {  // foreign data before the break: it lies before that
        hi = floor(r.broken_at);
      } else {  // foreign data after it: it lies past that
        lo = floor(r.broken_at + cs);
        // A frame found where the index puts it holds its cluster for the file, whichever
        // index this is and however many pieces follow.
        if (r.length < r.broken_at) vouched = std::max(vouched, floor(r.length + cs));
      }
    }
    if (found == 0) continue;
    // A break a cluster along that holds as well leaves nothing checked in the cluster
    // between: which clusters the file holds there is not known.
    auto holds = [&](uint64_t b) {
      return measure(trial_at(m, b).pieces, std::min(b, found), std::max(b, found) + cs).verdict == Verdict::complete;
    };
    uint64_t low = found;
    while (low >= lo + cs && found - low < kMaxWalkedDown * cs && holds(low - cs)) low -= cs;
    const bool doubt = low < found || (found + cs <= hi && holds(found + cs));
    if (doubt) {
      doubted = true;
    } else {
      Trial fit = trial_at(m, found);
      fit.carve = measure(fit.pieces);
      if (fit.carve.verdict != Verdict::complete) continue;
      if (fits == 0) joined = fit;
    }
    ++fits;
    below = std::min(below, !doubt || found - low < kMaxWalkedDown * cs ? low : lo);
  }
  if (fits == 0) return Indexed::none;
  if (fits == 1 && !doubted) {
    t = joined;
    return Indexed::joined;
  }
  // The break in doubt, or another index fitting as well (a recording's twin, its data
  // the same): the file is its own below every break that held.
  t.carve.verdict = Verdict::truncated;
  t.carve.length = below;
  t.carve.broken_at = 0;
  return Indexed::cut;
}

}  // namespace kes
