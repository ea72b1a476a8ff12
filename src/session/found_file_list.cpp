#include "session/found_file_list.h"

#include <cstring>

#include "imaging/image.h"
#include "session/cache_header.h"

FoundFileList g_found_files;

void create_list_lock() {
  if (g_found_files.lock) return;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  // Two first users racing keep one mutex between them.
  if (InterlockedCompareExchangePointer(&g_found_files.lock, mutex, nullptr) != nullptr)
    CloseHandle(mutex);
}

ListLock::ListLock() {
  if (!g_found_files.lock) create_list_lock();
  WaitForSingleObject(g_found_files.lock, INFINITE);
}

ListLock::~ListLock() { ReleaseMutex(g_found_files.lock); }

void reset_found_files() {
  ListLock hold;
  FoundFileList& list = g_found_files;
  list.thumbnail_cursor = 0;
  list.current_item = -1;  // an index into the old list means nothing in the new one
  ++list.generation;
  for (FoundFile& record : list.records) {
    delete record.image;
    record.image = nullptr;
  }
  list.records.clear();
  list.records.reserve(kReservedRecords);
}

std::string extension_of(const char* path) {
  const char* dot = std::strrchr(path, '.');
  return dot ? dot + 1 : "";
}

void derive_extension(const char* path, char (&ext)[8]) {
  std::memset(ext, 0, sizeof ext);
  std::strncpy(ext, extension_of(path).c_str(), sizeof ext - 1);
}

namespace {
bool fits_record(const char* path) {
  return path && *path && std::strlen(path) < sizeof FoundFile::file_path;
}

void append_record(const char* path, int32_t complemented) {
  FoundFile record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.file_path, path);
  derive_extension(path, record.ext);
  record.complemented = complemented;
  ListLock hold;
  g_found_files.records.push_back(record);
}
}  // namespace

int append_found_file(const char* path) {
  if (!fits_record(path)) return -1;
  // A header that could not be toggled must not be recorded as toggled:
  // readers would then invert a plain header.
  int32_t complemented = complement_header(path) == 0 ? 1 : 0;
  append_record(path, complemented);
  return 0;
}

int append_cached_file(const char* path) {
  if (!fits_record(path)) return -1;
  append_record(path, 1);
  return 0;
}
