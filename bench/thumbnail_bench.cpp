// Times make_thumbnail over every picture in a folder and reports thumbnails per second
// and the peak working set. Usage: thumbnail_bench <folder> [dng-count]
// With a dng-count, that many 4000x3000 synthetic DNGs are written into the folder first,
// and as many again with the folder's photo1.jpg embedded as their preview. Every common
// picture is also timed through the full-size GDI+ decode, and every RAW file through
// LibRaw's full-size decode (what RAW thumbnails cost before previews and half-size);
// a CR3 through the preview LibRaw offers (its full-size JPEG), and a HEIF through its
// primary image decoded whole, thumbnail items or not.
#include <windows.h>
#include <psapi.h>

#include <libheif/heif.h>
#include <libraw/libraw.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "dng_preview.h"
#include "imaging/image.h"
#include "imaging/image_files.h"
#include "imaging/jpeg_scaled.h"
#include "imaging/thumbnail.h"
#include "raw/raw_preview.h"
#include "session/thumbnail_worker.h"

namespace {

std::string milliseconds(double seconds) {
  return std::to_string(static_cast<long>(seconds * 1000.0 + 0.5)) + " ms";
}

std::string mebibytes(SIZE_T bytes) {
  return std::to_string(static_cast<unsigned long>(bytes / (1024 * 1024))) + " MiB";
}

// The folder's photo1.jpg as a camera would embed it; no preview when it is missing.
DngPreview camera_preview(const std::string& folder) {
  DngPreview preview;
  std::vector<uint8_t> bytes = file_bytes((folder + "\\photo1.jpg").c_str());
  CImage probe;
  if (decode_jpeg_scaled(bytes, 1, 1, probe, preview.width, preview.height) != 0) return {};
  preview.jpeg = true;
  preview.data = std::move(bytes);
  return preview;
}

void write_dngs(const std::string& folder, int count) {
  DngPreview preview = camera_preview(folder);
  for (int i = 0; i < count; ++i) {
    DngParams params;
    params.width = 4000;
    params.height = 3000;
    std::string path = folder + "\\raw" + std::to_string(i) + ".dng";
    if (!write_dng(path.c_str(), params)) fprintf(stderr, "cannot write %s\n", path.c_str());
    if (preview.width == 0) continue;
    params.preview = preview;
    path = folder + "\\raw" + std::to_string(i) + "_preview.dng";
    if (!write_dng(path.c_str(), params)) fprintf(stderr, "cannot write %s\n", path.c_str());
  }
}

// A RAW thumbnail the way it was made before: LibRaw's full-size processing, then the
// halftone stretch.
void full_size_raw_thumbnail(const char* path, const char* thumb_path) {
  std::vector<uint8_t> bytes;
  libraw_data_t* raw = libraw_init(0);
  libraw_processed_image_t* picture = nullptr;
  if (read_file_to_memory(path, bytes) == 0 && libraw_open_buffer(raw, bytes.data(), bytes.size()) == 0 &&
      libraw_unpack(raw) == 0 && libraw_dcraw_process(raw) == 0 &&
      (picture = libraw_dcraw_make_mem_image(raw, nullptr)) != nullptr) {
    CImage image;
    if (copy_processed_image(*picture, image)) save_thumbnail(image, thumb_path);
  }
  if (picture) libraw_dcraw_clear_mem(picture);
  libraw_close(raw);
}

// A CR3's thumbnail from the preview LibRaw picks: the largest, the full-size JPEG.
void libraw_preview_thumbnail(const char* path, const char* thumb_path) {
  std::vector<uint8_t> bytes;
  libraw_data_t* raw = libraw_init(0);
  libraw_processed_image_t* preview = nullptr;
  int error = 0;
  if (read_file_to_memory(path, bytes) == 0 && libraw_open_buffer(raw, bytes.data(), bytes.size()) == 0 &&
      libraw_unpack_thumb(raw) == 0 && (preview = libraw_dcraw_make_mem_thumb(raw, &error)) != nullptr &&
      preview->type == LIBRAW_IMAGE_JPEG) {
    CImage image;
    int width = 0, height = 0;
    std::vector<uint8_t> jpeg(preview->data, preview->data + preview->data_size);
    if (decode_picture_bytes(jpeg, 2 * kThumbnailWidth, 2 * kThumbnailHeight, image, width, height) == 0)
      save_thumbnail(image, thumb_path);
  }
  if (preview) libraw_dcraw_clear_mem(preview);
  libraw_close(raw);
}

// A HEIF's thumbnail from its primary image decoded whole, thumbnail items or not.
void primary_heif_thumbnail(const char* path, const char* thumb_path) {
  std::vector<uint8_t> bytes;
  heif_context* context = heif_context_alloc();
  heif_image_handle* primary = nullptr;
  heif_image* picture = nullptr;
  if (read_file_to_memory(path, bytes) == 0 &&
      heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &primary).code == heif_error_Ok &&
      heif_decode_image(primary, &picture, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
          heif_error_Ok) {
    int stride = 0;
    const uint8_t* rows = heif_image_get_plane_readonly(picture, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(picture, heif_channel_interleaved);
    const int height = heif_image_get_height(picture, heif_channel_interleaved);
    CImage image;
    if (image.Create(width, height, 24)) {
      for (int y = 0; y < height; ++y) {
        auto* to = static_cast<uint8_t*>(image.GetPixelAddress(0, y));
        for (int x = 0; x < width; ++x, to += 3) {
          const uint8_t* from = rows + static_cast<size_t>(y) * stride + 3 * x;
          to[0] = from[2], to[1] = from[1], to[2] = from[0];
        }
      }
      save_thumbnail(image, thumb_path);
    }
  }
  if (picture) heif_image_release(picture);
  if (primary) heif_image_handle_release(primary);
  heif_context_free(context);
}

// The same picture decoded whole by GDI+ and scaled by the halftone stretch alone.
void full_size_common_thumbnail(const char* path, const char* thumb_path) {
  std::vector<uint8_t> bytes;
  CImage image;
  if (read_file_to_memory(path, bytes) == 0 && load_image_from_memory(bytes, image) == 0)
    save_thumbnail(image, thumb_path);
}

struct Tally {
  const char* label;
  int files = 0;
  double now = 0, before = 0;
  void add(double took, double before_took) {
    ++files;
    now += took;
    before += before_took;
  }
  void print(const char* before_label) const {
    if (!files) return;
    printf("%-20s %d files, %s each (%.3f s), %.2f thumbnails/s; %s: %s each (%.3f s)\n", label,
           files, milliseconds(now / files).c_str(), now / files, files / now, before_label,
           milliseconds(before / files).c_str(), before / files);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: thumbnail_bench <folder> [dng-count]\n");
    return 2;
  }
  std::string folder = argv[1];
  write_dngs(folder, argc > 2 ? atoi(argv[2]) : 0);

  std::vector<std::string> files;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.rfind("thumb_", 0) != 0 &&
          thumbnail_decoder_for(name.c_str()) != ThumbnailDecoder::none)
        files.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }

