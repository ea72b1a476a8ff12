// The record the engine sends for every progress step and every file it writes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kes {

constexpr uint32_t kSectorBytes = 512;  // progress numbers count 512-byte sectors

#pragma pack(push, 1)
struct EngineReport {
  uint32_t sectors_total_low;
  uint32_t sectors_total_high;
  uint32_t sectors_done_low;
  uint32_t sectors_done_high;
  char file_path[264];  // NUL-terminated ANSI; empty in a progress-only report
};
#pragma pack(pop)

static_assert(sizeof(EngineReport) == 280, "EngineReport is 280 bytes");
static_assert(offsetof(EngineReport, sectors_done_low) == 8, "sectors_done at 8");
static_assert(offsetof(EngineReport, file_path) == 16, "file_path at 16");

// Fills a report; a path that does not fit (263 characters at most) gives false.
inline bool make_report(EngineReport& r, uint64_t total, uint64_t done, const char* path) {
  std::memset(&r, 0, sizeof r);
  r.sectors_total_low = static_cast<uint32_t>(total);
  r.sectors_total_high = static_cast<uint32_t>(total >> 32);
  r.sectors_done_low = static_cast<uint32_t>(done);
  r.sectors_done_high = static_cast<uint32_t>(done >> 32);
  if (!path) return true;
  size_t n = std::strlen(path);
  if (n >= sizeof r.file_path) return false;
  std::memcpy(r.file_path, path, n);
  return true;
}

inline uint64_t report_total(const EngineReport& r) {
  return (uint64_t(r.sectors_total_high) << 32) | r.sectors_total_low;
}
inline uint64_t report_done(const EngineReport& r) {
  return (uint64_t(r.sectors_done_high) << 32) | r.sectors_done_low;
}

}  // namespace kes
