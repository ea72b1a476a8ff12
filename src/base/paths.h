// Paths, narrow (in the thread's ANSI code page, as the session keeps them) and wide (as
// the settings and the pages keep them).
#pragma once
#include <string>

// `folder` joined with `name`: one backslash between them unless `folder` is empty or
// already ends in a separator.
std::string join_path(const std::string& folder, const std::string& name);
std::wstring join_path(const std::wstring& folder, const std::wstring& name);

// True when `path` names an existing folder.
bool is_directory(const std::string& path);
bool is_directory(const std::wstring& path);

// Creates the folder `path` and any missing parents when it isn't a folder yet; failures
// show only later, as a folder that isn't there.
void ensure_directory(const std::string& path);
void ensure_directory(const std::wstring& path);
