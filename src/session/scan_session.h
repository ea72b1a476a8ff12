// The block of one scan: the request the options page fills (first 532 bytes)
// and the state the engine-launch thread shares with the recovery page.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>

#pragma pack(push, 4)
struct ScanSession {
  char cache_folder[260];  // ANSI, NUL-terminated
  char volume[260];        // as chosen, possibly with a trailing backslash
  int32_t photo;           // non-zero: search photos
  int32_t video;
  int32_t audio;
  HANDLE* pipe;            // the recovery page's pipe handle
  uint32_t report[4];      // latest report: sectors_total low, high, sectors_done low, high
  int32_t stop;            // non-zero: the reader ends before its next read
  HANDLE process;          // engine process
  HANDLE thread;           // engine primary thread
  uint32_t process_id;
  uint32_t thread_id;
  int32_t pause;           // non-zero: the reader holds (owning no lock) before its next read
};
#pragma pack(pop)

constexpr size_t kScanRequestSize = 532;  // the part the options page fills

#if UINTPTR_MAX == 0xFFFFFFFFu  // the block layout is that of the 32-bit program
static_assert(sizeof(ScanSession) == 576, "ScanSession is a 576-byte block");
static_assert(offsetof(ScanSession, cache_folder) == 0, "");
static_assert(offsetof(ScanSession, volume) == 260, "");
static_assert(offsetof(ScanSession, photo) == 520, "");
static_assert(offsetof(ScanSession, video) == 524, "");
static_assert(offsetof(ScanSession, audio) == 528, "");
static_assert(offsetof(ScanSession, pipe) == kScanRequestSize, "");
static_assert(offsetof(ScanSession, report) == 536, "");
static_assert(offsetof(ScanSession, stop) == 552, "");
static_assert(offsetof(ScanSession, process) == 556, "");
static_assert(offsetof(ScanSession, thread) == 560, "");
static_assert(offsetof(ScanSession, process_id) == 564, "");
static_assert(offsetof(ScanSession, thread_id) == 568, "");
static_assert(offsetof(ScanSession, pause) == 572, "");
#endif

// The report numbers are written by the launch thread and read by the page
// without a lock: each is one aligned 32-bit word, read and written whole.
inline uint32_t read_word(const uint32_t& w) { return *static_cast<const volatile uint32_t*>(&w); }
inline int32_t read_flag(const int32_t& f) { return *static_cast<const volatile int32_t*>(&f); }
inline void write_word(uint32_t& w, uint32_t v) { *static_cast<volatile uint32_t*>(&w) = v; }
inline void write_flag(int32_t& f, int32_t v) { *static_cast<volatile int32_t*>(&f) = v; }

inline uint64_t sectors_total(const ScanSession& s) {
  return (uint64_t(read_word(s.report[1])) << 32) | read_word(s.report[0]);
}
inline uint64_t sectors_done(const ScanSession& s) {
  return (uint64_t(read_word(s.report[3])) << 32) | read_word(s.report[2]);
}

// `folder` joined with `name`: one backslash between them unless `folder`
// already ends in a separator.
std::string join_path(const std::string& folder, const std::string& name);

// The folder the engine writes into: the cache folder joined with kScanFolderName.
std::string scan_folder_path(const char* cache_folder);
