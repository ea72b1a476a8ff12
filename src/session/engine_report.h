// One report of the recovery engine: a 280-byte pipe message.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 4)
struct EngineReport {
  uint32_t sectors_total[2];  // low half, high half; 0 while the total is unknown
  uint32_t sectors_done[2];   // low half, high half
  char file_path[264];        // ANSI path of a file just written; empty = progress only
};
#pragma pack(pop)

static_assert(sizeof(EngineReport) == 280, "EngineReport is a 280-byte message");
static_assert(offsetof(EngineReport, sectors_total) == 0, "");
static_assert(offsetof(EngineReport, sectors_done) == 8, "");
static_assert(offsetof(EngineReport, file_path) == 16, "");

inline void split_halves(uint64_t value, uint32_t (&halves)[2]) {
  halves[0] = uint32_t(value);
  halves[1] = uint32_t(value >> 32);
}
