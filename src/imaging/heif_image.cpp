#include "imaging/heif_image.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/picture_header.h"
#include "imaging/thumbnail.h"

namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// The smallest of the image's thumbnails that still fills a thumbnail; none when all
// are smaller.
Handle fitting_thumbnail(heif_image_handle* primary) {
  const int count = heif_image_handle_get_number_of_thumbnails(primary);
  if (count <= 0) return nullptr;
  std::vector<heif_item_id> ids(count);
  heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
  Handle best;
  for (heif_item_id id : ids) {
    heif_image_handle* raw = nullptr;
    if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok) continue;
    Handle thumb(raw);
    const int w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (w < kThumbnailWidth || h < kThumbnailHeight) continue;
    if (!best || w < heif_image_handle_get_width(best.get())) best = std::move(thumb);
  }
  return best;
}

// Shooting time and camera from the first Exif block, which starts with the offset of
// its TIFF header.
void read_facts(const heif_image_handle* primary, FoundFile& record) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(primary, "Exif", &id, 1) != 1) return;
  std::vector<uint8_t> block(heif_image_handle_get_metadata_size(primary, id));
  if (block.size() < 4 || heif_image_handle_get_metadata(primary, id, block.data()).code != heif_error_Ok) return;
  const uint32_t offset = uint32_t(block[0]) << 24 | block[1] << 16 | block[2] << 8 | block[3];
  ExifFacts facts;
  if (offset > block.size() - 4 ||
      !read_exif_facts(std::vector<uint8_t>(block.begin() + 4 + offset, block.end()), facts))
    return;
  record.timestamp = facts.timestamp;
  if (!facts.make.empty() || !facts.model.empty()) write_camera(record, facts.make.c_str(), facts.model.c_str());
}

bool copy_rgb(const heif_image* picture, CImage& image) {
  int stride = 0;
  const uint8_t* rows = heif_image_get_plane_readonly(picture, heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(picture, heif_channel_interleaved);
  const int height = heif_image_get_height(picture, heif_channel_interleaved);
  if (!rows || width <= 0 || height <= 0 || stride < 3 * width || !image.Create(width, height, 24)) return false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = rows + static_cast<size_t>(y) * stride;
    auto* to = static_cast<uint8_t*>(image.GetPixelAddress(0, y));
    for (int x = 0; x < width; ++x, from += 3, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
  return true;
}

bool decode(const heif_image_handle* source, CImage& image) {
  const uint64_t pixels = uint64_t(heif_image_handle_get_width(source)) * heif_image_handle_get_height(source);
  if (pixels == 0 || pixels > kMaxPicturePixels) return false;
  std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options*)> options(heif_decoding_options_alloc(),
                                                                                   heif_decoding_options_free);
  options->convert_hdr_to_8bit = 1;
  heif_image* raw = nullptr;
  if (heif_decode_image(source, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get()).code !=
      heif_error_Ok)
    return false;
  std::unique_ptr<heif_image, ImageRelease> picture(raw);
  return copy_rgb(raw, image);
}

}  // namespace

int decode_heif_image(CImage& image, FoundFile& record) {
  std::vector<uint8_t> bytes;
  if (read_file_to_memory(record.file_path, bytes, record.complemented != 0) != 0) return -1;
  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  heif_image_handle* raw = nullptr;
  if (!context ||
      heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
          heif_error_Ok ||
      heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok)
    return -1;
  Handle primary(raw);
  record.width = heif_image_handle_get_width(raw);
  record.height = heif_image_handle_get_height(raw);
  read_facts(raw, record);
  Handle thumbnail = fitting_thumbnail(raw);
  if ((thumbnail && decode(thumbnail.get(), image)) || decode(raw, image)) return 0;
  image.Destroy();
  return -1;
}
