#include <windows.h>
#include <shlobj.h>

#include "devices/volume_source.h"

namespace {

constexpr DWORD kNameChars = 260;
constexpr DWORD kInfoChars = 261;

class SystemVolumeSource : public VolumeSource {
 public:
  std::vector<std::wstring> volume_names() override {
    std::vector<std::wstring> names;
    wchar_t name[kNameChars];
    HANDLE search = FindFirstVolumeW(name, kNameChars);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      names.emplace_back(name);
    } while (FindNextVolumeW(search, name, kNameChars));
    FindVolumeClose(search);
    return names;
  }

  bool device_path(const std::wstring& volume_id, std::wstring& device) override {
    wchar_t buffer[kNameChars] = L"";
    if (QueryDosDeviceW(volume_id.c_str(), buffer, kNameChars) == 0) return false;
    device = buffer;
    return true;
  }

  std::vector<std::wstring> mount_paths(const std::wstring& volume_name) override {
    std::vector<wchar_t> buffer(kInfoChars, L'\0');
    DWORD needed = 0;
    BOOL ok = GetVolumePathNamesForVolumeNameW(volume_name.c_str(), buffer.data(),
                                               static_cast<DWORD>(buffer.size()), &needed);
    if (!ok && GetLastError() == ERROR_MORE_DATA && needed > buffer.size()) {
      buffer.assign(needed, L'\0');
      ok = GetVolumePathNamesForVolumeNameW(volume_name.c_str(), buffer.data(),
                                            static_cast<DWORD>(buffer.size()), &needed);
    }
    std::vector<std::wstring> paths;
    if (!ok) return paths;
    // A list of terminated strings closed by an empty one.
    for (const wchar_t* p = buffer.data(); p < buffer.data() + buffer.size() && *p;
         p += wcslen(p) + 1)
      paths.emplace_back(p);
    return paths;
  }

  std::uint32_t drive_type(const std::wstring& root) override {
    return GetDriveTypeW(root.c_str());
  }

  bool volume_information(const std::wstring& root, std::wstring& label,
                          std::wstring& file_system) override {
    wchar_t label_buffer[kInfoChars] = L"";
    wchar_t fs_buffer[kInfoChars] = L"";
    if (!GetVolumeInformationW(root.c_str(), label_buffer, kInfoChars, nullptr, nullptr,
                               nullptr, fs_buffer, kInfoChars))
      return false;
    label = label_buffer;
    file_system = fs_buffer;
    return true;
  }

  bool disk_space(const std::wstring& root, std::uint64_t& total_bytes,
                  std::uint64_t& free_bytes) override {
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return false;
    total_bytes = total.QuadPart;
    free_bytes = free.QuadPart;
    return true;
  }

  bool user_is_admin() override { return IsUserAnAdmin() != FALSE; }
};

}  // namespace

VolumeSource& system_volume_source() {
  static SystemVolumeSource source;
  return source;
}
