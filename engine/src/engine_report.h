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
  kestrune::split_count(total, r.sectors_total);
  kestrune::split_count(done, r.sectors_done);
  if (!path) return true;
  size_t n = std::strlen(path);
  if (n >= sizeof r.file_path) return false;
  std::memcpy(r.file_path, path, n);
  return true;
}

inline uint64_t report_total(const EngineReport& r) { return kestrune::joined_count(r.sectors_total); }
inline uint64_t report_done(const EngineReport& r) { return kestrune::joined_count(r.sectors_done); }

}  // namespace kes
