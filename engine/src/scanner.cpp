#include "scanner.h"

#include <algorithm>
#include "engine_report.h"
#include "file_naming.h"

namespace kes {
namespace {

constexpr size_t kMaxPending = 256;       // hits waiting for their verdict
constexpr size_t kMaxUnfollowed = 64;     // cut files kept until the old grid is known

uint64_t round_up_sector(uint64_t v) { return (v + kSectorBytes - 1) / kSectorBytes * kSectorBytes; }

// The current file system's files hold the clusters of another grid that they overlap.
void carry_taken(const VolumeLayout& listed, VolumeLayout& grid) {
  for (uint64_t k = 0; listed.has_allocation() && k < listed.clusters(); ++k) {
    if (!listed.taken(k)) continue;
    const uint64_t first = grid.cluster_at(listed.cluster_offset(k));
    const uint64_t last = grid.cluster_at(listed.cluster_offset(k) + listed.cluster_bytes() - 1);
    if (first == UINT64_MAX || last == UINT64_MAX) continue;
    for (uint64_t c = first; c <= last; ++c) grid.set_taken(c);
  }
}

}  // namespace

Scanner::Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
                 const std::atomic<bool>& stop, unsigned measure_threads)
    : stream_(stream),
      source_(stream),
      formats_(std::move(formats)),
      writer_(writer),
      progress_(progress),
      stop_(stop),
      layout_(formats_.empty() ? VolumeLayout() : read_volume_layout(source_)),
      pool_(source_, measure_threads, layout_.known() ? &layout_ : nullptr, formats_, &file_ends_),
      prober_(stream, formats_),
      search_(source_, layout_, claims_, formats_, file_ends_),
      old_search_(source_, old_layout_, claims_, formats_, old_ends_) {}

bool Scanner::run() {
  const uint64_t size = stream_.size();
  if (formats_.empty()) pos_ = size;  // nothing to look for: no need to read the medium
  while (!halted()) {
    while (!pending_.empty() && pending_.front()->done.load()) resolve_oldest();
    if (pos_ >= size) {
      if (pending_.empty()) break;
      resolve_oldest();
      continue;
    }
    if (!room_ahead()) {
      resolve_oldest();  // probing is as far ahead as the window allows
      continue;
    }
    const ChunkHits* chunk = prober_.hits(pos_ / stream_.chunk_bytes());
    if (!chunk) break;
    queue_hits(*chunk);
    hold_from_oldest();
  }
  if (halted() || pos_ < size || !pending_.empty()) {
    stream_.stop();  // measures waiting for the reader return at once
    for (auto& c : pending_) pool_.wait(c.get());
    pending_.clear();
    return false;
  }
  if (!old_layout_.known() && !grid_in_doubt()) follow_unfollowed(false);
  progress_.done.store(progress_.total.load());
  return true;
}

bool Scanner::room_ahead() const {
  const uint64_t chunk_bytes = stream_.chunk_bytes();
  const uint64_t held = (pending_.empty() ? pos_ : pending_.front()->pos) / chunk_bytes;
  return pos_ < stream_.size() && pos_ / chunk_bytes < held + stream_.window_chunks() && pending_.size() < kMaxPending;
}

void Scanner::queue_ahead() {
  while (room_ahead()) {
    const ChunkHits* chunk = prober_.hits(pos_ / stream_.chunk_bytes());
    if (!chunk) return;
    queue_hits(*chunk);
  }
}

void Scanner::queue_hits(const ChunkHits& chunk) {
  auto s = std::lower_bound(chunk.sectors.begin(), chunk.sectors.end(), pos_,
                            [](const SectorHits& h, uint64_t pos) { return h.pos < pos; });
  for (; s != chunk.sectors.end(); ++s) {
    pending_.push_back(std::make_unique<Candidate>());
    Candidate* c = pending_.back().get();
    static_cast<SectorHits&>(*c) = *s;
    pos_ = s->pos + kSectorBytes;
    pool_.submit(c);
    if (pending_.size() >= kMaxPending) return;
  }
  pos_ = std::max(pos_, chunk.end);
}

void Scanner::resolve_oldest() {
  Candidate& c = *pending_.front();
  pool_.wait(&c);
  if (c.pos >= skip_end_ && !claims_.claimed(c.pos)) {
    const Format* format = c.placed_format;
    Carve carve = c.placed;
    Pieces pieces = c.pieces;
    // Placed ahead without the claims of the files resolved since, or not at all (a
    // layout guessed during the scan, a file on the old grid): placed again, here, in
    // medium order.
    const bool old_grid = on_old_grid(c.pos);
    FragmentSearch& search = old_grid ? old_search_ : search_;
    // While most files lie off the current grid, a deleted one on it may well lie on an
    // old one that is not known yet: followed along the current grid, it would be
    // spliced at the wrong boundaries. It is cut where it stops, and followed once the
    // grid is known.
    const bool in_doubt = !old_grid && grid_in_doubt();
    if (!c.placed_ahead || old_grid || in_doubt || overlaps_claims(pieces)) {
      format = c.format;
      carve = c.carve;
      if (!format) format = search.broken_start(c.hits, c.count, c.pos, carve);
      pieces = format ? search.place(*format, c.pos, carve, !in_doubt) : Pieces{};
    }
    // Placed along the free clusters, past those of the files carved before it: here.
    if (pieces.count == 0) pieces = search.relocated(c.hits, c.count, c.pos, &format, carve);
    if (pieces.count > 0) {
      // The hits past the file are measured while it is written: probing goes on there.
      pos_ = std::max(pos_, round_up_sector(c.pos + pieces.piece[0].length));
      queue_ahead();
    }
    if (pieces.count > 0 && emit(*format, carve, pieces)) {
      // Whatever lies inside the file (an embedded thumbnail) is part of it.
      skip_end_ = round_up_sector(c.pos + pieces.piece[0].length);
      pool_.covered_to(skip_end_);
      pos_ = std::max(pos_, skip_end_);
      claim_later_pieces(pieces, old_grid ? old_layout_ : layout_);
      fragmented_ += pieces.count > 1;
      if (layout_.known() && c.pos >= layout_.data_start()) ++(off_grid(c.pos) ? off_grid_files_ : on_grid_files_);
      if (c.format == format && carve.verdict != Verdict::complete) remember_cut(c, carve.length, in_doubt);
      remember_start(c.pos);
    }
  }
  pending_.pop_front();
  hold_from_oldest();
}

