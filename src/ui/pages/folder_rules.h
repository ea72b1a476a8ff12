// The checks the options page makes on the two folders before a scan: whether a folder
// lies on the volume being scanned (saving there overwrites the deleted files), whether
// the destination sits inside the cache (the next scan's clean-up would wipe it), and
// whether its path survives the ANSI code page the engine and the scan block use.
#pragma once
#include <string>

#include "devices/volumes.h"

namespace folder_rules {

// The longest ANSI path a 260-byte field of the scan block holds.
constexpr size_t kMaxAnsiPath = 259;

// Absolute form for comparisons: `..` and `.` resolved, '/' as '\', no trailing
// separators, lower case. Empty for an empty path.
std::wstring normalise(const std::wstring& path);

// True when both name the same folder, or `inner` lies somewhere below `outer`.
bool same_or_inside(const std::wstring& inner, const std::wstring& outer);

// The path in the thread's ANSI code page, when every character survives the trip there
// and back and it fits the scan block; false otherwise (`ansi` is then emptied).
bool to_ansi(const std::wstring& path, std::string& ansi);

// Where a folder lives: the mount point of its volume ("E:\", "C:\mnt\card\"), that
// volume's name ("\\?\Volume{...}\") and the drive letter of its absolute path. A part
// the system cannot tell stays empty (0 for the letter).
struct FolderVolume {
  std::wstring mount_point;
  std::wstring volume_name;
  wchar_t drive = 0;
};
FolderVolume locate(const std::wstring& folder);

// True when a folder so located is on `entry`: the same volume name, or a mount point that
// is one of the entry's; without a known mount point, its drive letter against a drive
// root the entry is shown as.
bool on_volume(const FolderVolume& folder, const VolumeEntry& entry);

}  // namespace folder_rules
