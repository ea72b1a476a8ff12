#include "fragment_search.h"

#include <algorithm>

namespace kes {
namespace {

constexpr size_t kMaxBreaks = 128;         // break points tried per piece
constexpr uint64_t kBackClusters = 16;      // how far before a failure a break may lie
constexpr size_t kMaxCandidates = 256;     // continuations tried per piece
constexpr uint64_t kMaxTrials = 8192;       // splices measured per piece
constexpr uint64_t kMaxVisited = 1u << 16;  // clusters looked at for them
constexpr uint64_t kMargin = 512;           // followed past a splice before it counts
constexpr uint64_t kSure = 16 * 1024;       // validated past a splice: no chance match gets there
constexpr uint64_t kFenceSlack = 2048;      // a measure's last unit may end this far before a fence
constexpr uint64_t kBudgetBytes = uint64_t(1) << 30;  // re-measure reads per file

uint64_t distance(uint64_t a, uint64_t b) { return a > b ? a - b : b - a; }

// How far a measure followed the structure: to its last validated byte or, past that,
// to where it found it broken.
uint64_t reach(const Carve& c) { return std::max(c.length, c.broken_at); }

// Whether `a` carries a splice further than `b`: the proper end first, then a structure
// that held as far as the free clusters went, then the validated bytes, then how far
// the structure was followed.
int rank(const Carve& c, bool fenced) { return c.verdict == Verdict::complete ? 2 : fenced ? 1 : 0; }
bool further(const Carve& a, bool fa, const Carve& b, bool fb) {
  if (rank(a, fa) != rank(b, fb)) return rank(a, fa) > rank(b, fb);
  if (a.length != b.length) return a.length > b.length;
  return reach(a) > reach(b);
}

bool zeroed(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

void Claims::claim(uint64_t begin, uint64_t end) {
  if (end <= begin) return;
  uint64_t& e = ranges_[begin];
  e = std::max(e, end);
}

bool Claims::claimed(uint64_t off) const {
  auto it = ranges_.upper_bound(off);
  if (it == ranges_.begin()) return false;
  return off < std::prev(it)->second;
}

uint64_t Claims::first_claimed(uint64_t begin, uint64_t end) const {
  if (claimed(begin)) return begin;
  auto it = ranges_.lower_bound(begin);
  return it != ranges_.end() && it->first < end ? it->first : UINT64_MAX;
}

Measured measure_at(const std::vector<const Format*>& formats, ByteSource& medium, uint64_t offset,
                    const uint8_t* head) {
  const Format* hits[kMaxHitsPerSector];
  size_t count = 0;
  for (const Format* f : formats)
    if (count < kMaxHitsPerSector && f->probe(head)) hits[count++] = f;
  return measure_hits(hits, count, medium, offset);
}

Measured measure_hits(const Format* const* hits, size_t count, ByteSource& medium, uint64_t offset) {
  for (size_t i = 0; i < count; ++i) {
    const Format& f = *hits[i];
    const uint64_t most = std::min(f.max_length, medium.size() - offset);
    Carve r = f.measure(medium, offset, most);
    if (r.verdict == Verdict::corrupt || r.length == 0) continue;
    r.length = std::min(r.length, most);
    return Measured{&f, r};
  }
  return Measured{};
}

Pieces listed_pieces(const VolumeLayout& layout, uint64_t start, uint64_t max_length) {
  const uint64_t cs = layout.cluster_bytes();
  uint64_t c = layout.cluster_at(start);
  if (c == UINT64_MAX) return Pieces{};
  Pieces p = Pieces::whole(start, cs);
  // A chain never holds more clusters than the volume or the file's size allow: a loop
  // in a damaged table ends there.
  for (uint64_t hops = 0, most = std::min(layout.clusters(), max_length / cs + 1); hops < most; ++hops) {
    const uint64_t n = layout.next(c);
    if (n == UINT64_MAX) break;
    if (n == c + 1) {
      p.piece[p.count - 1].length += cs;
    } else {
      if (p.count == kMaxPieces) break;
      p.piece[p.count++] = {layout.cluster_offset(n), cs};
    }
    c = n;
  }
  return p;
}

bool FileEnds::find(uint64_t offset, uint64_t* end) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = ends_.find(offset);
  if (it == ends_.end() || it->second.state == Entry::measuring) return false;
  *end = it->second.end;
  return true;
}

void FileEnds::put(uint64_t offset, uint64_t end) {
  Entry e;
  e.end = end;
  store(offset, e);
}

bool FileEnds::claim(uint64_t offset, Measured* m) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto it = ends_.find(offset);
    if (it != ends_.end() && it->second.state == Entry::measured) {
      *m = it->second.m;
      return true;
    }
    if (it == ends_.end() || it->second.state == Entry::bound) break;
    settled_.wait(lock);  // measures never wait for one another: this ends
  }
  Entry e;
  e.state = Entry::measuring;
  store_locked(offset, e);
  return false;
}