  CImage keep_gdiplus;  // one live image keeps GDI+ started between thumbnails
  Tally common{"common:"}, raw_plain{"raw, no preview:"}, raw_preview{"raw, with preview:"}, cr3{"cr3:"},
      heif{"heif:"};
  double total = 0;
  int failed = 0;
  for (const std::string& name : files) {
    FoundFile record = {};
    snprintf(record.file_path, sizeof record.file_path, "%s\\%s", folder.c_str(), name.c_str());
    snprintf(record.thumb_path, sizeof record.thumb_path, "%s\\thumb_%s.png", folder.c_str(),
             name.c_str());
    DeleteFileA(record.thumb_path);
    double start = seconds_now();
    int rc = make_thumbnail(record);
    double took = seconds_now() - start;
    total += took;
    if (rc != 0 || GetFileAttributesA(record.thumb_path) == INVALID_FILE_ATTRIBUTES) ++failed;

    const ThumbnailDecoder decoder = thumbnail_decoder_for(name.c_str());
    const bool is_cr3 = name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".cr3") == 0;
    std::string before_thumb = std::string(record.thumb_path) + ".full.png";
    double begin = seconds_now();
    if (is_cr3)
      libraw_preview_thumbnail(record.file_path, before_thumb.c_str());
    else if (decoder == ThumbnailDecoder::heif)
      primary_heif_thumbnail(record.file_path, before_thumb.c_str());
    else if (decoder == ThumbnailDecoder::raw)
      full_size_raw_thumbnail(record.file_path, before_thumb.c_str());
    else
      full_size_common_thumbnail(record.file_path, before_thumb.c_str());
    double before = seconds_now() - begin;
    Tally& tally = is_cr3                               ? cr3
                   : decoder == ThumbnailDecoder::heif  ? heif
                   : decoder == ThumbnailDecoder::common ? common
                   : name.find("_preview") != std::string::npos ? raw_preview
                                                                : raw_plain;
    tally.add(took, before);
    printf("%-20s %5dx%-5d %s  (full-size decode: %s)\n", name.c_str(), record.width,
           record.height, milliseconds(took).c_str(), milliseconds(before).c_str());
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  common.print("full GDI+ decode");
  raw_plain.print("before, LibRaw full size");
  raw_preview.print("before, LibRaw full size");
  cr3.print("LibRaw's preview, the full-size JPEG");
  heif.print("the primary image whole");
  if (!files.empty())
    printf("all:    %.2f thumbnails/s, peak working set %s, failed %d\n", files.size() / total,
           mebibytes(memory.PeakWorkingSetSize).c_str(), failed);
  return failed ? 1 : 0;
}
