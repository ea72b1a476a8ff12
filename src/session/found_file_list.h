// The process-wide list of found files, its lock, thumbnail cursor and current item.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "base/found_file.h"

struct FoundFileList {
  std::vector<FoundFile> records;  // indexes never change while the list lives
  HANDLE lock = nullptr;           // unnamed mutex, created at start-up, never closed
  uint32_t thumbnail_cursor = 0;   // first record the thumbnail worker has not handled
  int32_t current_item = -1;       // item last focused in the preview grid, -1 = none
  uint32_t generation = 0;         // bumped by every reset; a copy taken under an older
                                   // generation must not be written back
};

extern FoundFileList g_found_files;

// Every reset reserves room for this many records, so that a scan of up to
// that many files never moves the array.
constexpr size_t kReservedRecords = 100000;

// Creates the list lock once; later calls do nothing.
void create_list_lock();

// Holds the list lock for its scope (waits without limit).
class ListLock {
 public:
  ListLock();
  ~ListLock();
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
};

// Empties the list: deletes every owned image once, cursor 0, current item -1,
// room for kReservedRecords, a new generation.
void reset_found_files();
// Complements the reported file's header on disk (without the lock), then
// appends its record; `complemented` is 1 only when the header was toggled.
// Returns 0, or -1 (nothing done) for an empty path or one of 260+ characters.
int append_found_file(const char* path);
// Appends a record for a cached file whose header is already complemented.
// Returns 0, or -1 for an empty path or one of 260+ characters.
int append_cached_file(const char* path);
// The extension rule: the text after the last '.' in the path ("" without one).
std::string extension_of(const char* path);
// The same cut to 7 characters, as a record keeps it.
void derive_extension(const char* path, char (&ext)[8]);
