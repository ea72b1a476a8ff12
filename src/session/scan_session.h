// The request of one scan, as the options page fills it, and the block of one scan: the
// request, then what its owner (ScanJob) shares with the launch thread.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>

#pragma pack(push, 4)
struct ScanRequest {
  char cache_folder[260];  // ANSI, NUL-terminated
  char volume[260];        // as chosen, possibly with a trailing backslash
  int32_t photo;           // non-zero: search photos
  int32_t video;
  int32_t audio;
};

// Every field after the request is read and written under the owner's lock.
struct ScanSession {
  ScanRequest request;
  HANDLE* pipe;               // the owner's pipe handle
  uint32_t sectors_total[2];  // of the latest report, as it sends them: low half, high half
  uint32_t sectors_done[2];
  int32_t stop;               // non-zero: the scan is being stopped
  HANDLE process;             // engine process
  HANDLE thread;              // engine primary thread
  uint32_t process_id;
  uint32_t thread_id;
  int32_t pause;              // non-zero: the engine and the reader are held
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu  // the block layout is that of the 32-bit program
static_assert(sizeof(ScanRequest) == 532, "the request is the block's first 532 bytes");
static_assert(sizeof(ScanSession) == 576, "ScanSession is a 576-byte block");
static_assert(offsetof(ScanSession, request) == 0, "");
static_assert(offsetof(ScanSession, request.volume) == 260, "");
static_assert(offsetof(ScanSession, request.photo) == 520, "");
static_assert(offsetof(ScanSession, request.video) == 524, "");
static_assert(offsetof(ScanSession, request.audio) == 528, "");
static_assert(offsetof(ScanSession, pipe) == 532, "");
static_assert(offsetof(ScanSession, sectors_total) == 536, "");
static_assert(offsetof(ScanSession, sectors_done) == 544, "");
static_assert(offsetof(ScanSession, stop) == 552, "");
static_assert(offsetof(ScanSession, process) == 556, "");
static_assert(offsetof(ScanSession, thread) == 560, "");
static_assert(offsetof(ScanSession, process_id) == 564, "");
static_assert(offsetof(ScanSession, thread_id) == 568, "");
static_assert(offsetof(ScanSession, pause) == 572, "");
#endif

// The folder the engine writes into: the cache folder joined with kScanFolderName.
std::string scan_folder_path(const char* cache_folder);
