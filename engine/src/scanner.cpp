#include "scanner.h"

#include <algorithm>
#include "engine_report.h"
#include "file_naming.h"

namespace kes {
namespace {

constexpr size_t kPieceBytes = 4u << 20;  // carved bytes go to the writer in pieces of this size

uint64_t round_up_sector(uint64_t v) { return (v + kSectorBytes - 1) / kSectorBytes * kSectorBytes; }

}  // namespace

Scanner::Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
                 const std::atomic<bool>& stop)
    : stream_(stream), source_(stream), formats_(std::move(formats)), writer_(writer), progress_(progress), stop_(stop) {}

bool Scanner::run() {
  const uint64_t size = stream_.size();
  const size_t chunk_bytes = stream_.chunk_bytes();
  uint64_t pos = 0;
  if (formats_.empty()) pos = size;  // nothing to look for: no need to read the medium
  while (pos < size && !halted()) {
    const Chunk* chunk = stream_.acquire(pos / chunk_bytes);
    if (!chunk) break;
    const uint64_t chunk_end = chunk->offset + chunk->length;
    while (pos < chunk_end && !halted()) {
      pos = scan_sector(pos, chunk->data + (pos - chunk->offset));
      progress_.done.store(std::min(size, pos) / kSectorBytes, std::memory_order_relaxed);
    }
  }
  if (pos >= size && !halted()) {
    progress_.done.store(progress_.total.load());
    return true;
  }
  return false;
}

uint64_t Scanner::scan_sector(uint64_t pos, const uint8_t* head) {
  const uint64_t left = stream_.size() - pos;
  for (const Format* f : formats_) {
    if (!f->probe(head)) continue;
    const uint64_t most = std::min(f->max_length, left);
    Carve carve = f->measure(source_, pos, most);
    if (carve.verdict == Verdict::corrupt || carve.length == 0) continue;
    carve.length = std::min(carve.length, most);
    if (!emit(*f, carve, pos)) return pos + kSectorBytes;
    // Whatever lies inside the file (an embedded thumbnail) is part of it.
    return round_up_sector(pos + carve.length);
  }
  return pos + kSectorBytes;
}

bool Scanner::emit(const Format& format, const Carve& carve, uint64_t start) {
  if (!writer_.begin_file(carve_extension(format, carve), format.name)) return false;
  for (uint64_t done = 0; done < carve.length;) {
    if (stop_.load()) {
      writer_.abandon_file();
      return false;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(kPieceBytes, carve.length - done));
    std::vector<uint8_t> piece(n);
    size_t got = source_.read_at(start + done, piece.data(), n);
    if (got < n) {  // the stream was stopped while the measure waited for it
      writer_.abandon_file();
      return false;
    }
    if (!writer_.write(std::move(piece))) return false;
    done += got;
  }
  return writer_.end_file();
}

}  // namespace kes