void FileEnds::settle(uint64_t offset, const Measured& m) {
  Entry e;
  e.end = m.format ? offset + m.carve.length : offset;
  e.state = Entry::measured;
  e.m = m;
  store(offset, e);
  settled_.notify_all();
}

void FileEnds::store(uint64_t offset, const Entry& e) {
  std::lock_guard<std::mutex> lock(mutex_);
  store_locked(offset, e);
}

// A bounded memo, not a record: when full it starts again. A measure in flight that is
// dropped is taken twice, with the same result.
void FileEnds::store_locked(uint64_t offset, const Entry& e) {
  if (ends_.size() >= (1u << 18)) ends_.clear();
  ends_[offset] = e;
}

FragmentSearch::FragmentSearch(ByteSource& medium, const VolumeLayout& layout, const Claims& claims,
                               std::vector<const Format*> formats, FileEnds& ends)
    : medium_(medium), layout_(layout), claims_(claims), formats_(std::move(formats)), ends_(ends) {}

// A deleted file starts in a free cluster; one the file system lists is whole as it is,
// or along its chain.
Pieces FragmentSearch::place(const Format& format, uint64_t start, Carve& carve) {
  const uint64_t end = start + carve.length;
  const uint64_t first = layout_.cluster_at(start);
  const bool deleted = layout_.at_cluster_start(start) && first != UINT64_MAX && !layout_.taken(first);
  uint64_t stop = std::min(end, claims_.first_claimed(start, end));
  if (deleted && layout_.has_allocation())
    for (uint64_t c = first + 1; c < layout_.clusters() && layout_.cluster_offset(c) < stop; ++c)
      if (layout_.taken(c)) stop = layout_.cluster_offset(c);
  if (stop < end) {
    carve.verdict = Verdict::truncated;
    carve.length = stop - start;
    carve.broken_at = 0;
  }
  Pieces pieces = Pieces::whole(start, carve.length);
  if (!deleted && layout_.at_cluster_start(start)) {
    Pieces chain = listed_pieces(layout_, start, format.max_length);
    if (chain.count > 1) {
      SplicedSource file(medium_, chain);
      carve = format.measure(file, 0, std::min(format.max_length, chain.length()));
      chain.cut(carve.length);
      pieces = chain;
    }
  } else if (deleted && carve.verdict != Verdict::complete && carve.length > 0) {
    pieces = follow(format, start, std::min(format.max_length, medium_.size() - start), carve);
  }
  return carve.verdict == Verdict::corrupt || carve.length == 0 ? Pieces{} : pieces;
}

const Format* FragmentSearch::broken_start(const Format* const* hits, size_t count, uint64_t start, Carve& carve) {
  const uint64_t cluster = layout_.cluster_at(start);
  if (!layout_.at_cluster_start(start) || cluster == UINT64_MAX) return nullptr;
  const bool listed = layout_.taken(cluster);
  const Pieces chain = listed ? listed_pieces(layout_, start, UINT64_MAX) : Pieces{};
  if (listed && chain.count < 2) return nullptr;
  SplicedSource file(medium_, chain);
  for (size_t i = 0; i < count; ++i) {
    const Format& f = *hits[i];
    Carve r = listed ? f.measure(file, 0, std::min(f.max_length, chain.length()))
                     : f.measure(medium_, start, std::min(f.max_length, medium_.size() - start));
    if (listed ? r.verdict == Verdict::corrupt : r.length == 0) continue;
    carve = r;
    return &f;
  }
  return nullptr;
}

Pieces FragmentSearch::follow(const Format& format, uint64_t start, uint64_t max_length, Carve& carve) {
  budget_ = kBudgetBytes;
  Trial t;
  t.pieces = Pieces::whole(start, medium_.size() - start);  // the last piece stays open
  t.carve = carve;
  while (t.pieces.count < kMaxPieces && t.carve.verdict != Verdict::complete && t.carve.length > 0 &&
         next_piece(format, max_length, t)) {
  }
  t.pieces.cut(t.carve.length);
  carve = t.carve;
  return t.pieces;
}

