#pragma once
// The volumes that can be scanned, described one line each for the options page.
#include <cstdint>
#include <string>
#include <vector>

struct VolumeEntry {
  std::wstring device_name;               // device path, e.g. below "\Device\"
  std::wstring volume_path;               // "\\?\Volume{...}\" as enumerated
  std::wstring label;
  std::wstring file_system;
  std::wstring description;               // the line shown in the drop-down list
  std::wstring display_path;              // first mount path, else device_name
  std::vector<std::wstring> mount_paths;
  std::uint32_t drive_type = 0;           // GetDriveType classes; 0 without mount path
  std::uint64_t total_bytes = 0;
  std::uint64_t free_bytes = 0;
};

// Process-wide list, read by index on the main thread between enumerations.
extern std::vector<VolumeEntry> volume_list;

// Rebuilds volume_list from the system's volumes.
void enumerate_volumes();
// Index of the entry whose display path starts with cache_path's drive letter, or -1.
int find_cache_volume();
// False only when the cache volume has fewer free bytes than the selected volume's size.
bool cache_has_room(int selected_index);
// Short size text: 1024B, 1.50K, 64.00G.
std::wstring format_size(std::int64_t bytes);
