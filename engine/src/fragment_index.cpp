// The fragment search of a file whose index follows its data (a movie's moov after its
// mdat). Deleted in pieces and broken before its index, such a file shows nothing that
// ties its pieces together: the data's size puts the index at a known place within its
// cluster, and an index found there in a free cluster further on ends the file's last
// piece, the run of clusters before it. A break too early puts foreign bytes where the
// index expects the data after it, one too late foreign bytes before it: the index's
// checks (a frame that does not start where its table puts it) tell which, and the break
// is bisected, the rest of the file taken to lie in the run that ends in the index. When
// no break fits so, a piece lies between: the free clusters after the break are tried
// as its start, each checked against the index over its first kilobytes, and the search
// goes on from there.
#include <algorithm>

#include "fragment_search.h"

namespace kes {
namespace {

constexpr size_t kMaxIndexes = 4;          // indexes tried per file, nearest first
// How far past where the index would lie in one piece it is looked for: each cluster
// there is read (a block of the medium around it), and pieces lie mostly close.
constexpr uint64_t kIndexReach = uint64_t(256) << 20;
constexpr int kMaxBisections = 64;
constexpr uint64_t kMaxWalkedDown = 16;    // clusters a break in doubt is looked for below the one found
constexpr size_t kMaxPiecesJoined = 9;
constexpr size_t kMaxTried = 1024;         // continuations tried for a piece between
constexpr size_t kMaxBreaksTried = 16;     // with each, break points
constexpr uint64_t kOpening = 16 * 1024;   // a continuation's bytes checked against the index

}  // namespace

// One index, found at `m`: the file's pieces joined one after another up to it.
class IndexJoin {
  using Trial = FragmentSearch::Trial;

 public:
  IndexJoin(FragmentSearch& s, const Format& f, uint64_t max_length, uint64_t at, uint64_t m)
      : s_(s), format_(f), index_(*f.trailing_index), max_length_(max_length), at_(at), m_(m),
        cs_(s.layout_.cluster_bytes()) {}

  enum class Outcome { fits, doubt, partial, none };
  // Joins the pieces after those of `t`. fits: `joined` is the whole file; doubt: it is
  // its own up to `joined`'s length, past which no structure tells where its bytes lie;
  // partial: `joined` holds the pieces found, up to the last cluster where the index
  // found one of its frames.
  Outcome run(const Trial& t) {
    Trial cur = t;
    uint64_t verified = 0;
    while (cur.pieces.count < kMaxPiecesJoined && s_.budget_ > 0) {
      const Extent& last = cur.pieces.piece[cur.pieces.count - 1];
      const uint64_t reach = cur.pieces.count == t.pieces.count
                                 ? t.carve.length
                                 : cur.splice + s_.unlisted_run(last.offset, at_ - cur.splice);
      uint64_t lo = cur.splice + cs_, hi = floor(cur, std::min(at_, reach)), found = 0, good = 0;
      bisect(cur, lo, hi, found, good);
      if (found) return fitted(cur, lo, hi, found);
      verified = std::max(verified, good);
      Trial next;
      if (good <= cur.splice || !continued(cur, good, hi, next)) break;
      cur = next;
    }
    if (verified <= t.splice) return Outcome::none;
    joined = cur;
    joined.pieces.cut(verified);
    joined.carve = Carve{Verdict::truncated, verified};
    return Outcome::partial;
  }

  Trial joined;

 private:
  // Breaks lie on the grid of the last piece's clusters.
  uint64_t floor(const Trial& cur, uint64_t x) const { return cur.splice + (x - cur.splice) / cs_ * cs_; }

  // `p` up to `b`, then the run of clusters that ends in the index.
  Pieces with_tail(Pieces p, uint64_t b) const {
    p.cut(b);
    const uint64_t tail = m_ - (at_ - b);
    p.add(tail, s_.medium_.size() - tail);
    return p;
  }

