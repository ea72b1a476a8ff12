#include "imaging/jpeg_scaled.h"

#include <csetjmp>
#include <cstdio>

#include "imaging/image.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

struct ErrorTrap {
  jpeg_error_mgr manager;
  jmp_buf escape;
};

// Errors and warnings alike end the decode: a damaged file goes to the general decoder.
void stop_decoding(j_common_ptr info) { longjmp(reinterpret_cast<ErrorTrap*>(info->err)->escape, 1); }

void on_message(j_common_ptr info, int level) {
  if (level < 0) stop_decoding(info);
}

void no_output(j_common_ptr) {}

unsigned scale_for(unsigned width, unsigned height, int min_width, int min_height) {
  for (unsigned denominator : {8u, 4u, 2u}) {
    if ((width + denominator - 1) / denominator >= static_cast<unsigned>(min_width) &&
        (height + denominator - 1) / denominator >= static_cast<unsigned>(min_height))
      return denominator;
  }
  return 1;
}

// The part that may be left through longjmp: no object with a destructor lives here.
bool decode(jpeg_decompress_struct& info, ErrorTrap& trap, const std::vector<uint8_t>& bytes,
            int min_width, int min_height, CImage& image) {
  if (setjmp(trap.escape)) return false;
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.scale_num = 1;
  info.scale_denom = scale_for(info.image_width, info.image_height, min_width, min_height);
  info.out_color_space = JCS_EXT_BGR;  // the byte order of a 24-bit DIB
  jpeg_start_decompress(&info);
  if (info.output_components != 3 ||
      !image.Create(static_cast<int>(info.output_width), static_cast<int>(info.output_height), 24))
    return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = static_cast<JSAMPROW>(image.GetPixelAddress(0, static_cast<int>(info.output_scanline)));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

bool looks_like_jpeg(const std::vector<uint8_t>& bytes) {
  return bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

int decode_jpeg_scaled(const std::vector<uint8_t>& bytes, int min_width, int min_height,
                       CImage& image, int& full_width, int& full_height) {
  if (!looks_like_jpeg(bytes) || !image.IsNull()) return -1;
  jpeg_decompress_struct info;
  ErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = stop_decoding;
  trap.manager.emit_message = on_message;
  trap.manager.output_message = no_output;
  jpeg_create_decompress(&info);
  bool ok = decode(info, trap, bytes, min_width, min_height, image);
  if (ok) {
    full_width = static_cast<int>(info.image_width);
    full_height = static_cast<int>(info.image_height);
  }
  jpeg_destroy_decompress(&info);
  if (!ok) image.Destroy();
  return ok ? 0 : -1;
}
