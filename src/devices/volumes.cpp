#include "devices/volumes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "base/settings.h"
#include "devices/volume_source.h"

std::vector<VolumeEntry> volume_list;

namespace {

constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveCdRom = 5;
constexpr std::uint32_t kDriveFixed = 3;
constexpr size_t kDescriptionChars = 1024;  // including the terminator

bool is_volume_name(const std::wstring& name) {
  return name.size() > 5 && name.compare(0, 4, L"\\\\?\\") == 0 && name.back() == L'\\';
}

void query_mounted_volume(VolumeSource& source, VolumeEntry& entry) {
  const std::wstring& root = entry.mount_paths.front();
  entry.drive_type = source.drive_type(root);
  if (!source.volume_information(root, entry.label, entry.file_system)) {
    entry.label.clear();
    entry.file_system.clear();
    return;
  }
  if (!source.disk_space(root, entry.total_bytes, entry.free_bytes)) {
    entry.total_bytes = 0;
    entry.free_bytes = 0;
  }
}

bool is_listed(const VolumeEntry& entry, bool admin) {
  if (entry.drive_type == kDriveRemote || entry.drive_type == kDriveCdRom) return false;
  return entry.drive_type != kDriveFixed || admin;
}

std::wstring first_mount_path(const VolumeEntry& entry) {
  return entry.mount_paths.empty() ? std::wstring() : entry.mount_paths.front();
}

}  // namespace

int free_percent(std::uint64_t free_bytes, std::uint64_t total_bytes) {
  if (total_bytes == 0) return 0;
  // Whole and remainder parts apart, so that no product can overflow.
  std::uint64_t whole = free_bytes / total_bytes;
  std::uint64_t rest = free_bytes % total_bytes;
  std::uint64_t percent = whole * 100;
  if (rest <= UINT64_MAX / 100) {
    percent += rest * 100 / total_bytes;
  } else {
    percent += static_cast<std::uint64_t>(static_cast<long double>(rest) * 100 / total_bytes);
  }
  return static_cast<int>(std::min<std::uint64_t>(percent, 0x7FFFFFFF));
}

std::wstring describe_volume(const VolumeEntry& entry) {
  if (entry.display_path.empty()) return std::wstring();
  std::wstring drive = entry.display_path;
  if (drive.back() == L'\\') drive.pop_back();
  std::wstring text = L"Drive " + drive + L" " + entry.file_system + L" " +
                      std::to_wstring(free_percent(entry.free_bytes, entry.total_bytes)) +
                      L"% Free";
  if (!entry.label.empty()) text += L" - " + entry.label;
  if (text.size() > kDescriptionChars - 1) text.resize(kDescriptionChars - 1);
  return text;
}

std::vector<VolumeEntry> collect_volumes(VolumeSource& source) {
  std::vector<VolumeEntry> volumes;
  const bool admin = source.user_is_admin();
  for (const std::wstring& name : source.volume_names()) {
    if (!is_volume_name(name)) continue;
    VolumeEntry entry;
    if (!source.device_path(name.substr(4, name.size() - 5), entry.device_name)) continue;
    entry.volume_path = name;
    entry.mount_paths = source.mount_paths(name);
    entry.display_path = entry.mount_paths.empty() ? entry.device_name : entry.mount_paths[0];
    if (!entry.mount_paths.empty() && !entry.mount_paths[0].empty())
      query_mounted_volume(source, entry);
    entry.description = describe_volume(entry);
    if (is_listed(entry, admin)) volumes.push_back(std::move(entry));
  }
  // Later drive letters first; volumes without mount path last. std::wstring compares
  // code units one by one.
  std::stable_sort(volumes.begin(), volumes.end(),
                   [](const VolumeEntry& a, const VolumeEntry& b) {
                     return first_mount_path(a) > first_mount_path(b);
                   });
  return volumes;
}

void enumerate_volumes() { volume_list = collect_volumes(system_volume_source()); }

int find_cache_volume() {
  if (cache_path[0] == L'\0') return -1;
  const wint_t cache_drive = std::towlower(cache_path[0]);
  for (size_t i = 0; i < volume_list.size(); ++i) {
    const std::wstring& path = volume_list[i].display_path;
    if (!path.empty() && std::towlower(path[0]) == cache_drive) return static_cast<int>(i);
  }
  return -1;
}

bool cache_has_room(int selected_index) {
  int cache = find_cache_volume();
  if (cache < 0) return true;
  if (selected_index < 0 || selected_index >= static_cast<int>(volume_list.size())) return true;
  return volume_list[selected_index].total_bytes <= volume_list[cache].free_bytes;
}

std::wstring format_size(std::int64_t bytes) {
  char text[64];
  if (bytes < 0) {
    snprintf(text, sizeof text, "%dB", static_cast<int>(static_cast<std::uint32_t>(bytes)));
  } else if (bytes > (std::int64_t(1) << 30)) {
    snprintf(text, sizeof text, "%.2fG", static_cast<double>(bytes) / (1 << 30));
  } else if (bytes > (std::int64_t(1) << 20)) {
    snprintf(text, sizeof text, "%.2fM", static_cast<double>(bytes) / (1 << 20));
  } else if (bytes > 1024) {
    snprintf(text, sizeof text, "%.2fK", static_cast<double>(bytes) / 1024);
  } else {
    snprintf(text, sizeof text, "%dB", static_cast<int>(bytes));
  }
  return std::wstring(text, text + strlen(text));
}
