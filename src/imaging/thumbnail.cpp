#include "imaging/thumbnail.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text.h"
#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/jpeg_scaled.h"

int decode_common_image(CImage& image, FoundFile& record) {
  std::vector<uint8_t> bytes;
  if (read_file_to_memory(record.file_path, bytes, record.complemented != 0) != 0) return -1;
  // A clean JPEG is decoded at a reduced scale that still leaves the halftone filter at
  // least two source pixels per thumbnail pixel.
  int width = 0, height = 0;
  if (decode_picture_bytes(bytes, 2 * kThumbnailWidth, 2 * kThumbnailHeight, image, width,
                           height) != 0)
    return -1;
  record.width = width;
  record.height = height;
  return 0;
}

int decode_picture_bytes(const std::vector<uint8_t>& bytes, int min_width, int min_height,
                         CImage& image, int& full_width, int& full_height) {
  if (decode_jpeg_scaled(bytes, min_width, min_height, image, full_width, full_height) == 0)
    return 0;
  if (load_image_from_memory(bytes, image) != 0) return -1;
  full_width = image.GetWidth();
  full_height = image.GetHeight();
  return 0;
}

int save_thumbnail(const CImage& source, const char* thumb_path) {
  CImage target;
  if (!target.Create(kThumbnailWidth, kThumbnailHeight, 24)) return 0;
  HDC dc = target.GetDC();
  if (dc) {
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    HDC from = source.GetDC();
    StretchBlt(dc, 0, 0, kThumbnailWidth, kThumbnailHeight, from, 0, 0, source.GetWidth(),
               source.GetHeight(), SRCCOPY);
    source.ReleaseDC();
  }
  GdiFlush();
  target.Save(ansi_to_wide(thumb_path).c_str());
  target.ReleaseDC();
  return 0;
}
