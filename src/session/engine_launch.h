// What the launch thread of a scan (ScanJob, scan_job.h) does besides reading reports:
// the engine's command line, the old scan folders, the cache folder.
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