// Finds the splice that carries the structure furthest and re-measures the file over it.
bool FragmentSearch::next_piece(const Format& format, uint64_t max_length, Trial& t) {
  const uint64_t most = std::min(max_length, t.pieces.length());
  if (t.carve.length >= most) return false;  // the medium or the size limit ended it
  const std::vector<uint64_t> breaks = break_points(t);
  if (breaks.empty()) return false;
  const uint64_t earliest = *std::min_element(breaks.begin(), breaks.end());
  // Far enough past a splice to settle it, and to hold the unit that broke (a whole
  // PNG chunk) twice over: wrong data that decodes on (another JPEG's, with the same
  // tables) costs no more than that.
  const uint64_t window = std::max(kSure, 2 * (reach(t.carve) - t.carve.length)) + layout_.cluster_bytes();
  std::unique_ptr<Splicer> splicer;
  if (format.splicer) {
    SplicedSource file(medium_, t.pieces);
    splicer = format.splicer(file, most, t.carve);
    budget_ -= std::min(budget_, file.bytes_read());
  }
  Trial best;
  bool found = false, settled = false;
  uint64_t trials = 0;
  const std::vector<uint64_t> conts = continuations(layout_.cluster_at(t.pieces.medium_offset(earliest)));
  // First the breaks where the medium visibly goes on with something else (another
  // file's start, a listed, claimed or zeroed cluster), as a file system writing into
  // the gaps leaves them; then every break. Each time the nearest continuation with
  // every break, the likeliest first, then the next continuation.
  std::vector<uint64_t> evident;
  for (uint64_t b : breaks)
    if (ends_elsewhere(t.pieces.medium_offset(b))) evident.push_back(b);
  const std::vector<uint64_t>* passes[] = {&evident, &breaks};
  for (const std::vector<uint64_t>* tried : passes) {
    for (uint64_t c : conts) {
      const uint64_t at = layout_.cluster_offset(c);
      for (uint64_t b : *tried) {
        if (at <= t.pieces.medium_offset(b)) continue;
        if (budget_ == 0 || ++trials > kMaxTrials) break;
        Trial trial{spliced(t.pieces, b, at), Carve{}, b};
        const uint64_t limit = std::min(most, b + window);
        evaluate(format, splicer.get(), trial, limit);
        const Carve& r = trial.carve;
        // Progress: past the splice by a margin, and further than the file got before.
        if (r.verdict != Verdict::complete && (reach(r) < b + kMargin || reach(r) <= reach(t.carve))) continue;
        if (!found || further(r, trial.fenced, best.carve, best.fenced)) {
          best = trial;
          found = true;
          // Valid well past the splice, or as far as the continuation's free clusters
          // go: no chance match gets there, and nothing else can be told of a payload
          // that carries no check. A proper end close to the splice may be one (a few
          // MCUs of foreign data and an EOI), so the candidates after it are tried too,
          // the longest proper end winning.
          settled = r.length >= std::min(limit, b + kSure) || trial.fenced;
        }
        if (settled) break;
      }
      if (settled || budget_ == 0 || trials > kMaxTrials) break;
    }
    // A proper end through an evident break is not put in doubt by the breaks that
    // nothing on the medium points to.
    const bool ended = found && best.carve.verdict == Verdict::complete;
    if (settled || ended || budget_ == 0 || trials > kMaxTrials) break;
  }
  if (!found) return false;
  if (best.carve.verdict != Verdict::complete) evaluate(format, splicer.get(), best, most);
  if (reach(best.carve) <= best.splice) return false;
  t = best;
  return true;
}

