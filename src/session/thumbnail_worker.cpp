#include "session/thumbnail_worker.h"

#include <windows.h>
#include <process.h>

#include <cstring>

#include "imaging/thumbnail.h"
#include "session/found_file_list.h"

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
