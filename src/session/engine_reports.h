// Reading the engine's reports from the pipe.
#pragma once
#include <windows.h>

#include <string>

#include "session/scan_session.h"

// Waits for the engine of `block` (process_id) to connect, then reads its
// reports until a zero-length message (0), the stop flag (0), or a broken
// stream or malformed message (-1). Clients from any other process are
// disconnected and the wait goes on, unless the engine has ended (-1).
// Each report's numbers go into the block; each reported file inside the
// block's scan folder has its header complemented and is appended to the list.
int read_engine_reports(HANDLE pipe, ScanSession* block);

// `path` fully resolved into `resolved` when it lies inside `folder`
// (compared case-insensitively after both are resolved); false otherwise.
bool resolve_inside_folder(const char* path, const std::string& folder, char (&resolved)[260]);