// Cluster boundaries inside the last piece where it may have ended: inside the unit
// that was found broken when the format says where that ends (the break lies between
// the last validated byte and there), else at or shortly before the last validated
// byte (wrong data often decodes a little way); the nearest to the failure first.
std::vector<uint64_t> FragmentSearch::break_points(const Trial& t) const {
  const uint64_t cs = layout_.cluster_bytes(), valid = t.carve.length, back = kBackClusters * cs;
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  const bool located = t.carve.broken_at > valid;
  const uint64_t lo = std::max(t.splice + 1, located ? valid : valid > back ? valid - back : 0);
  // The unit that failed may have begun before the break: the next boundary too.
  const uint64_t hi = std::min(located ? reach(t.carve) : valid + cs - 1, t.splice + last.length);
  std::vector<uint64_t> out;
  if (lo > hi || last.offset + (lo - t.splice) < layout_.data_start()) return out;
  const uint64_t into = (last.offset + (lo - t.splice) - layout_.data_start()) % cs;
  for (uint64_t b = lo + (into ? cs - into : 0); b <= hi && out.size() < 4096; b += cs) out.push_back(b);
  std::stable_sort(out.begin(), out.end(),
                   [hi](uint64_t a, uint64_t b) { return distance(a, hi) < distance(b, hi); });
  if (out.size() > kMaxBreaks) out.resize(kMaxBreaks);
  return out;
}

// Free clusters after `after`, nearest first, skipping files met on the way.
std::vector<uint64_t> FragmentSearch::continuations(uint64_t after) {
  std::vector<uint64_t> out;
  if (after == UINT64_MAX) return out;
  const uint64_t cs = layout_.cluster_bytes();
  uint64_t c = after + 1;
  for (uint64_t visited = 0; c < layout_.clusters() && out.size() < kMaxCandidates && visited < kMaxVisited;
       ++visited) {
    if (!usable(c)) {
      ++c;
      continue;
    }
    const uint64_t at = layout_.cluster_offset(c);
    const uint64_t end = foreign_end(at);
    if (end > at) {
      c += (end - at + cs - 1) / cs;
      continue;
    }
    out.push_back(c++);
  }
  return out;
}

bool FragmentSearch::ends_elsewhere(uint64_t offset) {
  const uint64_t c = layout_.cluster_at(offset);
  return c != UINT64_MAX && (!usable(c) || foreign_end(offset) > offset);
}

bool FragmentSearch::usable(uint64_t cluster) const {
  return !layout_.taken(cluster) && !claims_.claimed(layout_.cluster_offset(cluster));
}

// Where the bytes at a cluster start stop being unusable as a continuation: after a file
// of an enabled format that starts there, or after a zeroed cluster; `offset` itself
// when the cluster may continue a file.
uint64_t FragmentSearch::foreign_end(uint64_t offset) {
  uint64_t end = offset;
  if (ends_.find(offset, &end)) return end;
  uint8_t head[512];
  if (medium_.read_at(offset, head, sizeof head) != sizeof head) {
    ends_.put(offset, medium_.size());
    return medium_.size();
  }
  if (zeroed(head, sizeof head)) {
    ends_.put(offset, offset + layout_.cluster_bytes());
    return offset + layout_.cluster_bytes();
  }
  const Measured m = ends_.measure(offset, [&] { return measure_at(formats_, medium_, offset, head); });
  return m.format ? offset + m.carve.length : offset;
}

void FragmentSearch::evaluate(const Format& format, Splicer* splicer, Trial& t, uint64_t limit) {
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  const uint64_t fence = t.splice + free_run(last.offset, limit > t.splice ? limit - t.splice : 0);
  const uint64_t to = std::min(limit, fence);
  SplicedSource src(medium_, t.pieces);
  Carve r = splicer ? splicer->measure(src, t.splice, to) : format.measure(src, 0, to);
  budget_ -= std::min(budget_, src.bytes_read());
  r.length = std::min(r.length, to);
  t.fenced = fence < limit && r.verdict == Verdict::truncated && r.length + kFenceSlack >= fence &&
             r.length > t.splice;
  if (t.fenced) r.broken_at = fence;
  t.carve = r;
}

uint64_t FragmentSearch::free_run(uint64_t at, uint64_t most) const {
  const uint64_t cs = layout_.cluster_bytes();
  uint64_t run = std::min(most, claims_.first_claimed(at, at + most) - at);
  if (!layout_.has_allocation() || cs == 0) return run;
  for (uint64_t c = layout_.cluster_at(at), n = 0; n < run && c < layout_.clusters(); ++c, n += cs)
    if (layout_.taken(c)) return n;
  return run;
}

Pieces FragmentSearch::spliced(const Pieces& base, uint64_t at, uint64_t continuation) const {
  Pieces p = base;
  p.cut(at);
  p.piece[p.count++] = {continuation, medium_.size() - continuation};
  return p;
}

}  // namespace kes
