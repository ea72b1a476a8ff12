// The JPEG splicer of the fragment search: the file's data is decoded once with
// checkpoints, and each candidate continuation is decoded from the last checkpoint
// before its splice, over the spliced view, until it stops validating; the decoder's
// state is rewound after each. Only a candidate that carries the scan to its end is
// walked whole, for the segments and scans after it.
#include "formats/formats.h"
#include "formats/jpeg_walk.h"

namespace kes {
namespace {

constexpr uint32_t kCheckpointSpacing = 2048;

class JpegSplicer : public Splicer {
 public:
  JpegSplicer(ByteSource& file, uint64_t max_length) {
    st_.trail.enable(kCheckpointSpacing);
    Cursor cur(file, 0, max_length);
    walk_ = jpeg::walk(cur, 0, true, &st_);
  }

  Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) override {
    const jpeg::Checkpoint* cp =
        walk_.verdict != Verdict::complete && walk_.scan_data ? st_.trail.at_or_before(splice) : nullptr;
    if (!cp || cp->pos < walk_.scan_data) return measure_jpg(file, 0, limit);  // the break lies before the data
    const jpeg::ScanResult r = jpeg::resume_scan(file, limit, st_, *cp);
    jpeg::rewind(st_, *cp);
    if (r.why == jpeg::Stop::end_of_scan) return measure_jpg(file, 0, limit);
    Carve c = make_carve(Verdict::truncated, r.valid_end, "jpg");
    return c;
  }

 private:
  jpeg::DecodeState st_;
  jpeg::Walk walk_;
};

}  // namespace

std::unique_ptr<Splicer> jpg_splicer(ByteSource& file, uint64_t max_length, const Carve&) {
  return std::unique_ptr<Splicer>(new JpegSplicer(file, max_length));
}

}  // namespace kes
