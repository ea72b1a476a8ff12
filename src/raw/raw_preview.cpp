#include "raw/raw_preview.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "imaging/image.h"
#include "imaging/thumbnail.h"
#include "raw/cr3_previews.h"

namespace {

// A decoded preview before it is turned: the picture and the size the file holds it at.
struct Preview {
  CImage picture;
  int full_width = 0;
  int full_height = 0;
};

// JPEG previews are decoded scaled down to what a thumbnail needs, in the stored
// (unturned) orientation.
bool decode_jpeg_preview(const std::vector<uint8_t>& bytes, bool swaps_axes, Preview& preview) {
  int min_width = 2 * kThumbnailWidth, min_height = 2 * kThumbnailHeight;
  if (swaps_axes) std::swap(min_width, min_height);
  return decode_picture_bytes(bytes, min_width, min_height, preview.picture, preview.full_width,
                              preview.full_height) == 0;
}

// A preview as LibRaw hands it over: a JPEG, or a bitmap taken as it is.
bool decode_preview(const libraw_processed_image_t& data, bool swaps_axes, Preview& preview) {
  if (data.type == LIBRAW_IMAGE_JPEG)
    return decode_jpeg_preview(std::vector<uint8_t>(data.data, data.data + data.data_size), swaps_axes, preview);
  if (data.type != LIBRAW_IMAGE_BITMAP || !copy_processed_image(data, preview.picture)) return false;
  preview.full_width = data.width;
  preview.full_height = data.height;
  return true;
}

// LibRaw's preview of the file: the one it takes for the largest.
bool decode_libraw_preview(libraw_data_t* raw, uint64_t file_size, bool swaps_axes, Preview& preview) {
  // A preview lies inside its file: a longer claim is damage, not a picture.
  if (raw->thumbnail.tlength == 0 || raw->thumbnail.tlength > file_size) return false;
  if (libraw_unpack_thumb(raw) != 0) return false;
  int error = 0;
  libraw_processed_image_t* data = libraw_dcraw_make_mem_thumb(raw, &error);
  if (!data) return false;
  const bool ok = decode_preview(*data, swaps_axes, preview);
  libraw_dcraw_clear_mem(data);
  return ok;
}

// A CR3's own previews: LibRaw offers only the largest, a whole camera picture, where a
// smaller one serves a thumbnail as well at a fraction of the decoding.
bool decode_cr3_preview(const std::vector<uint8_t>& file, const std::vector<JpegPreview>& previews,
                        bool swaps_axes, Preview& preview) {
  const JpegPreview* p = swaps_axes ? pick_preview(previews, kThumbnailHeight, kThumbnailWidth)
                                    : pick_preview(previews, kThumbnailWidth, kThumbnailHeight);
  if (!p) return false;
  const auto from = file.begin() + static_cast<ptrdiff_t>(p->offset);
  return decode_jpeg_preview(std::vector<uint8_t>(from, from + static_cast<ptrdiff_t>(p->length)), swaps_axes,
                             preview);
}

// A 24- or 32-bit picture turned by LibRaw's orientation code (`sizes.flip`: 4 swaps
// the axes, then 2 mirrors top to bottom and 1 left to right) into a new 24-bit `target`.
bool orient_picture(const CImage& source, int flip, CImage& target) {
  const int bytes_per_pixel = source.GetBPP() / 8;
  if (source.IsNull() || (bytes_per_pixel != 3 && bytes_per_pixel != 4)) return false;
  const int width = source.GetWidth(), height = source.GetHeight();
  const bool swap_axes = (flip & 4) != 0;
  const int out_width = swap_axes ? height : width;
  const int out_height = swap_axes ? width : height;
  if (!target.Create(out_width, out_height, 24)) return false;
  // Each output row is a run through the source: along a row, or down a column when
  // the axes swap, in either direction.
  const ptrdiff_t step = swap_axes ? ((flip & 2) ? -source.GetPitch() : source.GetPitch())
                                   : ((flip & 1) ? -bytes_per_pixel : bytes_per_pixel);
  for (int y = 0; y < out_height; ++y) {
    int row = swap_axes ? 0 : y, column = swap_axes ? y : 0;
    if (flip & 2) row = height - 1 - row;
    if (flip & 1) column = width - 1 - column;
    const auto* from = static_cast<const uint8_t*>(source.GetPixelAddress(column, row));
    auto* to = static_cast<uint8_t*>(target.GetPixelAddress(0, y));
    for (int x = 0; x < out_width; ++x, to += 3, from += step) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return true;
}

}  // namespace

bool decode_embedded_preview(libraw_data_t* raw, const std::vector<uint8_t>& file, CImage& image) {
  const int flip = raw->sizes.flip;
  const bool swaps_axes = (flip & 4) != 0;
  Preview preview;
  const std::vector<JpegPreview> previews = cr3_previews(file);
  const bool ok = previews.empty() ? decode_libraw_preview(raw, file.size(), swaps_axes, preview)
                                   : decode_cr3_preview(file, previews, swaps_axes, preview);
  if (swaps_axes) std::swap(preview.full_width, preview.full_height);
  return ok && preview.full_width >= kThumbnailWidth && preview.full_height >= kThumbnailHeight &&
         orient_picture(preview.picture, flip, image);
}

bool copy_processed_image(const libraw_processed_image_t& picture, CImage& image) {
  const int width = picture.width, height = picture.height;
  const uint64_t needed = static_cast<uint64_t>(width) * height * picture.colors;
  // Anything but 8-bit RGB or grey, or too few bytes, would be read past its end.
  if (picture.bits != 8 || (picture.colors != 3 && picture.colors != 1) ||
      picture.data_size < needed || !image.Create(width, height, 24)) {
    return false;
  }
  const uint8_t* from = picture.data;
  for (int y = 0; y < height; ++y) {
    auto* to = static_cast<uint8_t*>(image.GetPixelAddress(0, y));
    for (int x = 0; x < width; ++x, to += 3) {
      const uint8_t r = from[0];
      const uint8_t g = picture.colors == 3 ? from[1] : r;
      const uint8_t b = picture.colors == 3 ? from[2] : r;
      from += picture.colors;
      to[0] = b;
      to[1] = g;
      to[2] = r;
    }
  }
  return true;
}
