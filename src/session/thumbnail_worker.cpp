#include "session/thumbnail_worker.h"

#include <windows.h>
#include <process.h>
#include <shlwapi.h>

#include <cstring>

#include "imaging/heif_image.h"
#include "imaging/image.h"
#include "imaging/thumbnail.h"
#include "raw/raw_decoder.h"
#include "session/found_file_list.h"

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

std::string thumbnail_name(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  std::string name = path.substr(name_at);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return path.substr(0, name_at) + "thumb_" + name + ".png";
}

bool thumbnail_worker_pass() {
  FoundFile copy;
  uint32_t index = 0, generation = 0;
  {
    ListLock hold;
    FoundFileList& list = g_found_files;
    if (list.thumbnail_cursor >= list.records.size()) return false;
    index = list.thumbnail_cursor;
    generation = list.generation;
    copy = list.records[index];
  }
  copy.image = nullptr;  // owned by the list, never touched here

  std::string thumb = thumbnail_name(copy.file_path);
  size_t length = thumb.size() < sizeof copy.thumb_path - 1 ? thumb.size()
                                                            : sizeof copy.thumb_path - 1;
  memcpy(copy.thumb_path, thumb.data(), length);
  copy.thumb_path[length] = '\0';
  // The decoders read the cached file into memory and restore its header there, so
  // the file on disk keeps its complemented header and a copy running at the same
  // time never sees it half-restored.
  make_thumbnail(copy);

  ListLock hold;
  FoundFileList& list = g_found_files;
  // A reset since the copy was taken means this index belongs to another file now.
  if (list.generation != generation || list.thumbnail_cursor != index ||
      index >= list.records.size()) {
    return true;
  }
  FoundFile& record = list.records[index];
  memcpy(record.thumb_path, copy.thumb_path, sizeof record.thumb_path);
  record.height = copy.height;
  record.width = copy.width;
  record.timestamp = copy.timestamp;
  memcpy(record.camera, copy.camera, sizeof record.camera);
  ++list.thumbnail_cursor;
  return true;
}

unsigned __stdcall thumbnail_worker(void*) {
  for (;;) {
    if (!thumbnail_worker_pass()) Sleep(20);
  }
}

bool start_thumbnail_worker(uint64_t physical_memory) {
  if (physical_memory < kThumbnailWorkerMinMemory) return false;
  create_list_lock();
  uintptr_t thread = _beginthreadex(nullptr, 0, thumbnail_worker, nullptr, 0, nullptr);
  if (!thread) return false;
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}
