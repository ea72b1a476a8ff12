#include "prober.h"

#include "engine_report.h"

namespace kes {

Prober::Prober(ChunkStream& stream, std::vector<const Format*> formats)
    : stream_(stream), formats_(std::move(formats)), slots_(stream.window_chunks()) {
  if (formats_.empty()) {
    ended_ = true;  // nothing to look for: the medium is not read
    return;
  }
  thread_ = std::thread([this] { loop(); });
}

Prober::~Prober() {
  stream_.stop();
  if (thread_.joinable()) thread_.join();
}

// Chunk after chunk, as the window lets the reader bring them in. A slot is written again
// a window later, when the scan has gone past its chunk.
void Prober::loop() {
  for (uint64_t index = 0;; ++index) {
    const Chunk* chunk = stream_.pin(index);  // or a later one, when the scan has gone past
    if (!chunk) break;
    index = chunk->offset / stream_.chunk_bytes();
    ChunkHits& slot = slots_[index % slots_.size()];
    probe(*chunk, slot);
    stream_.unpin();
    std::lock_guard<std::mutex> lock(mutex_);
    slot.index = index;
    ready_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  ready_.notify_all();
}

void Prober::probe(const Chunk& chunk, ChunkHits& out) const {
  out.sectors.clear();
  out.end = chunk.offset + chunk.length;
  for (size_t at = 0; at < chunk.length; at += kSectorBytes) {
    const uint8_t* head = chunk.data + at;
    __builtin_prefetch(head + 8 * kSectorBytes);  // sector heads lie far apart: fetch ahead
    SectorHits* s = nullptr;
    for (const Format* f : formats_) {
      if (!f->probe(head)) continue;
      if (!s) {
        out.sectors.emplace_back();
        s = &out.sectors.back();
        s->pos = chunk.offset + at;
      }
      if (s->count < kMaxHitsPerSector) s->hits[s->count++] = f;
    }
  }
}

const ChunkHits* Prober::hits(uint64_t index) {
  ChunkHits& slot = slots_[index % slots_.size()];
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return ended_ || slot.index == index; });
  return slot.index == index ? &slot : nullptr;
}

}  // namespace kes
