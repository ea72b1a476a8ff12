#include "fragment_search.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kes {
namespace {

constexpr size_t kMaxFollowed = 9;          // pieces a deleted file is followed through
constexpr size_t kMaxBreaks = 128;         // break points tried per piece
constexpr uint64_t kBackClusters = 16;      // how far before a failure a break may lie
constexpr size_t kMaxCandidates = 1024;    // continuations tried per piece, in 4 KiB clusters
constexpr uint64_t kCountsCluster = 4096;  // the cluster size the counts here are for
constexpr size_t kMaxZeroRuns = 16;        // of them, starts of zeroed runs
constexpr size_t kMaxRound = 64;           // of them, past the volume's end from its start
constexpr uint64_t kMaxTrials = 8192;       // splices measured per piece, in 4 KiB clusters
constexpr uint64_t kMaxVisited = 1u << 16;  // clusters looked at for them
constexpr uint64_t kMargin = 512;           // followed past a splice before it counts
constexpr size_t kMaxRemembered = 1u << 16;  // files whose checking is remembered
constexpr uint64_t kSure = 16 * 1024;       // validated past a splice: no chance match gets there
constexpr uint64_t kUnitSlack = 512;       // a unit crossing a piece's end starts this close to it
constexpr uint64_t kFenceSlack = 2048;      // a measure's last unit may end this far before a fence
constexpr uint64_t kBudgetBytes = uint64_t(1) << 30;  // re-measure reads per file
constexpr uint64_t kControlBytes = 64u << 20;  // how far a control is followed for the file's end
constexpr uint64_t kAfterDirectory = 1u << 20;  // what a file may hold past its last directory

uint64_t distance(uint64_t a, uint64_t b) { return a > b ? a - b : b - a; }

// How far a measure followed the structure: to its last validated byte or, past that,
// to where it found it broken.
uint64_t reach(const Carve& c) { return std::max(c.length, c.broken_at); }

// Whether `a` carries a splice further than `b`: the proper end first, then a structure
// that held as far as the free clusters went (unless the other validated past that
// fence), then the validated bytes, then how far the structure was followed.
int rank(const Carve& c, bool fenced) { return c.verdict == Verdict::complete ? 2 : fenced ? 1 : 0; }
bool further(const Carve& a, bool fa, const Carve& b, bool fb) {
  if (rank(a, fa) + rank(b, fb) == 1) {  // one held to its fence, the other broke in the open
    const Carve& open = fa ? b : a;
    if (open.length > (fa ? a : b).broken_at) return !fa;
  }
  if (rank(a, fa) != rank(b, fb)) return rank(a, fa) > rank(b, fb);
  if (a.length != b.length) return a.length > b.length;
  return reach(a) > reach(b);
}

// The structure ran through whole clusters past the splice and broke in the unit that
// crosses into the next one: the continuation's piece ends there. A short piece
// validates no further than its clusters go, while another file's data with the same
// tables (a JPEG's) decodes on and would win by length.
// Where noise after the splice passes none of the structure (every field of each unit's
// header is checked, as an MPEG audio frame's is), a single cluster validated whole
// tells such a piece as well.
bool broke_at_piece_end(const Carve& r, uint64_t splice, uint64_t cluster_bytes, bool checked_closely) {
  // In small clusters the slack is an eighth of one: a whole cluster of slack would have
  // every continuation break at its piece's end.
  const uint64_t slack = std::min(kUnitSlack, cluster_bytes / 8);
  const uint64_t least = checked_closely ? cluster_bytes - slack : std::max(2 * cluster_bytes, kSure / 4);
  if (r.verdict == Verdict::complete || r.length < splice + least) return false;
  const uint64_t into = (r.length - splice) % cluster_bytes;
  // Or it broke right at a boundary: the data after it is another file's.
  if (into == 0) return r.broken_at > r.length && r.broken_at - r.length <= slack;
  return cluster_bytes - into <= slack;
}

// Files that other files carry whole: pictures (thumbnails, previews, cover art, the
// frames of a motion-JPEG movie) and runs of MPEG audio or video or DV frames (a movie's
// tracks).
bool carried(const Format& f) {
  return f.kind == Kind::photo || std::strcmp(f.name, "mp3") == 0 || std::strcmp(f.name, "mpg") == 0 ||
         std::strcmp(f.name, "dv") == 0;
}

bool cut_picture(const Measured& m) { return m.format->kind == Kind::photo && m.carve.verdict != Verdict::complete; }

bool zeroed(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

FragmentSearch::FragmentSearch(ByteSource& medium, const VolumeLayout& layout, const Claims& claims,
                               std::vector<const Format*> formats, FileEnds& ends)
    : medium_(medium), layout_(layout), claims_(claims), formats_(std::move(formats)), ends_(ends) {}

// A deleted file starts in a free cluster; one the file system lists is whole as it is,
// or along its chain.
Pieces FragmentSearch::place(const Format& format, uint64_t start, Carve& carve, bool follow) {
  const uint64_t end = start + carve.length;
  const uint64_t first = layout_.cluster_at(start);
  const bool deleted = layout_.at_cluster_start(start) && first != UINT64_MAX && !layout_.taken(first);
  uint64_t stop = std::min(end, claims_.first_claimed(start, end));
  if (deleted) {
    stop = start + unlisted_run(start, stop - start);
    stop = std::min(stop, foreign_inside(start, stop, end, &format));
  }
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
  } else if (deleted && follow && carve.verdict != Verdict::complete && carve.length > 0) {
    pieces = this->follow(format, start, format.max_length, carve);
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

Pieces FragmentSearch::relocated(const Format* const* hits, size_t count, uint64_t start, const Format** format,
                                 Carve& carve) {
  const uint64_t first = layout_.cluster_at(start);
  if (std::none_of(hits, hits + count, [](const Format* f) { return f->directory_at != nullptr; }) ||
      !layout_.at_cluster_start(start) || first == UINT64_MAX || layout_.taken(first))
    return Pieces{};
  uint8_t head[512];
  if (medium_.read_at(start, head, sizeof head) != sizeof head) return Pieces{};
  for (size_t i = 0; i < count; ++i) {
    const Format& f = *hits[i];
    const uint64_t directory = f.directory_at ? f.directory_at(head) : 0;
    if (directory == 0 || directory >= f.max_length) continue;
    // Zeroed clusters may be gaps or the file's own black rows: both are tried.
    for (bool skip_zeroed : {true, false}) {
      Pieces p = free_clusters(first, directory + kAfterDirectory, skip_zeroed);
      // In one piece it was measured already. Past the first piece, the directory found
      // where the header says vouches for the gaps skipped before it; the pixels cannot.
      if (p.count < 2 || directory < p.piece[0].length) continue;
      SplicedSource file(medium_, p);
      const Carve r = f.measure(file, 0, std::min(f.max_length, p.length()));
      if (r.verdict != Verdict::complete || r.length <= directory) continue;
      p.cut(r.length);
      carve = r;
      *format = &f;
      return p;
    }
  }
  return Pieces{};
}

Pieces FragmentSearch::follow(const Format& format, uint64_t start, uint64_t max_length, Carve& carve) {
  budget_ = kBudgetBytes;
  Trial t;
  t.pieces = Pieces::whole(start, medium_.size() - start);  // the last piece stays open
  t.carve = carve;
  std::unique_ptr<Splicer> splicer;  // kept from piece to piece
  indexed_ = Trial{};
  index_looked_ = false;
  while (t.pieces.count < kMaxFollowed && t.carve.verdict != Verdict::complete && t.carve.length > 0 &&
         next_piece(format, max_length, t, splicer)) {
  }
  // Where an index that did not fit found the file's frames, it vouches for its pieces;
  // without it nothing checks a movie's data, and what the search joined is a guess.
  if (t.carve.verdict != Verdict::complete && indexed_.carve.length > 0) t = indexed_;
  cut_unchecked_tail(format, t);
  t.pieces.cut(t.carve.length);
  carve = t.carve;
  return t.pieces;
}

// A file whose structure says it goes on (a unit found broken past its last validated
// byte) but that could not be continued: when its last unit reaches past a cluster
// boundary and the structure does not check the bytes after it, those may be the next
// file's already, and it is cut at the boundary.
void FragmentSearch::cut_unchecked_tail(const Format& format, Trial& t) {
  const uint64_t cs = layout_.cluster_bytes(), valid = t.carve.length;
  if (t.carve.verdict == Verdict::complete || t.carve.broken_at <= valid || t.carve.open_end || budget_ < valid)
    return;
  const uint64_t end = t.pieces.medium_offset(valid - 1);
  if (end == UINT64_MAX || end < layout_.data_start()) return;
  const uint64_t boundary = valid - 1 - (end - layout_.data_start()) % cs;
  if (boundary <= t.splice || boundary == 0) return;
  if (measure_trial(format, nullptr, t, valid, boundary).length >= valid) {
    t.carve.length = boundary;
    t.carve.broken_at = 0;
  }
}

// Joins the file's next piece: through its index when that follows the data, else by the
// splice that carries the structure furthest.
bool FragmentSearch::next_piece(const Format& format, uint64_t max_length, Trial& t,
                                std::unique_ptr<Splicer>& splicer) {
  if (t.carve.length >= std::min(max_length, t.pieces.length())) return false;  // the medium or the size limit ended it
  // The index is looked for once: the medium it is looked for in is read.
  const bool first = !index_looked_;
  index_looked_ = true;
  return (first && indexed(format, max_length, t, indexed_)) || next_splice(format, max_length, t, splicer);
}

// Finds the splice that carries the structure furthest and re-measures the file over it.
bool FragmentSearch::next_splice(const Format& format, uint64_t max_length, Trial& t,
                                 std::unique_ptr<Splicer>& splicer) {
  const uint64_t most = std::min(max_length, t.pieces.length());
  if (format.splicer) {
    // The one of the pieces before, when it can go on past the splice taken since.
    SplicedSource file(medium_, t.pieces);
    if (!splicer || !splicer->extend(file, most, t.splice)) {
      splicer = format.splicer(file, most, t.carve);
      if (splicer) splicer->cluster_bytes = layout_.cluster_bytes();
      // Read on from the file's start, it may have run into another file's data that
      // its structure takes for its own.
      if (splicer && t.pieces.count == 1) splicer->hold(file, t.carve);
    }
    budget_ -= std::min(budget_, file.bytes_read());
  }
  const std::vector<uint64_t> breaks = break_points(t);
  if (breaks.empty()) return false;
  const uint64_t earliest = *std::min_element(breaks.begin(), breaks.end());
  // Far enough past a splice to settle it, and to hold the unit that broke (a whole
  // PNG chunk) twice over: wrong data that decodes on (another JPEG's, with the same
  // tables) costs no more than that.
  const uint64_t window = std::max(kSure, 2 * (reach(t.carve) - t.carve.length)) + layout_.cluster_bytes();
  Trial best;
  bool found = false, settled = false;
  Controls controls;
  std::map<uint64_t, bool> like_noise;  // by break: cannot_beat_noise()
  int unvouched = 0;
  uint64_t trials = 0;
  // As many more in smaller clusters: as many more breaks and continuations cover the
  // same bytes of the medium, and a file system places a piece no nearer.
  const uint64_t most_trials = kMaxTrials * std::max<uint64_t>(1, kCountsCluster / layout_.cluster_bytes());
  const uint64_t broken_at = t.pieces.medium_offset(earliest);
  Continuations conts(*this, format, layout_.cluster_at(broken_at), layout_.cluster_at(t.pieces.piece[0].offset));
  // First the breaks where the medium visibly goes on with something else (another
  // file's start, a listed, claimed or zeroed cluster), as a file system writing into
  // the gaps leaves them; then those around the last validated byte, where the file
  // mostly broke (wrong data seldom decodes a cluster's worth); then the rest. Each
  // time the nearest continuation with every break of the pass, the likeliest first,
  // then the next continuation. A splice is tried once: again it would measure alike.
  std::vector<uint64_t> evident, near, rest;
  for (uint64_t b : breaks) {
    std::vector<uint64_t>& pass = ends_elsewhere(t.pieces.medium_offset(b)) ? evident
                                  : b + layout_.cluster_bytes() > t.carve.length ? near
                                                                                 : rest;
    pass.push_back(b);
  }
  const std::vector<uint64_t>* passes[] = {&evident, &near, &rest};
  for (const std::vector<uint64_t>* tried : passes) {
    uint64_t c = 0;
    for (size_t i = 0; !tried->empty() && conts.at(i, &c); ++i) {
      const uint64_t at = layout_.cluster_offset(c);
      for (uint64_t b : *tried) {
        if (at >= broken_at && at <= t.pieces.medium_offset(b)) continue;  // inside the piece, before its break
        if (budget_ == 0 || ++trials > most_trials) break;
        Trial trial{spliced(t.pieces, b, at), Carve{}, b};
        const uint64_t limit = std::min(most, b + window);
        // With the one continuation that nothing vouches for taken up, one that cannot
        // beat its control counts for nothing: not measured.
        if (unvouched && cannot_beat_noise(format, splicer.get(), trial, limit, controls, like_noise)) continue;
        evaluate(format, splicer.get(), trial, limit);
        const Carve& r = trial.carve;
        // Progress: past the splice by a margin, and further than the file got before.
        if (r.verdict != Verdict::complete && (reach(r) < b + kMargin || reach(r) <= reach(t.carve))) continue;
        // Data the structure does not check (sound samples, pixel rows) is taken only
        // from the nearest continuation, and only where the clusters around it say where
        // the piece ends: further ones would fit by chance as often.
        const Carve noise = control(format, splicer.get(), trial, limit, controls);
        if (!further(r, false, noise, false)) {
          if (unvouched++ || !bounded(format, splicer.get(), trial, most, controls)) continue;
        } else if (trial.fenced && r.length - b < 4 * std::max(noise.length > b ? noise.length - b : 0, kMargin)) {
          // Checked data that held to a fence near the splice, but not much further than
          // noise does (a JPEG decodes some way into anything): no sign of the piece's end.
          trial.fenced = false;
        }
        if (!found || further(r, trial.fenced, best.carve, best.fenced)) {
          best = trial;
          found = true;
          // Valid well past the splice, or as far as the continuation's free clusters
          // go: no chance match gets there, and nothing else can be told of a payload
          // that carries no check. A unit that is still open counts by how far it was
          // followed (a GIF's image in three pieces). A proper end close to the splice
          // may be one (a few MCUs of foreign data and an EOI), so the candidates after
          // it are tried too, the longest proper end winning.
          settled = reach(r) >= std::min(limit, b + kSure) || trial.fenced ||
                    broke_at_piece_end(r, b, layout_.cluster_bytes(), reach(noise) <= b);
        }
        if (settled) break;
      }
      if (settled || budget_ == 0 || trials > most_trials) break;
    }
    // A proper end through an evident break is not put in doubt by the breaks that
    // nothing on the medium points to.
    const bool ended = tried == &evident && found && best.carve.verdict == Verdict::complete;
    if (settled || ended || budget_ == 0 || trials > most_trials) break;
  }
  if (!found) return false;
  // Inside a unit whose payload nothing checks (a video tag, a box of samples), the same
  // splice a cluster earlier or later on both sides validates alike: nothing tells which
  // clusters the file holds there, and it ends with the reading before the break (none
  // when that holds nothing to keep, as a picture's headers alone).
  if (in_doubt(format, splicer.get(), best, t, std::min(most, best.splice + window))) {
    Trial before = t;
    before.pieces.cut(best.splice);
    const bool kept = measure_trial(format, nullptr, before, best.splice).verdict != Verdict::corrupt;
    t.carve.verdict = kept ? Verdict::truncated : Verdict::corrupt;
    t.carve.length = best.splice;
    t.carve.broken_at = 0;
    return false;
  }
  // Measured whole: a proper end inside the window may be followed by what the file's own
  // directories point to past it (a preview after the end marker).
  evaluate(format, splicer.get(), best, most);
  if (reach(best.carve) <= best.splice) return false;
  t = best;
  return true;
}

// Whether a splice of `best` (made in the piece of `prev` that begins at prev.splice)
// validates alike a cluster earlier or later on both sides up to `limit`, with noise in
// the cluster that moves as well: no structure reads the clusters around it.
bool FragmentSearch::in_doubt(const Format& format, Splicer* splicer, const Trial& best, const Trial& prev,
                              uint64_t limit) {
  const Carve ref = measure_trial(format, splicer, best, limit);
  auto alike = [&](const Carve& c) { return !further(ref, false, c, false); };
  auto moves_alike = [&](int64_t clusters) {
    const Trial m = moved(best, prev, clusters);
    if (m.pieces.count == 0) return false;
    const uint64_t lo = std::min(m.splice, best.splice), hi = std::max(m.splice, best.splice);
    Trial noisy = best;
    noisy.splice = lo;  // measured from before the noise on
    return alike(measure_trial(format, splicer, noisy, limit, lo, hi)) && alike(measure_trial(format, splicer, m, limit));
  };
  return moves_alike(1) || moves_alike(-1);
}

// The trial's splice moved by `clusters` on both sides, over the pieces of `prev`; no
// pieces when the break would leave its piece or a cluster that joins the file cannot
// be its own (listed, claimed, another file's start, a piece it holds already).
FragmentSearch::Trial FragmentSearch::moved(const Trial& t, const Trial& prev, int64_t clusters) {
  const int64_t by = clusters * static_cast<int64_t>(layout_.cluster_bytes());
  const uint64_t b = t.splice + by, c = t.pieces.piece[t.pieces.count - 1].offset + by;
  Trial m;
  if (b <= prev.splice || b >= prev.pieces.length() || c < layout_.data_start()) return m;
  m.splice = b;
  m.pieces = spliced(prev.pieces, b, c);
  // The cluster that joins: the continuation's one before it, or the one after the break.
  const uint64_t joins = clusters < 0 ? c : prev.pieces.medium_offset(t.splice);
  const uint64_t cluster = layout_.cluster_at(joins);
  bool own = false;
  for (size_t i = 0; i + 1 < m.pieces.count; ++i)
    own = own || (c >= m.pieces.piece[i].offset && c < m.pieces.piece[i].offset + m.pieces.piece[i].length);
  if (cluster == UINT64_MAX || !usable(cluster) || foreign_end(joins) > joins || own) m.pieces = Pieces{};
  return m;
}

// Cluster boundaries inside the last piece where it may have ended: inside the unit
// that was found broken when the format says where that ends (the break lies between
// the last validated byte and there), else at or shortly before the last validated
// byte (wrong data often decodes a little way); the nearest to the failure first.
std::vector<uint64_t> FragmentSearch::break_points(const Trial& t) const {
  const uint64_t cs = layout_.cluster_bytes(), valid = t.carve.length, back = kBackClusters * cs;
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  const bool located = t.carve.broken_at > valid;
  // The last unit that held may reach past the piece's end, its payload unchecked: the
  // boundary before the last validated byte too.
  const uint64_t lo =
      std::max(t.splice + 1, located ? (valid >= cs ? valid - cs + 1 : 0) : valid > back ? valid - back : 0);
  // The unit that failed may have begun before the break: the next boundary too. None
  // past the clusters the piece can hold.
  uint64_t hi = std::min(located ? reach(t.carve) : valid + cs - 1, t.splice + last.length);
  if (hi > t.splice) hi = std::min(hi, t.splice + unlisted_run(last.offset, hi - t.splice));
  std::vector<uint64_t> out;
  if (lo > hi || last.offset + (lo - t.splice) < layout_.data_start()) return out;
  const uint64_t into = (last.offset + (lo - t.splice) - layout_.data_start()) % cs;
  for (uint64_t b = lo + (into ? cs - into : 0); b <= hi && out.size() < 4096; b += cs) out.push_back(b);
  std::stable_sort(out.begin(), out.end(),
                   [hi](uint64_t a, uint64_t b) { return distance(a, hi) < distance(b, hi); });
  if (out.size() > kMaxBreaks) out.resize(kMaxBreaks);
  return out;
}

FragmentSearch::Continuations::Continuations(FragmentSearch& search, const Format& format, uint64_t after,
                                             uint64_t file_start)
    : search_(search), format_(format), file_start_(file_start),
      most_(kMaxCandidates * static_cast<size_t>(std::max<uint64_t>(1, kCountsCluster / search.layout_.cluster_bytes()))) {
  done_ = after == UINT64_MAX || file_start == UINT64_MAX;
  c_ = after + 1;
  // Where the piece's reading went on is no continuation; a file that begins there (and
  // so ended the piece) holds the clusters after it.
  if (!done_ && search.usable(after)) {
    const uint64_t at = search.layout_.cluster_offset(after);
    const Occupant o = search.occupant(at);
    if (o.found.format) c_ = after + held_by(o, at);
  }
  // Past the volume's last cluster a file system goes on from its first free one: a few
  // from there, up to the file's own clusters.
  stop_ = after < file_start ? file_start : search.layout_.clusters();
}

bool FragmentSearch::Continuations::at(size_t i, uint64_t* cluster) {
  while (out_.size() <= i && !done_) step();
  if (i >= out_.size()) return false;
  *cluster = out_[i];
  return true;
}

// Looks at one more cluster; at the end, the zeroed runs follow the free clusters.
void FragmentSearch::Continuations::step() {
  const VolumeLayout& layout = search_.layout_;
  if (out_.size() >= most_ || visited_ >= kMaxVisited ||
      (c_ >= stop_ && (stop_ == file_start_ || file_start_ == 0))) {
    out_.insert(out_.end(), zero_runs_.begin(), zero_runs_.end());
    done_ = true;
    return;
  }
  ++visited_;
  if (c_ >= stop_) {
    c_ = 0, stop_ = file_start_, zeroes_ = false;
    most_ = std::min(most_, out_.size() + kMaxRound);
  }
  if (!search_.usable(c_)) {
    ++c_;
    zeroes_ = false;
    return;
  }
  const uint64_t at = layout.cluster_offset(c_);
  const Occupant o = search_.occupant(at);
  if (o.end > at) {
    // A later piece of a stream may open as a file of its own (a program stream's pack,
    // system header and sequence header, which muxers repeat): one of this file's
    // format is tried too.
    if (o.found.format == &format_) out_.push_back(c_);
    if (o.zero && !zeroes_ && zero_runs_.size() < kMaxZeroRuns) zero_runs_.push_back(c_);
    zeroes_ = o.zero;
    c_ += held_by(o, at);
    return;
  }
  zeroes_ = false;
  out_.push_back(c_++);
}

uint64_t FragmentSearch::Continuations::held_by(const Occupant& o, uint64_t at) {
  const uint64_t cs = search_.layout_.cluster_bytes();
  uint64_t end = o.end;
  // A file of this one's format may have read on over this one's own data, which its
  // structure takes for its own: it holds only as far as its splicer vouches.
  if (o.found.format == &format_ && o.found.carve.verdict != Verdict::complete)
    end = at + search_.held_length(at, o.found);
  if (end <= at) return 1;
  uint64_t skip = (end - at + cs - 1) / cs;
  if (o.found.format && o.found.carve.verdict != Verdict::complete) {
    // A file cut short (a first piece, mostly) broke somewhere in its last clusters:
    // wrong data decodes a little way, and a stream's last unit reaches into the
    // next piece unchecked. Those clusters may hold this file's continuation and
    // are tried in order; of a file of this one's format only the last, whose own
    // data would pass as well.
    const uint64_t back = o.found.format == &format_ ? 1 : kBackClusters, whole = (end - at) / cs;
    skip = whole >= back ? whole + 1 - back : 1;
  }
  // A file whose structure does not check its bytes past its first cluster (sound
  // samples, pixels, a movie's samples without their index) says nothing of where
  // its clusters end: the clusters its reading runs over may be anyone's.
  if (o.found.format && !search_.checks_its_clusters(at, o.found)) skip = 1;
  return skip;
}

Pieces FragmentSearch::free_clusters(uint64_t first, uint64_t want, bool skip_zeroed) {
  const uint64_t cs = layout_.cluster_bytes();
  Pieces p;
  for (uint64_t c = first, visited = 0, have = 0; have < want && c < layout_.clusters() && visited < kMaxVisited;
       ++visited) {
    if (!usable(c)) {
      ++c;
      continue;
    }
    const uint64_t at = layout_.cluster_offset(c);
    const Occupant o = c == first ? Occupant{at, false, Measured{}} : occupant(at);
    if (o.end > at && (skip_zeroed || !o.zero)) {
      c += (o.end - at + cs - 1) / cs;
      continue;
    }
    if (!p.add(at, cs)) break;
    have += cs;
    ++c;
  }
  return p;
}

uint64_t FragmentSearch::foreign_inside(uint64_t from, uint64_t to, uint64_t host_end, const Format* host) {
  const uint64_t cs = layout_.cluster_bytes(), c = layout_.cluster_at(from);
  if (c == UINT64_MAX) return UINT64_MAX;
  for (uint64_t at = layout_.cluster_offset(c + 1); at < to; at += cs) {
    bool readable = true;
    if (!probed(at, readable)) {
      if (!readable) break;
      continue;
    }
    const Occupant o = occupant(at);
    // Ending inside the host, a picture or a run of frames may be its own (a thumbnail, a
    // preview, a movie's frames), unless it lies amid the host's unchecked data (a raw
    // photo's sensor data holds no whole picture); a movie or a sound file is another
    // file's start, and so is a picture cut short (a host carries its pictures whole).
    if (o.end > host_end) return at;
    if (o.found.format && o.end < host_end &&
        (!carried(*o.found.format) || cut_picture(o.found) ||
         (host && host->unchecked_at && host->unchecked_at(medium_, from, host_end - from, at))))
      return at;
  }
  return UINT64_MAX;
}

bool FragmentSearch::probed(uint64_t at, bool& readable) {
  auto it = probed_.find(at);
  if (it != probed_.end()) return it->second;
  uint8_t head[512];
  readable = medium_.read_at(at, head, sizeof head) == sizeof head;
  if (!readable) return false;
  bool probed = false;
  for (size_t i = 0; i < formats_.size() && !probed; ++i) probed = formats_[i]->probe(head);
  if (probed_.size() >= kMaxRemembered) probed_.clear();
  return probed_[at] = probed;
}

bool FragmentSearch::checks_its_clusters(uint64_t at, const Measured& m) {
  const uint64_t cs = layout_.cluster_bytes();
  if (m.carve.length <= cs) return true;
  auto it = checked_.find(at);
  if (it != checked_.end()) return it->second;
  SplicedSource file(medium_, Pieces::whole(at, medium_.size() - at));
  NoiseIn noisy(file, cs);
  const bool checked = m.format->measure(noisy, 0, m.carve.length).length < m.carve.length;
  if (checked_.size() >= kMaxRemembered) checked_.clear();
  return checked_[at] = checked;
}

uint64_t FragmentSearch::held_length(uint64_t at, const Measured& m) {
  if (!m.format->splicer) return m.carve.length;
  auto it = held_.find(at);
  if (it != held_.end()) return it->second;
  SplicedSource file(medium_, Pieces::whole(at, medium_.size() - at));
  Carve c = m.carve;
  const std::unique_ptr<Splicer> splicer = m.format->splicer(file, c.length, c);
  if (splicer) {
    splicer->cluster_bytes = layout_.cluster_bytes();
    splicer->hold(file, c);
  }
  if (held_.size() >= kMaxRemembered) held_.clear();
  return held_[at] = c.length;
}

bool FragmentSearch::ends_elsewhere(uint64_t offset) {
  const uint64_t c = layout_.cluster_at(offset);
  return c != UINT64_MAX && (!usable(c) || foreign_end(offset) > offset);
}

bool FragmentSearch::usable(uint64_t cluster) const {
  return !layout_.taken(cluster) && !claims_.claimed(layout_.cluster_offset(cluster));
}

FragmentSearch::Occupant FragmentSearch::occupant(uint64_t offset) {
  Occupant o{offset, false, Measured{}};
  bool measured = false;
  if (ends_.find(offset, &o.end, &measured) && !measured) {
    o.zero = o.end == offset + layout_.cluster_bytes();
    return o;
  }
  uint8_t head[512];
  if (!measured) {  // else the measure is remembered
    if (medium_.read_at(offset, head, sizeof head) != sizeof head) {
      ends_.put(offset, o.end = medium_.size());
      return o;
    }
    if (zeroed(head, sizeof head)) {
      ends_.put(offset, o.end = offset + layout_.cluster_bytes());
      o.zero = true;
      return o;
    }
  }
  o.found = ends_.measure(offset, [&] {
    if (measured && medium_.read_at(offset, head, sizeof head) != sizeof head) return Measured{};
    return measure_at(formats_, medium_, offset, head);
  });
  o.end = o.found.format ? offset + o.found.carve.length : offset;
  return o;
}

void FragmentSearch::evaluate(const Format& format, Splicer* splicer, Trial& t, uint64_t limit) {
  const Extent& last = t.pieces.piece[t.pieces.count - 1];
  uint64_t fence = t.splice + unlisted_run(last.offset, limit > t.splice ? limit - t.splice : 0);
  auto measure = [&](uint64_t to) { return measure_trial(format, splicer, t, to); };
  // Measured over the bytes past the fence too: every unit is checked against what is
  // really there.
  Carve r = measure(limit);
  // Another file that starts inside what the continuation validated, or right after it,
  // and runs on past it ends the continuation as a listed cluster does.
  if (r.length > t.splice) {
    const uint64_t validated = last.offset + (r.length - t.splice);
    const uint64_t other = foreign_inside(last.offset, validated + 1, validated);
    if (other != UINT64_MAX) fence = std::min(fence, t.splice + (other - last.offset));
  }
  // As far as this continuation can carry the file: the structure ran on into the
  // clusters it cannot hold (a payload without checks), or it held past the splice and
  // broke at the fence or in the unit that straddles it, which measured up to the fence
  // alone looks cut short rather than broken.
  t.fenced = false;
  if (fence < limit && r.length >= t.splice + kMargin) {
    t.fenced = r.length > fence ||
               (r.verdict != Verdict::complete && reach(r) <= fence && measure(fence).length + kFenceSlack >= fence);
  }
  if (t.fenced) {
    r.verdict = Verdict::truncated;
    r.length = std::min(r.length, fence);
    r.broken_at = fence;
  }
  t.carve = r;
}

Carve FragmentSearch::control(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit,
                              Controls& controls) {
  const auto key = std::make_pair(t.splice, limit);
  auto it = controls.find(key);
  if (it != controls.end()) return it->second;
  return controls[key] = measure_trial(format, splicer, t, limit, t.splice);
}

bool FragmentSearch::cannot_beat_noise(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit,
                                       Controls& controls, std::map<uint64_t, bool>& known) {
  if (!splicer) return false;
  auto it = known.find(t.splice);
  if (it != known.end()) return it->second;
  SplicedSource file(medium_, t.pieces);
  bool alike = splicer->unchecked_to(file, t.splice) > limit;
  if (alike) {
    const Carve noise = control(format, splicer, t, limit, controls);
    alike = noise.verdict != Verdict::complete && noise.length == limit;
  }
  return known[t.splice] = alike;
}

// The file over the trial's pieces (with noise from `noise_from` up to `noise_to`: after
// the splice for a control) measured up to `limit`, from the splicer's state when there is one.
Carve FragmentSearch::measure_trial(const Format& format, Splicer* splicer, const Trial& t, uint64_t limit,
                                    uint64_t noise_from, uint64_t noise_to) {
  SplicedSource file(medium_, t.pieces);
  NoiseIn noisy(file, noise_from, noise_to);
  ByteSource& src = noise_from < file.size() ? static_cast<ByteSource&>(noisy) : file;
  Carve r = splicer ? splicer->measure(src, t.splice, limit) : format.measure(src, 0, limit);
  budget_ -= std::min(budget_, file.bytes_read());
  r.length = std::min(r.length, limit);
  // A stream that ran up to the limit took it for the medium's end, where a stream
  // without an end marker ends whole: short of the file's bytes, the limit ended nothing.
  if (r.verdict == Verdict::complete && r.length == limit && limit < file.size()) r.verdict = Verdict::truncated;
  return r;
}

// A continuation whose data nothing checks near its splice is the file's when the
// structure further on vouches for it (an index at the file's end), or when its free
// clusters end at a listed or foreign cluster where the piece can end: before the
// file's end, which the structure gives (the control's proper end), or right after its
// last cluster. The trial is then measured as far as it goes.
bool FragmentSearch::bounded(const Format& format, Splicer* splicer, Trial& t, uint64_t most, Controls& controls) {
  const uint64_t limit = std::min(most, t.splice + kControlBytes);
  const Carve c = control(format, splicer, t, limit, controls);
  Trial whole = t;
  evaluate(format, splicer, whole, limit);
  bool held = whole.fenced || further(whole.carve, false, c, false);
  if (!held && c.verdict == Verdict::complete && c.length > t.splice) {
    const uint64_t cs = layout_.cluster_bytes(), at = t.pieces.piece[t.pieces.count - 1].offset;
    const uint64_t rest = (c.length - t.splice + cs - 1) / cs * cs;  // the file's clusters from the splice
    uint64_t run = unlisted_run(at, rest + cs);
    run = std::min(run, foreign_inside(at, at + run, at + rest) - at);
    held = run == rest || run < c.length - t.splice;
  }
  if (held) t = whole;
  return held;
}

uint64_t FragmentSearch::unlisted_run(uint64_t at, uint64_t most) const {
  const uint64_t cs = layout_.cluster_bytes();
  if (!layout_.has_allocation() || cs == 0) return most;
  for (uint64_t c = layout_.cluster_at(at), n = 0; n < most && c < layout_.clusters(); ++c, n += cs)
    if (layout_.taken(c)) return n;
  return most;
}

Pieces FragmentSearch::spliced(const Pieces& base, uint64_t at, uint64_t continuation) const {
  Pieces p = base;
  p.cut(at);
  // A continuation before the file's start (the volume's allocation went round) ends
  // where the file begins.
  const uint64_t start = base.piece[0].offset;
  p.piece[p.count++] = {continuation, (continuation < start ? start : medium_.size()) - continuation};
  return p;
}

}  // namespace kes
