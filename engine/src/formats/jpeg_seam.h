// Where a sequential JPEG's picture stops continuing itself. Photos of one camera share
// their Huffman tables, so one's entropy-coded data decodes on over another's: codes,
// coefficient positions and counts all hold, and only the picture shows the seam. The
// blocks' DC values (each an 8x8 block's mean) trace the picture at an eighth of its
// size; below a seam a row of blocks no longer follows the row above it, and the DC
// prediction, carried over from the file's own data, is off by a constant besides.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <vector>
#include "byte_source.h"
#include "formats/jpeg_headers.h"

namespace kes::jpeg {

struct Seam {
  uint64_t valid_end = 0;  // the cluster boundary where the other data begins
  uint64_t broken_at = 0;  // the end of the MCU that straddles it
};

// The DC values of each MCU decoded from a checkpoint, summed per component: the picture
// at an eighth of its size (at a sixteenth, for subsampled MCUs).
struct Trace {
  int ncomp = 0;
  std::vector<int32_t> dc;   // ncomp per MCU
  std::vector<uint64_t> at;  // where each MCU starts
  std::vector<int32_t> step; // each MCU's step from the one a row above, per block (0: unknown)
  uint64_t first = 0;        // the MCU index of the first
  uint64_t next = 0;         // of the one after the last
  uint64_t known = 0;        // MCUs from here on (index into the trace) share one DC origin
  int32_t pred[4] = {};      // the DC predictions after the last
  size_t mcus() const { return at.size(); }
};

class SeamFinder {
 public:
  // Looks for a seam at `splice` or at a cluster boundary after it (every `cluster`
  // bytes) in the current scan's data over src, decoding from the trail's checkpoints
  // (which must reach back two rows of blocks before the splice for a seam there to
  // show) up to `to`; `mcus` is how many the scan decoded.
  // False when none shows, or when the scan is not one this can trace (progressive,
  // arithmetic, not interleaved). The data before the splice must be the file's own, the
  // same from call to call, as a fragment search's candidates for one splice have it.
  bool find(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t splice, uint64_t cluster, uint64_t to,
            uint64_t mcus, Seam& seam);
  // How many MCUs past the checkpoint at a splice a candidate must decode for a seam to
  // be judged; 0 when the scan is not one this traces.
  static uint64_t window(const DecodeState& st);
  // A candidate traced from the checkpoint at `splice` on as far as it decodes, judged as
  // it goes: true with a seam that shows before the data stops decoding. Else `resume`
  // (left as it is when nothing was traced) is where the decoder goes on to learn where
  // and why the data stops, and find_followed() judges what is left of the trace with
  // that instead of tracing again: the candidate is decoded once.
  bool follow(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t splice, uint64_t cluster, Seam& seam,
              Checkpoint& resume);
  // After a follow() that showed no seam: what find() gives for the decoding that stopped
  // at `to` after `mcus` MCUs.
  bool find_followed(ByteSource& src, uint64_t limit, DecodeState& st, uint64_t to, uint64_t mcus, Seam& seam);
  // The file's data before the splices to come is not what it was.
  void forget();

  SeamFinder();
  ~SeamFinder();

 private:
  struct Followed;  // the candidate follow() traced last
  // The trace of two rows and a window of the file's own MCUs before the checkpoint at a
  // splice (the rows' usual step, the window that must follow it), traced once per splice.
  Trace& head(ByteSource& src, uint64_t limit, DecodeState& st, const Checkpoint& at_splice, uint64_t w);
  // Cuts the head that the last candidate was traced onto back to its own MCUs.
  void settle();

  std::map<uint64_t, Trace> heads_;  // by the checkpoint before a splice: the trace up to it
  std::unique_ptr<Followed> followed_;
};

}  // namespace kes::jpeg