void Scanner::claim_later_pieces(const Pieces& pieces, const VolumeLayout& grid) {
  const uint64_t cluster = std::max<uint64_t>(grid.cluster_bytes(), kSectorBytes);
  for (size_t i = 1; i < pieces.count; ++i) {
    const Extent& e = pieces.piece[i];
    claims_.claim(e.offset, e.offset + (e.length + cluster - 1) / cluster * cluster);
  }
}

// A deleted file written cut short while no old grid is known: one may yet show.
void Scanner::remember_cut(const Candidate& c, uint64_t written, bool held) {
  const bool deleted = off_grid(c.pos) || !layout_.taken(layout_.cluster_at(c.pos));
  if (deleted && layout_.known() && !old_layout_.known() && unfollowed_.size() < kMaxUnfollowed)
    unfollowed_.push_back({c.pos, c.format, c.carve, written, held});
}

// Deleted files cut short before the old grid was known: followed along it now (or,
// those not followed while the current grid was in doubt, at the end along that one
// when no old grid showed and the doubt is gone), and written again whole when that
// carries them further (the cut copy stays).
void Scanner::follow_unfollowed(bool old_grid) {
  FragmentSearch& search = old_grid ? old_search_ : search_;
  for (const Unfollowed& u : unfollowed_) {
    if (old_grid ? !on_old_grid(u.pos) : !u.held) continue;
    Carve carve = u.carve;
    const Pieces pieces = search.place(*u.format, u.pos, carve);
    if (pieces.count < 2 || carve.length <= u.written || !emit(*u.format, carve, pieces)) continue;
    claim_later_pieces(pieces, old_grid ? old_layout_ : layout_);
    ++fragmented_;
  }
  unfollowed_.clear();
}

bool Scanner::grid_in_doubt() const {
  return layout_.known() && !old_layout_.known() && off_grid_files_ > on_grid_files_;
}

bool Scanner::overlaps_claims(const Pieces& pieces) const {
  for (size_t i = 0; i < pieces.count; ++i) {
    const Extent& e = pieces.piece[i];
    if (claims_.first_claimed(e.offset, e.offset + e.length) != UINT64_MAX) return true;
  }
  return false;
}

// Keeps the chunks from the oldest waiting hit (or the probe position) on, and reports
// the position before which everything is settled.
void Scanner::hold_from_oldest() {
  const uint64_t settled = std::min(stream_.size(), pending_.empty() ? pos_ : pending_.front()->pos);
  stream_.release_below(settled / stream_.chunk_bytes());
  progress_.done.store(settled / kSectorBytes, std::memory_order_relaxed);
}

// Off the current grid; or on both, deleted, where the old grid is the finer one that
// the current one's boundaries all lie on.
bool Scanner::on_old_grid(uint64_t pos) const {
  if (!old_layout_.known() || !old_layout_.at_cluster_start(pos)) return false;
  if (!layout_.at_cluster_start(pos)) return true;
  const uint64_t cs = old_layout_.cluster_bytes();
  const bool finer = layout_.cluster_bytes() % cs == 0 && layout_.data_start() % cs == old_layout_.data_start() % cs;
  return finer && !layout_.taken(layout_.cluster_at(pos));
}

bool Scanner::off_grid(uint64_t pos) const {
  return layout_.known() && pos >= layout_.data_start() && !layout_.at_cluster_start(pos);
}

// Files found so far tell the cluster layout of a medium without a boot sector, and the
// old grid of one formatted anew; taken in medium order, so the guess is the same on
// every run.
void Scanner::remember_start(uint64_t start) {
  if ((layout_.known() && !off_grid(start)) || old_layout_.known()) return;
  starts_.push_back(start);
  const size_t n = starts_.size();
  if (n < 12 || (n & (n - 1)) != 0) return;  // at 16, 32, 64... files
  VolumeLayout guess = layout_from_starts(starts_, source_.size());
  if (!guess.known()) return;
  starts_.clear();
  if (!layout_.known()) {
    layout_ = guess;
    return;
  }
  carry_taken(layout_, guess);
  old_layout_ = guess;
  follow_unfollowed(true);
}

bool Scanner::emit(const Format& format, const Carve& carve, const Pieces& pieces) {
  if (!writer_.begin_file(carve_extension(format, carve), format.name)) return false;
  SplicedSource file(source_, pieces);
  for (uint64_t done = 0; done < carve.length;) {
    if (stop_.load()) {
      writer_.abandon_file();
      return false;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(CarveWriter::kPieceBytes, carve.length - done));
    Piece piece = writer_.take_piece(n);
    size_t got = file.read_at(done, piece.data.get(), n);
    if (got < n) {  // the stream was stopped while waiting for the reader
      writer_.abandon_file();
      return false;
    }
    if (!writer_.write(std::move(piece))) return false;
    done += got;
  }
  return writer_.end_file();
}

}  // namespace kes
