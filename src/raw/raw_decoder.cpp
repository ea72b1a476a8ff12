#include "raw/raw_decoder.h"

#include <libraw/libraw.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/picture_header.h"
#include "raw/raw_preview.h"

namespace {

void log_decode(const char* path) {
  if (FILE* log = fopen(kRawLogPath, "a")) {
    __time64_t now = _time64(nullptr);
    const char* text = _ctime64(&now);
    std::string stamp = text ? text : "";
    stamp = stamp.substr(0, stamp.find_first_of("\r\n"));
    fprintf(log, "%s  ", stamp.c_str());
    fprintf(log, "[%s:%d] ", "src\\raw", 6);
    fprintf(log, "%s\n", path);
    fclose(log);
  }
  printf("INFO: %s\n", path);
  fflush(stdout);
}

// The full processed size (rotation and pixel aspect applied, whatever the decode's own
// scale), the shooting time and the camera.
bool write_facts(libraw_data_t* raw, FoundFile& record) {
  if (libraw_adjust_sizes_info_only(raw) != 0) return false;
  // Adjusted, the output size is iwidth x iheight; width x height stays the sensor's
  // unrotated size.
  record.width = raw->sizes.iwidth;
  record.height = raw->sizes.iheight;
  record.timestamp = static_cast<int64_t>(raw->other.timestamp);
  write_camera(record, raw->idata.make, raw->idata.model);
  return true;
}

// LibRaw's own decode at half size (each 2 x 2 block of the mosaic one pixel), which is
// still at least four times what a thumbnail needs and skips the interpolation.
bool decode_half_size(libraw_data_t* raw, FoundFile& record, CImage& image) {
  if (libraw_unpack(raw) != 0 || !write_facts(raw, record)) return false;
  raw->params.half_size = 1;
  libraw_processed_image_t* picture = nullptr;
  bool ok = libraw_dcraw_process(raw) == 0 &&
            (picture = libraw_dcraw_make_mem_image(raw, nullptr)) != nullptr;
  libraw_recycle(raw);
  ok = ok && copy_processed_image(*picture, image);
  if (picture) libraw_dcraw_clear_mem(picture);
  return ok;
}

}  // namespace

int decode_raw_image(CImage& image, FoundFile& record) {
  log_decode(record.file_path);
  libraw_data_t* raw = libraw_init(0);
  if (!raw) return -1;
  std::vector<uint8_t> bytes;
  bool ok = read_file_to_memory(record.file_path, bytes, record.complemented != 0) == 0 &&
            raw_colour_pattern_sound(bytes) && libraw_open_buffer(raw, bytes.data(), bytes.size()) == 0;
  // The camera's own preview when it has a usable one: no raw data is unpacked at all.
  if (ok) {
    ok = decode_embedded_preview(raw, bytes, image) ? write_facts(raw, record)
                                                          : decode_half_size(raw, record, image);
  }
  libraw_recycle(raw);
  libraw_close(raw);
  if (!ok) {
    image.Destroy();
    return -1;
  }
  image.GetDC();  // handed over borrowed, as the caller expects
  return 0;
}
