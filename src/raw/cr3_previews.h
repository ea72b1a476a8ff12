// The JPEG previews of a Canon CR3 (an ISO base media file of brand "crx "): THMB in
// the moov's Canon box (160 x 120), PRVW in a uuid box of its own (1620 x 1080), and the
// full-size picture as the sample of the first track.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct JpegPreview {
  size_t offset = 0;
  size_t length = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Previews no longer than this on their longer side are decoded first: the full-size
// one costs a whole camera picture's entropy decoding for a 117 x 82 thumbnail.
constexpr uint32_t kSmallPreviewSide = 2048;

// Every preview of a CR3 held in `bytes` that lies inside them and has a JPEG frame
// header, in file order; none for anything else.
std::vector<JpegPreview> cr3_previews(const std::vector<uint8_t>& bytes);

// The preview a thumbnail is made from: among those of at least min_width x min_height,
// the largest that is small enough, else the smallest. Null when none is large enough.
const JpegPreview* pick_preview(const std::vector<JpegPreview>& previews, uint32_t min_width, uint32_t min_height);
