#pragma once
// What the volume list needs from the system, one question per call, so that the rules
// for filtering, describing and ordering volumes also run on made-up volumes.
#include <cstdint>
#include <string>
#include <vector>

#include "devices/volumes.h"

class VolumeSource {
 public:
  virtual ~VolumeSource() = default;
  // Every volume name of the system's enumeration, in its order; empty when unavailable.
  virtual std::vector<std::wstring> volume_names() = 0;
  // Device path for a volume name stripped of "\\?\" and the trailing backslash.
  virtual bool device_path(const std::wstring& volume_id, std::wstring& device) = 0;
  // All mount paths of a volume name, in the system's order; empty when none or on failure.
  virtual std::vector<std::wstring> mount_paths(const std::wstring& volume_name) = 0;
  virtual std::uint32_t drive_type(const std::wstring& root) = 0;
  virtual bool volume_information(const std::wstring& root, std::wstring& label,
                                  std::wstring& file_system) = 0;
  virtual bool disk_space(const std::wstring& root, std::uint64_t& total_bytes,
                          std::uint64_t& free_bytes) = 0;
  virtual bool user_is_admin() = 0;
};

// The Windows volume calls.
VolumeSource& system_volume_source();

// The filtered, described and ordered entries for the volumes of a source.
std::vector<VolumeEntry> collect_volumes(VolumeSource& source);
// The drop-down line of an entry: "Drive E: FAT32 25% Free - CARD".
std::wstring describe_volume(const VolumeEntry& entry);
// Free share of the volume in whole percent, truncated; 0 for a size of 0.
int free_percent(std::uint64_t free_bytes, std::uint64_t total_bytes);
