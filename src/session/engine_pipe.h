// The named pipe over which the engine reports, server side.
#pragma once
#include "kestrune_contract.h"
#include <windows.h>

inline constexpr auto& kEnginePipeName = kestrune::kPipeNameW;

// Creates the one message-mode instance of the engine pipe; null on failure.
HANDLE create_engine_pipe();

// Flushes, disconnects and closes the pipe, and nulls the handle.
void close_engine_pipe(HANDLE& pipe);

// Connects to the pipe as a client and lets go at once: a reader waiting for the
// engine to connect wakes up and can see that the scan has been stopped.
void knock_engine_pipe();
