// The named pipe over which the engine reports, server side.
#pragma once
#include <windows.h>

extern const wchar_t kEnginePipeName[];  // \\.\pipe\Kestrune

// Creates the one message-mode instance of the engine pipe; null on failure.
HANDLE create_engine_pipe();

// Flushes, disconnects and closes the pipe, and nulls the handle.
void close_engine_pipe(HANDLE& pipe);
