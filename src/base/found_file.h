// One found file: the fixed 600-byte record of the found-file list (src/session), which
// the thumbnail code fills in (src/imaging, src/raw) and the pages show.
#pragma once
#include <cstddef>
#include <cstdint>

class CImage;  // src/imaging: the list owns the decoded thumbnail and deletes it

#pragma pack(push, 4)
struct FoundFile {
  int32_t height;           // decoded image height in pixels, 0 until set
  int32_t width;            // decoded image width in pixels, 0 until set
  int64_t timestamp;        // shooting time, seconds since 1970 UTC (RAW only), 0 = absent
  char camera[32];          // "make model" (RAW only), at most 31 characters
  char thumb_path[260];     // PNG thumbnail path, empty until the worker handled it
  char file_path[260];      // cached file, ANSI, at most 259 characters
  char ext[8];              // text after the last '.' of file_path, at most 7 characters
  CImage* image;            // owned decoded thumbnail or null
  int32_t grid_x;           // tile position in the preview grid
  int32_t grid_y;
  uint32_t selected;        // non-zero: chosen for recovering
  int32_t complemented;     // 1: the first 16 bytes on disk are complemented
  uint32_t reserved;
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu  // the record layout is that of the 32-bit program
static_assert(sizeof(FoundFile) == 600, "FoundFile is a 600-byte record");
static_assert(offsetof(FoundFile, height) == 0, "");
static_assert(offsetof(FoundFile, width) == 4, "");
static_assert(offsetof(FoundFile, timestamp) == 8, "");
static_assert(offsetof(FoundFile, camera) == 16, "");
static_assert(offsetof(FoundFile, thumb_path) == 48, "");
static_assert(offsetof(FoundFile, file_path) == 308, "");
static_assert(offsetof(FoundFile, ext) == 568, "");
static_assert(offsetof(FoundFile, image) == 576, "");
static_assert(offsetof(FoundFile, grid_x) == 580, "");
static_assert(offsetof(FoundFile, grid_y) == 584, "");
static_assert(offsetof(FoundFile, selected) == 588, "");
static_assert(offsetof(FoundFile, complemented) == 592, "");
static_assert(offsetof(FoundFile, reserved) == 596, "");
#endif
