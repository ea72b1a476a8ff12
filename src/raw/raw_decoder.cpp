#include "raw/raw_decoder.h"

#include <libraw/libraw.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging/image_files.h"

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

void write_camera(FoundFile& record, const char* make, const char* model) {
  std::string camera = std::string(make) + " " + model;
  size_t length = camera.size() < sizeof record.camera - 1 ? camera.size()
                                                            : sizeof record.camera - 1;
  memcpy(record.camera, camera.data(), length);
  record.camera[length] = '\0';
}

// Packed RGB (or grey) rows, top row first, into the 24-bit DIB.
bool copy_pixels(const libraw_processed_image_t& picture, CImage& image) {
  int width = picture.width, height = picture.height;
  size_t needed = static_cast<size_t>(width) * height * picture.colors;
  // Anything but 8-bit RGB or grey, or too few bytes, would be read past its end.
  if (picture.bits != 8 || (picture.colors != 3 && picture.colors != 1) ||
      picture.data_size < needed) {
    return false;
  }
  if (!image.Create(width, height, 24)) return false;
  image.GetDC();  // handed over borrowed, as the caller expects
  const unsigned char* from = picture.data;
  for (int y = 0; y < height; ++y) {
    auto* to = static_cast<unsigned char*>(image.GetPixelAddress(0, y));
    for (int x = 0; x < width; ++x, to += 3) {
      unsigned char r = from[0];
      unsigned char g = picture.colors == 3 ? from[1] : r;
      unsigned char b = picture.colors == 3 ? from[2] : r;
      from += picture.colors;
      to[0] = b;
      to[1] = g;
      to[2] = r;
    }
  }
  return true;
}

}  // namespace

int decode_raw_image(CImage& image, FoundFile& record) {
  log_decode(record.file_path);
  libraw_data_t* raw = libraw_init(0);
  if (!raw) return -1;
  std::vector<uint8_t> bytes;
  libraw_processed_image_t* picture = nullptr;
  bool ok = read_file_to_memory(record.file_path, bytes, record.complemented != 0) == 0 &&
            libraw_open_buffer(raw, bytes.data(), bytes.size()) == 0 &&
            libraw_unpack(raw) == 0 && libraw_adjust_sizes_info_only(raw) == 0;
  if (ok) {
    // The adjusted output size (rotation and pixel aspect applied) is iwidth x iheight;
    // width x height stays the sensor's unrotated size.
    record.width = raw->sizes.iwidth;
    record.height = raw->sizes.iheight;
    record.timestamp = static_cast<int64_t>(raw->other.timestamp);
    write_camera(record, raw->idata.make, raw->idata.model);
    ok = libraw_dcraw_process(raw) == 0 &&
         (picture = libraw_dcraw_make_mem_image(raw, nullptr)) != nullptr;
  }
  libraw_recycle(raw);
  if (ok && !copy_pixels(*picture, image)) {
    image.Destroy();
    ok = false;
  }
  if (picture) libraw_dcraw_clear_mem(picture);
  libraw_close(raw);
  return ok ? 0 : -1;
}
