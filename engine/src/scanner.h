// The scan: one pass over the medium, every enabled format probed at every sector
// boundary, each hit measured and, when it holds, handed to the writer.
#pragma once
#include <atomic>
#include <vector>
#include "carve_writer.h"
#include "chunk_stream.h"
#include "format.h"

namespace kes {

class Scanner {
 public:
  Scanner(ChunkStream& stream, std::vector<const Format*> formats, CarveWriter& writer, Progress& progress,
          const std::atomic<bool>& stop);
  // Runs to the end of the medium, a stop request or a write failure; true when the
  // whole medium was scanned.
  bool run();

 private:
  // Tries every format at `pos`; returns where the scan goes on.
  uint64_t scan_sector(uint64_t pos, const uint8_t* head);
  bool emit(const Format& format, const Carve& carve, uint64_t start);
  bool halted() const { return stop_.load() || writer_.failed(); }

  ChunkStream& stream_;
  StreamSource source_;
  std::vector<const Format*> formats_;
  CarveWriter& writer_;
  Progress& progress_;
  const std::atomic<bool>& stop_;
};

}  // namespace kes
