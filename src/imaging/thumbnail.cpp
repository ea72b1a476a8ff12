#include "imaging/thumbnail.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/heif_image.h"
#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/jpeg_scaled.h"
#include "raw/raw_decoder.h"
#include "session/ansi_text.h"

namespace {

const char* const kCommonExtensions[] = {".bmp", ".gif", ".jpeg", ".jpg", ".png", ".tiff"};
const char* const kRawExtensions[] = {".tif", ".dsc", ".nef", ".cr2", ".dng", ".dcr",
                                      ".pef", ".srf", ".arw", ".sr2", ".raf", ".x3f",
                                      ".orf", ".rw2", ".crw", ".mrw", ".cr3"};
// HEVC- and AV1-coded pictures, which GDI+ cannot read.
const char* const kHeifExtensions[] = {".heic", ".heif", ".avif"};

std::string lower_extension(const char* path) {
  std::string ext = PathFindExtensionA(path);
  if (!ext.empty()) CharLowerBuffA(&ext[0], static_cast<DWORD>(ext.size()));
  return ext;
}

}  // namespace

ThumbnailDecoder thumbnail_decoder_for(const char* path) {
  std::string ext = lower_extension(path);
  for (const char* known : kCommonExtensions)
    if (ext == known) return ThumbnailDecoder::common;
  for (const char* known : kRawExtensions)
    if (ext == known) return ThumbnailDecoder::raw;
  for (const char* known : kHeifExtensions)
    if (ext == known) return ThumbnailDecoder::heif;
  return ThumbnailDecoder::none;
}

int make_thumbnail(FoundFile& record) {
  if (GetFileAttributesA(record.thumb_path) != INVALID_FILE_ATTRIBUTES) return 0;
  CImage image;
  switch (thumbnail_decoder_for(record.file_path)) {
    case ThumbnailDecoder::common:
      if (decode_common_image(image, record) < 0) return -1;
      save_thumbnail(image, record.thumb_path);
      return 0;
    case ThumbnailDecoder::raw:
      if (decode_raw_image(image, record) < 0) return -1;
      save_thumbnail(image, record.thumb_path);
      image.ReleaseDC();  // the RAW decoder hands the picture over borrowed
      return 0;
    case ThumbnailDecoder::heif:
      if (decode_heif_image(image, record) < 0) return -1;
      save_thumbnail(image, record.thumb_path);
      return 0;
    case ThumbnailDecoder::none:
      break;
  }
  return -1;
}

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
