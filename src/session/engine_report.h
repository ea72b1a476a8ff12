// One report of the recovery engine: a 280-byte pipe message.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kestrune_contract.h"

using kestrune::EngineReport;

inline void split_halves(uint64_t value, uint32_t (&halves)[2]) {
  halves[0] = uint32_t(value);
  halves[1] = uint32_t(value >> 32);
}