  // Measured whole, or with the data checked only from `from` up to `to`, with noise in
  // [noise_from, noise_to).
  Carve measure(const Pieces& pieces, uint64_t from = 0, uint64_t to = UINT64_MAX, uint64_t noise_from = UINT64_MAX,
                uint64_t noise_to = UINT64_MAX) {
    SplicedSource file(s_.medium_, pieces);
    NoiseIn noisy(file, noise_from, noise_to);
    ByteSource& src = noise_from == UINT64_MAX ? static_cast<ByteSource&>(file) : noisy;
    const uint64_t most = std::min(max_length_, pieces.length());
    const Carve r = to == UINT64_MAX ? format_.measure(src, 0, most) : index_.measure_between(src, 0, most, from, to);
    s_.budget_ -= std::min(s_.budget_, file.bytes_read());
    return r;
  }

  // Narrows [lo, hi] to the break of `cur`'s last piece before the tail: `found` when one
  // holds with the data checked in between; `good`, the end of the last cluster before a
  // candidate break where a frame was found where the index puts it (the piece holds it).
  void bisect(const Trial& cur, uint64_t& lo, uint64_t& hi, uint64_t& found, uint64_t& good) {
    const uint64_t from = lo, to = hi + cs_;
    for (int n = 0; lo <= hi && s_.budget_ > 0 && n < kMaxBisections; ++n) {
      const uint64_t b = lo + (hi - lo) / cs_ / 2 * cs_;
      const Pieces p = with_tail(cur.pieces, b);
      const Carve r = measure(p, lo, hi + cs_);
      if (r.verdict == Verdict::complete) {
        // Held over the whole range, where the index checks data: over noise it would not.
        if (measure(p, from, to).verdict == Verdict::complete && measure(p, from, to, from, to).verdict != Verdict::complete)
          found = b;
        return;
      }
      if (r.verdict == Verdict::corrupt || r.broken_at == 0) return;
      if (r.length < std::min(r.broken_at, b)) good = std::max(good, floor(cur, r.length + cs_));
      if (r.broken_at < b) {
        hi = floor(cur, r.broken_at);  // foreign data before the break: it lies before that
      } else {
        lo = floor(cur, r.broken_at + cs_);  // foreign data after it: it lies past that
      }
    }
  }

  // Whether the cluster at medium offset `x` could hold the file's bytes: free, and no
  // other file's start.
  bool joinable(uint64_t x) {
    const uint64_t c = s_.layout_.cluster_at(x);
    return c != UINT64_MAX && s_.usable(c) && s_.foreign_end(x) <= x;
  }

  // A break `found` that holds: the whole file, unless a break a cluster along holds as
  // well, which leaves nothing checked in the cluster between (where that cluster could
  // be the file's).
  Outcome fitted(const Trial& cur, uint64_t lo, uint64_t hi, uint64_t found) {
    auto holds = [&](uint64_t b) {
      const uint64_t joins = b < found ? m_ - (at_ - b) : cur.pieces.medium_offset(found);
      return joinable(joins) &&
             measure(with_tail(cur.pieces, b), std::min(b, found), std::max(b, found) + cs_).verdict == Verdict::complete;
    };
    uint64_t low = found;
    while (low >= lo + cs_ && found - low < kMaxWalkedDown * cs_ && holds(low - cs_)) low -= cs_;
    joined = cur;
    if (low < found || (found + cs_ <= hi && holds(found + cs_))) {
      const uint64_t below = found - low < kMaxWalkedDown * cs_ ? low : lo;
      joined.pieces.cut(below);
      joined.carve = Carve{Verdict::truncated, below};
      return Outcome::doubt;
    }
    joined.pieces = with_tail(cur.pieces, found);
    joined.splice = found;
    joined.carve = measure(joined.pieces);
    return joined.carve.verdict == Verdict::complete ? Outcome::fits : Outcome::none;
  }

