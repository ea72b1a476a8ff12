#include "base/paths.h"

#include <windows.h>
#include <shlobj.h>

namespace {
template <class Text>
Text joined(const Text& folder, const Text& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + Text(1, '\\') + name;
}

bool folder_attributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

std::string join_path(const std::string& folder, const std::string& name) { return joined(folder, name); }
std::wstring join_path(const std::wstring& folder, const std::wstring& name) { return joined(folder, name); }

bool is_directory(const std::string& path) { return folder_attributes(GetFileAttributesA(path.c_str())); }
bool is_directory(const std::wstring& path) { return folder_attributes(GetFileAttributesW(path.c_str())); }

void ensure_directory(const std::string& path) {
  if (!is_directory(path)) SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
}
void ensure_directory(const std::wstring& path) {
  if (!is_directory(path)) SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}
