// The engine's whole run: command line, medium, scan folder, report channel, scan.
#pragma once
#include <cstddef>
#include "format.h"
#include "kestrune_contract.h"

namespace kes {

using kestrune::kExitFailed;
using kestrune::kExitOk;
using kestrune::kExitStopped;
using kestrune::kExitUnreadable;
using kestrune::kExitUsage;
using kestrune::kExitWriteFailed;

// Runs the engine with the given formats (the real table, or test formats).
int engine_main(int argc, const char* const* argv, const Format* table, size_t count);

}  // namespace kes
