// Camera RAW files decoded through LibRaw into a 24-bit picture, with their metadata.
#pragma once
#include "base/found_file.h"

class CImage;

// Where every decode leaves one diagnostic line.
constexpr const char* kRawLogPath = "C:/Orvalin.log";

// Decodes record.file_path (its header restored in memory when record.complemented is
// set) into a picture for a thumbnail: the camera's embedded preview, turned upright,
// when it has one of at least thumbnail size, else LibRaw's half-size decode. Writes the
// full processed width and height, timestamp and camera into the record. 0 on success,
// with the image's drawing context still borrowed once for the caller to release; -1 on
// failure, the image left empty.
int decode_raw_image(CImage& image, FoundFile& record);
