// The JPEG splicer of the fragment search: the file's data is decoded once with
// checkpoints, and each candidate continuation is decoded from the last checkpoint
// before its splice, over the spliced view, until it stops validating; the decoder's
// state is rewound after each. A candidate that carries the scan to its end is walked
// on from there, through the segments and scans after it. Where the data decodes on
// but the picture does not go on (another photo's data, jpeg_seam.h), the candidate
// ends at that cluster boundary.
#include <memory>

#include "formats/formats.h"
#include "formats/jpeg_seam.h"
#include "formats/jpeg_walk.h"

namespace kes {
namespace {

// Every few MCUs: a candidate decodes from its splice's checkpoint on, once per break and
// continuation, so the bytes between them are decoded again each time.
constexpr uint32_t kCheckpointSpacing = 256;
constexpr uint64_t kFarMeasure = 1u << 20;  // past the splice: a measure of the piece taken, not of a candidate
constexpr uint32_t kFarSpacing = 64 * 1024;  // between the checkpoints such a measure leaves

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
    // A measure that may read far past the splice (a piece taken whole) leaves sparse
    // checkpoints over the data, so that the seam check traces only its last stretch.
    const bool far = limit - splice > kFarMeasure;
    if (far) {
      st_.trail.enable(kFarSpacing);
      st_.trail.unfreeze();
    }
    // Most candidates stop decoding within a window of MCUs past the splice, too few to
    // show a seam: they are decoded alone. One that goes further is traced as it decodes
    // (another photo's data shows its seam before it stops decoding), then decoded on from
    // the last MCU traced to learn where it stops.
    const uint64_t window = far ? 0 : jpeg::SeamFinder::window(st_);
    jpeg::ScanResult r = jpeg::resume_scan(file, limit, st_, from, window ? from.mcu + window : UINT64_MAX);
    jpeg::Seam seam;
    const bool followed = r.why == jpeg::Stop::paused;
    if (followed) {
      jpeg::Checkpoint resume = from;
      if (seams_.follow(file, limit, st_, splice, cluster_bytes, seam, resume)) {
        jpeg::rewind(st_, from);
        Carve c = make_carve(Verdict::truncated, seam.valid_end, "jpg");
        c.broken_at = seam.broken_at;
        return c;
      }
      r = jpeg::resume_scan(file, limit, st_, resume);
    }
    Carve c = make_carve(Verdict::truncated, r.valid_end, "jpg");
    // Data that decodes on but does not continue the picture: another photo's, with the
    // same tables. Even to the scan's end, where its MCUs happen to line up with this
    // one's; a far measure goes over a candidate that was checked so already.
    const bool ended = r.why == jpeg::Stop::end_of_scan;
    if (r.valid_end > splice && (!ended || !far) &&
        (followed ? seams_.find_followed(file, limit, st_, r.valid_end, r.mcus, seam)
                  : seams_.find(file, limit, st_, splice, cluster_bytes, r.valid_end, r.mcus, seam))) {
      c.length = seam.valid_end;  // a boundary before where the decoding stopped
      c.broken_at = seam.broken_at;
    } else if (ended) {
      // The segments and scans after it may change the tables and the scan in force,
      // which the next candidate needs as they were: they go on with a copy.
      std::unique_ptr<jpeg::DecodeState> after(new jpeg::DecodeState(st_));
      Cursor cur(file, 0, limit);
      const jpeg::Walk w = jpeg::walk_on(cur, walk_, r.marker_pos, true, *after);
      c = make_carve(w.verdict, w.end, "jpg");  // a scan walked whole: never corrupt
    }
    jpeg::rewind(st_, from);  // drops the sparse checkpoints too
    if (far) {
      st_.trail.freeze();
      st_.trail.enable(kCheckpointSpacing);
    }
    return c;
  }

  void hold(ByteSource& file, Carve& carve) override {
    if (walk_.verdict == Verdict::complete || !walk_.scan_data) return;
    const uint64_t first = (walk_.scan_data + cluster_bytes - 1) / cluster_bytes * cluster_bytes;
    jpeg::Seam seam;
    if (carve.length > first && seams_.find(file, carve.length, st_, first, cluster_bytes, carve.length,
                                            walk_.scan_mcus, seam)) {
      carve.verdict = Verdict::truncated;
      carve.length = seam.valid_end;
      carve.broken_at = seam.broken_at;
    }
  }

  // The walk of the new file is the old one's up to the checkpoint before the splice,
  // then the stopped scan decoded on from there (recording checkpoints again) and what
  // follows it: as a walk from its start would go.
  bool extend(ByteSource& file, uint64_t max_length, uint64_t splice) override {
    const jpeg::Checkpoint* cp = checkpoint_before(splice);
    if (!cp) return false;
    const jpeg::Checkpoint from = *cp;
    st_.trail.unfreeze();
    seams_.forget();
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
  jpeg::SeamFinder seams_;
};

}  // namespace

std::unique_ptr<Splicer> jpg_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new JpegSplicer(file, max_length));
}

}  // namespace kes
