// The record the engine sends for every progress step and every file it writes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kestrune_contract.h"

namespace kes {

using kestrune::EngineReport;
constexpr uint32_t kSectorBytes = kestrune::kSectorBytes;  // progress numbers count sectors

// Fills a report; a path that does not fit (263 characters at most) gives false.
inline bool make_report(EngineReport& r, uint64_t total, uint64_t done, const char* path) {
  std::memset(&r, 0, sizeof r);
  r.sectors_total[0] = static_cast<uint32_t>(total);
  r.sectors_total[1] = static_cast<uint32_t>(total >> 32);
  r.sectors_done[0] = static_cast<uint32_t>(done);
  r.sectors_done[1] = static_cast<uint32_t>(done >> 32);
  if (!path) return true;
  size_t n = std::strlen(path);
  if (n >= sizeof r.file_path) return false;
  std::memcpy(r.file_path, path, n);
  return true;
}

inline uint64_t report_total(const EngineReport& r) {
  return (uint64_t(r.sectors_total[1]) << 32) | r.sectors_total[0];
}
inline uint64_t report_done(const EngineReport& r) {
  return (uint64_t(r.sectors_done[1]) << 32) | r.sectors_done[0];
}

}  // namespace kes
