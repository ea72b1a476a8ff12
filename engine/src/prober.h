// Probing on a thread of its own, ahead of the scan: every sector of every chunk the
// reader brings in is shown to the enabled formats' probes, and the hits are kept per
// chunk until the scan takes them, in medium order. Probing is a function of each
// sector's bytes alone, so the hits are those the scan would find itself.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>
#include "chunk_stream.h"
#include "format.h"

namespace kes {

struct ChunkHits {
  uint64_t index = UINT64_MAX;
  uint64_t end = 0;  // medium offset after the chunk's last byte
  std::vector<SectorHits> sectors;
};

class Prober {
 public:
  Prober(ChunkStream& stream, std::vector<const Format*> formats);
  // Stops the stream (the scan is over) and ends the thread.
  ~Prober();
  Prober(const Prober&) = delete;
  Prober& operator=(const Prober&) = delete;

  // The hits of chunk `index`, waiting for them; null past the medium's end or once the
  // stream stopped. Valid until the scan releases the chunk.
  const ChunkHits* hits(uint64_t index);

 private:
  void loop();
  void probe(const Chunk& chunk, ChunkHits& out) const;

  ChunkStream& stream_;
  const std::vector<const Format*> formats_;
  std::vector<ChunkHits> slots_;  // chunk index modulo the stream's window
  std::mutex mutex_;
  std::condition_variable ready_;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace kes
