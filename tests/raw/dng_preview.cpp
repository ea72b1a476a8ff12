#include "dng_preview.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "imaging/image.h"

namespace {

const COLORREF kTopLeft = RGB(220, 210, 30), kTopRight = RGB(20, 200, 40), kBottom = RGB(30, 40, 220);

COLORREF colour_at(int x, int y, int width, int height) {
  if (y >= height / 2) return kBottom;
  return x < width / 2 ? kTopLeft : kTopRight;
}

}  // namespace

std::vector<uint8_t> file_bytes(const char* path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = fopen(path, "rb")) {
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(f);
  }
  return bytes;
}

DngPreview marked_preview(int width, int height, bool jpeg) {
  DngPreview preview;
  preview.width = width;
  preview.height = height;
  preview.jpeg = jpeg;
  if (!jpeg) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        COLORREF c = colour_at(x, y, width, height);
        preview.data.insert(preview.data.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
      }
    }
    return preview;
  }
  CImage picture;
  picture.Create(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.SetPixel(x, y, colour_at(x, y, width, height));
  char folder[MAX_PATH], path[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "prv", 0, path);
  std::string jpeg_path = std::string(path) + ".jpg";
  picture.Save(std::wstring(jpeg_path.begin(), jpeg_path.end()).c_str());
  preview.data = file_bytes(jpeg_path.c_str());
  DeleteFileA(jpeg_path.c_str());
  DeleteFileA(path);
  return preview;
}
