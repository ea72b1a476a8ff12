// Writes small synthetic DNG files: a 16-bit RGGB Bayer mosaic whose top half is red
// and bottom half blue, with the given camera texts, shooting time and orientation, and
// optionally an embedded preview picture in a second IFD.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A preview as cameras embed it: JPEG bytes, or 8-bit RGB rows top row first.
struct DngPreview {
  int width = 0;  // 0: no preview
  int height = 0;
  bool jpeg = false;
  std::vector<uint8_t> data;
};

struct DngParams {
  int width = 128;
  int height = 96;
  std::string make = "Synth";
  std::string model = "SynthCam K1";
  std::string shot_time = "2023:07:14 09:26:53";  // EXIF DateTimeOriginal; empty: none
  int orientation = 1;
  DngPreview preview;
};

std::vector<uint8_t> make_dng(const DngParams& params);
bool write_dng(const char* path, const DngParams& params);
