#include "ui/pages/folder_rules.h"

#include <windows.h>

#include <cwctype>

#include "base/ansi_text.h"

namespace folder_rules {

namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::wstring full_path(const std::wstring& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
  full.resize(length);
  return full;
}

// "e:\" and "E:" both give 'e'; anything else 0.
wchar_t drive_root_letter(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':' || !std::iswalpha(path[0])) return 0;
  if (path.size() > 3 || (path.size() == 3 && !is_separator(path[2]))) return 0;
  return static_cast<wchar_t>(std::towlower(path[0]));
}

bool same_text(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && normalise(a) == normalise(b);
}

}  // namespace

std::wstring normalise(const std::wstring& path) {
  if (path.empty()) return path;
  std::wstring text = path;
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  text = full_path(text);
  while (text.size() > 1 && is_separator(text.back())) text.pop_back();
  return lower(text);
}

bool same_or_inside(const std::wstring& inner, const std::wstring& outer) {
  const std::wstring in = normalise(inner);
  const std::wstring out = normalise(outer);
  if (in.empty() || out.empty()) return false;
  if (in == out) return true;
  // A drive root keeps no separator after normalising ("c:"), a folder neither.
  return in.size() > out.size() && in.compare(0, out.size(), out) == 0 && in[out.size()] == L'\\';
}

bool to_ansi(const std::wstring& path, std::string& ansi) {
  ansi = wide_to_ansi(path);
  if (ansi.size() <= kMaxAnsiPath && ansi_to_wide(ansi.c_str()) == path) return true;
  ansi.clear();
  return false;
}

FolderVolume locate(const std::wstring& folder) {
  FolderVolume where;
  const std::wstring full = full_path(folder);
  if (full.size() >= 2 && full[1] == L':' && std::iswalpha(full[0]))
    where.drive = static_cast<wchar_t>(std::towlower(full[0]));
  wchar_t mount[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(full.c_str(), mount, MAX_PATH)) return where;
  where.mount_point = mount;
  wchar_t name[MAX_PATH + 1] = {};
  if (GetVolumeNameForVolumeMountPointW(mount, name, MAX_PATH)) where.volume_name = name;
  return where;
}

bool on_volume(const FolderVolume& folder, const VolumeEntry& entry) {
  if (!folder.volume_name.empty() && lower(folder.volume_name) == lower(entry.volume_path)) return true;
  if (!folder.mount_point.empty()) {
    for (const std::wstring& mount : entry.mount_paths)
      if (same_text(folder.mount_point, mount)) return true;
    return false;
  }
  return folder.drive != 0 && folder.drive == drive_root_letter(entry.display_path);
}

}  // namespace folder_rules
