// Raw deflate decoding (stored, fixed and dynamic blocks, 32 KiB window) of a stream on
// the medium, read through a Cursor. The decoded bytes go to a sink piece by piece;
// nothing is kept beyond the window, so any length of output costs 64 KiB of memory.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/cursor.h"

namespace kes {

class InflateSink {
 public:
  virtual ~InflateSink() = default;
  // Takes the next decoded bytes; false stops the decoding (not the data wanted).
  virtual bool take(const uint8_t* p, size_t n) = 0;
};

struct Inflated {
  enum Status : uint8_t {
    done,     // the final block ended; `end` is the byte after it
    cut,      // the input ended (medium or limit) inside a block
    broken,   // the bits are no deflate stream, or the sink refused its output
    too_long  // the output passed max_out
  } status = broken;
  uint64_t end = 0;         // byte after the final block (done)
  uint64_t block_end = 0;   // byte after the last block that decoded whole
  uint64_t last_start = 0;  // where the last block that decoded whole began
  uint64_t out = 0;        // bytes decoded
};

// Decodes the deflate stream starting at `pos`, passing at most max_out bytes to the sink.
Inflated inflate(Cursor& cur, uint64_t pos, uint64_t max_out, InflateSink& sink);

}  // namespace kes
