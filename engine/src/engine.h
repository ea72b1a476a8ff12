// The engine's whole run: command line, medium, scan folder, report channel, scan.
#pragma once
#include <cstddef>
#include "format.h"

namespace kes {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // the scan could not start or ended on an error
constexpr int kExitUsage = 2;      // malformed command line: nothing was touched
constexpr int kExitStopped = 3;    // stopped on request before the end of the medium

// Runs the engine with the given formats (the real table, or test formats).
int engine_main(int argc, const char* const* argv, const Format* table, size_t count);

}  // namespace kes