  // The piece after `cur`'s last, which broke between `from` and `to`: the nearest
  // continuation whose opening the index finds the file's, through a break that a
  // cluster earlier or later would not fit as well.
  bool continued(const Trial& cur, uint64_t from, uint64_t to, Trial& next) {
    if (cur.pieces.count + 2 > kMaxPieces) return false;
    const uint64_t broke = cur.pieces.medium_offset(from);
    const VolumeLayout& layout = s_.layout_;
    FragmentSearch::Continuations conts(s_, format_, layout.cluster_at(broke), layout.cluster_at(cur.pieces.piece[0].offset));
    uint64_t c = 0;
    for (size_t i = 0; i < kMaxTried && s_.budget_ > 0 && conts.at(i, &c); ++i) {
      const uint64_t at = layout.cluster_offset(c);
      for (uint64_t b = from, n = 0; b <= to && n < kMaxBreaksTried; b += cs_, ++n) {
        if (at >= broke && at <= cur.pieces.medium_offset(b)) continue;  // inside the piece, before its break
        if (!opens(cur, b, at, b)) continue;
        // The same splice a cluster along on both sides, where the cluster that joins could
        // be the file's.
        if ((joinable(cur.pieces.medium_offset(b)) && opens(cur, b + cs_, at + cs_, b)) ||
            (b > from && joinable(at - cs_) && opens(cur, b - cs_, at - cs_, b - cs_)))
          return false;
        next = cur;
        next.pieces = s_.spliced(cur.pieces, b, at);
        next.splice = b;
        return true;
      }
    }
    return false;
  }

  // Whether the file with its bytes from `b` on at `at`, for kOpening bytes, and then the
  // tail, holds from `from` over those bytes, and would not hold over noise there.
  bool opens(const Trial& cur, uint64_t b, uint64_t at, uint64_t from) {
    const uint64_t n = std::min(std::max(kOpening, 4 * cs_) / cs_ * cs_, at_ > b ? at_ - b : 0);
    if (n == 0 || at < s_.layout_.data_start()) return false;
    Pieces p = cur.pieces;
    p.cut(b);
    p.add(at, n);
    p = with_tail(p, b + n);
    return measure(p, from, b + n).verdict == Verdict::complete &&
           measure(p, from, b + n, b, b + n).verdict != Verdict::complete;
  }

  FragmentSearch& s_;
  const Format& format_;
  const TrailingIndex& index_;
  const uint64_t max_length_, at_, m_, cs_;
};

bool FragmentSearch::indexed(const Format& format, uint64_t max_length, Trial& t, Trial& found) {
  const uint64_t cs = layout_.cluster_bytes();
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  if (!format.trailing_index || last.offset < layout_.data_start() || t.pieces.count + 2 > kMaxPieces) return false;
  uint64_t at = 0;
  {
    SplicedSource file(medium_, t.pieces);
    at = format.trailing_index->expected_at(file, 0, std::min(max_length, t.pieces.length()));
    budget_ -= std::min(budget_, file.bytes_read());
  }
  if (at <= t.splice + cs) return false;
  const uint64_t in_place = last.offset + (at - t.splice), first_after = layout_.cluster_at(in_place);
  if (first_after == UINT64_MAX) return false;
  std::vector<uint64_t> indexes;
  const uint64_t within = (in_place - layout_.data_start()) % cs;
  for (uint64_t c = first_after + 1; c < layout_.clusters() && layout_.cluster_offset(c) < in_place + kIndexReach &&
                                     indexes.size() < kMaxIndexes;
       ++c) {
    uint8_t h[16];
    const uint64_t m = layout_.cluster_offset(c) + within;
    if (usable(c) && medium_.read_at(m, h, sizeof h) == sizeof h && format.trailing_index->opens(h)) indexes.push_back(m);
  }
  Trial whole, partial;
  int fits = 0, held = 0;  // indexes with which the file held whole, and held at all
  for (uint64_t m : indexes) {
    IndexJoin join(*this, format, max_length, at, m);
    const IndexJoin::Outcome o = join.run(t);
    if (o == IndexJoin::Outcome::fits && fits++ == 0) whole = join.joined;
    held += o == IndexJoin::Outcome::fits || o == IndexJoin::Outcome::doubt;
    if (o != IndexJoin::Outcome::none && join.joined.carve.length > partial.carve.length) partial = join.joined;
  }
  if (fits == 1 && held == 1) {
    t = whole;
    return true;
  }
  // Another index holding as well (a recording's twin, its data the same): the file is
  // its own only as far as the piece it broke in.
  uint64_t keep = partial.carve.length;
  if (held > 1) keep = std::min(keep, t.splice + partial.pieces.piece[t.pieces.count - 1].length);
  partial.pieces.cut(keep);
  partial.carve = Carve{Verdict::truncated, keep};
  if (keep > found.carve.length) found = partial;
  return false;
}

}  // namespace kes
