// The JPEG splicer of the fragment search: the file's data is decoded once with
// checkpoints, and each candidate continuation is decoded from the last checkpoint
// before its splice, over the spliced view, until it stops validating; the decoder's
// state is rewound after each. A candidate that carries the scan to its end is walked
// on from there, through the segments and scans after it.
#include <memory>

#include "formats/formats.h"
#include "formats/jpeg_walk.h"

namespace kes {
namespace {

// Every few MCUs: a candidate decodes from its splice's checkpoint on, once per break and
// continuation, so the bytes between them are decoded again each time.
constexpr uint32_t kCheckpointSpacing = 256;

class JpegSplicer : public Splicer {
 public:
  JpegSplicer(ByteSource& file, uint64_t max_length) {
    st_.trail.enable(kCheckpointSpacing);
    Cursor cur(file, 0, max_length);
    walk_ = jpeg::walk(cur, 0, true, &st_);
    st_.trail.freeze();
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const jpeg::Checkpoint* cp = checkpoint_before(splice);
    if (!cp) return measure_jpg(file, 0, limit);  // the break lies before the data
    const jpeg::Checkpoint from = *cp;
    const jpeg::ScanResult r = jpeg::resume_scan(file, limit, st_, from);
    Carve c = make_carve(Verdict::truncated, r.valid_end, "jpg");
    if (r.why == jpeg::Stop::end_of_scan) {
      // The segments and scans after it may change the tables and the scan in force,
      // which the next candidate needs as they were: they go on with a copy.
      std::unique_ptr<jpeg::DecodeState> after(new jpeg::DecodeState(st_));
      Cursor cur(file, 0, limit);
      const jpeg::Walk w = jpeg::walk_on(cur, walk_, r.marker_pos, true, *after);
      c = make_carve(w.verdict, w.end, "jpg");  // a scan walked whole: never corrupt
    }
    jpeg::rewind(st_, from);
    return c;
  }

  // The walk of the new file is the old one's up to the checkpoint before the splice,
  // then the stopped scan decoded on from there (recording checkpoints again) and what
  // follows it: as a walk from its start would go.
  bool extend(ByteSource& file, uint64_t max_length, uint64_t splice) override {
    const jpeg::Checkpoint* cp = checkpoint_before(splice);
    if (!cp) return false;
    const jpeg::Checkpoint from = *cp;
    st_.trail.unfreeze();
    const jpeg::ScanResult r = jpeg::resume_scan(file, max_length, st_, from);
    if (r.why == jpeg::Stop::end_of_scan) {
      Cursor cur(file, 0, max_length);
      walk_ = jpeg::walk_on(cur, walk_, r.marker_pos, true, st_);
    }  // else it stopped again in the same scan, as far as the walk needs to know
    st_.trail.freeze();
    return true;
  }

 private:
  // The last checkpoint at or before `splice` in the scan where the walk stopped, or null
  // (the walk ended, or the splice lies before that scan's data).
  const jpeg::Checkpoint* checkpoint_before(uint64_t splice) const {
    if (walk_.verdict == Verdict::complete || !walk_.scan_data) return nullptr;
    const jpeg::Checkpoint* cp = st_.trail.at_or_before(splice);
    return cp && cp->pos >= walk_.scan_data ? cp : nullptr;
  }

  jpeg::DecodeState st_;
  jpeg::Walk walk_;
};

}  // namespace

std::unique_ptr<Splicer> jpg_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new JpegSplicer(file, max_length));
}

}  // namespace kes
