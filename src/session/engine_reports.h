// Where a reported file may lie: the launch thread (ScanJob::read_engine_reports, in
// engine_reports.cpp) takes only files inside the scan folder.
#pragma once
#include <string>

// `path` fully resolved into `resolved` when it lies inside `folder`
// (compared case-insensitively after both are resolved); false otherwise.
bool resolve_inside_folder(const char* path, const std::string& folder, char (&resolved)[260]);
