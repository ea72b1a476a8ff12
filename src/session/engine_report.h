// One report of the recovery engine: a 280-byte pipe message.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kestrune_contract.h"

using kestrune::EngineReport;
