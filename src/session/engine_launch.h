// Starting the recovery engine for one scan and running the scan thread.
#pragma once
#include <string>

#include "session/scan_session.h"

// <folder of the running executable>\Kestrune\kessrv.exe
std::string engine_executable_path();

// The volume as the engine takes it: one trailing backslash removed.
std::string engine_volume_argument(const char* volume);

// client.exe /d "<cache>\tmp" /cmd <volume> <options>
std::string engine_command_line(const char* cache_folder, const char* volume,
                                const std::string& options);

// Deletes the earlier scan folders in the cache folder: folders named "tmp" or
// beginning with "tmp." (the ones resuming reads), never files or other names.
// One silent shell delete, no recycle bin. Returns the number of folders deleted.
int delete_old_scan_folders(const char* cache_folder);

// Creates the cache folder and any missing parents when it isn't a directory.
void ensure_cache_folder(const char* cache_folder);

// How a scan ended: the result of engine_launch_thread.
enum ScanOutcome {
  kScanEnded = 0,       // the whole card was gone through, or the user stopped the scan
  kScanFailed = -1,     // no engine, no pipe, a broken report stream, or an engine that failed
  kScanCacheFull = 1,   // a found file could not be written into the cache: its disk is full
  kScanUnreadable = 2,  // gone through to the end, but parts of the card could not be read
};

// The scan thread: clears the list, prepares the cache folder, starts the
// engine and reads its reports from the block's pipe. `block` is a ScanSession.
// Returns a ScanOutcome: after the end message, what the engine's exit code says.
int engine_launch_thread(void* block);
