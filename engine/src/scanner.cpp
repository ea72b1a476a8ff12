#include "scanner.h"

#include <algorithm>
#include "engine_report.h"
#include "file_naming.h"

namespace kes {
namespace {

constexpr size_t kMaxPending = 256;       // hits waiting for their verdict

uint64_t round_up_sector(uint64_t v) { return (v + kSectorBytes - 1) / kSectorBytes * kSectorBytes; }

}  // namespace

Scanner::Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
                 const std::atomic<bool>& stop, unsigned measure_threads)
    : stream_(stream),
      source_(stream),
      formats_(std::move(formats)),
      writer_(writer),
      progress_(progress),
      stop_(stop),
      pool_(source_, measure_threads) {}

bool Scanner::run() {
  const uint64_t size = stream_.size();
  const uint64_t chunk_bytes = stream_.chunk_bytes();
  const uint64_t window = stream_.window_chunks();
  if (formats_.empty()) pos_ = size;  // nothing to look for: no need to read the medium
  while (!halted()) {
    while (!pending_.empty() && pending_.front()->done.load()) resolve_oldest();
    if (pos_ >= size) {
      if (pending_.empty()) break;
      resolve_oldest();
      continue;
    }
    const uint64_t held = (pending_.empty() ? pos_ : pending_.front()->pos) / chunk_bytes;
    if (pos_ / chunk_bytes >= held + window || pending_.size() >= kMaxPending) {
      resolve_oldest();  // probing is as far ahead as the window allows
      continue;
    }
    const Chunk* chunk = stream_.acquire(pos_ / chunk_bytes);
    if (!chunk) break;
    probe_chunk(*chunk);
    hold_from_oldest();
  }
  if (halted() || pos_ < size || !pending_.empty()) {
    stream_.stop();  // measures waiting for the reader return at once
    for (auto& c : pending_) pool_.wait(c.get());
    pending_.clear();
    return false;
  }
  progress_.done.store(progress_.total.load());
  return true;
}

void Scanner::probe_chunk(const Chunk& chunk) {
  const uint64_t end = chunk.offset + chunk.length;
  const uint64_t size = stream_.size();
  while (pos_ < end) {
    const uint8_t* head = chunk.data + (pos_ - chunk.offset);
    __builtin_prefetch(head + 8 * kSectorBytes);  // sector heads lie far apart: fetch ahead
    Candidate* c = nullptr;
    for (const Format* f : formats_) {
      if (!f->probe(head)) continue;
      if (!c) {
        pending_.push_back(std::make_unique<Candidate>());
        c = pending_.back().get();
        c->pos = pos_;
        c->left = size - pos_;
      }
      if (c->hit_count < kMaxHitsPerSector) c->hits[c->hit_count++] = f;
    }
    pos_ += kSectorBytes;
    if (c) {
      pool_.submit(c);
      if (pending_.size() >= kMaxPending) return;
    }
  }
}

void Scanner::resolve_oldest() {
  Candidate& c = *pending_.front();
  pool_.wait(&c);
  if (c.pos >= skip_end_ && c.format && emit(*c.format, c.carve, c.pos)) {
    // Whatever lies inside the file (an embedded thumbnail) is part of it.
    skip_end_ = round_up_sector(c.pos + c.carve.length);
    pool_.covered_to(skip_end_);
    pos_ = std::max(pos_, skip_end_);
  }
  pending_.pop_front();
  hold_from_oldest();
}

// Keeps the chunks from the oldest waiting hit (or the probe position) on, and reports
// the position before which everything is settled.
void Scanner::hold_from_oldest() {
  const uint64_t settled = std::min(stream_.size(), pending_.empty() ? pos_ : pending_.front()->pos);
  stream_.release_below(settled / stream_.chunk_bytes());
  progress_.done.store(settled / kSectorBytes, std::memory_order_relaxed);
}

bool Scanner::emit(const Format& format, const Carve& carve, uint64_t start) {
  if (!writer_.begin_file(carve_extension(format, carve), format.name)) return false;
  for (uint64_t done = 0; done < carve.length;) {
    if (stop_.load()) {
      writer_.abandon_file();
      return false;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(CarveWriter::kPieceBytes, carve.length - done));
    Piece piece = writer_.take_piece(n);
    size_t got = source_.read_at(start + done, piece.data.get(), n);
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
