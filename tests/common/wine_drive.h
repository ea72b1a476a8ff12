// Test drives under Wine: a drive letter whose device is a card image, defined and
// removed through Wine's mount manager.
#pragma once
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

namespace wine_drive {

// Wine's mount manager defines and removes drives through this request.
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};
static_assert(sizeof(UnixDriveRequest) == 32, "mount manager request layout");
const DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

inline bool running_under_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

inline std::string unix_path_of(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_unix) return std::string();
  char* name = to_unix(path.c_str());
  std::string result = name ? name : "";
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Defines (or, without paths, removes) a drive letter.
inline bool define_drive(wchar_t letter, DWORD type, const std::string& folder,
                         const std::string& device) {
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(sizeof(UnixDriveRequest) + folder.size() + device.size() + 2, 0);
  auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
  request->size = static_cast<ULONG>(buffer.size());
  request->type = type;
  request->letter = letter;
  size_t at = sizeof(UnixDriveRequest);
  if (!folder.empty()) {
    request->mount_point_offset = static_cast<USHORT>(at);
    memcpy(&buffer[at], folder.c_str(), folder.size() + 1);
    at += folder.size() + 1;
  }
  if (!device.empty()) {
    request->device_offset = static_cast<USHORT>(at);
    memcpy(&buffer[at], device.c_str(), device.size() + 1);
  }
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(),
                            static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return ok != FALSE;
}

// An image file of `bytes` bytes, all zero (sparse where the file system allows).
inline bool create_card_image(const std::wstring& path, long long bytes) {
  HANDLE image = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (image == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  size.QuadPart = bytes;
  const bool sized = SetFilePointerEx(image, size, nullptr, FILE_BEGIN) && SetEndOfFile(image);
  CloseHandle(image);
  return sized;
}

// Runs a host shell command (Wine starts host programs) and waits up to 10 s for it.
inline void run_on_host(const std::string& command) {
  std::string line = "Z:\\bin\\sh -c \"" + command + "\"";
  STARTUPINFOA startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}

// A small host file system (tmpfs of `bytes`) mounted on `folder` for the object's life;
// mounted() is false where this machine does not allow it.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, unsigned long long bytes)
      : folder_(folder), unix_(unix_path_of(std::wstring(folder.begin(), folder.end()))) {
    CreateDirectoryA(folder.c_str(), nullptr);
    run_on_host("mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs '" + unix_ + "'");
    // The host program may still be running when its handle signals.
    for (int waited = 0; !(mounted_ = capacity() <= bytes) && waited < 5000; waited += 20) Sleep(20);
  }
  ~SmallDisk() { run_on_host("umount -l '" + unix_ + "' 2>/dev/null"); }
  bool mounted() const { return mounted_; }

 private:
  unsigned long long capacity() const {
    ULARGE_INTEGER free_bytes, total, total_free;
    if (!GetDiskFreeSpaceExA((folder_ + "\\").c_str(), &free_bytes, &total, &total_free)) return ~0ull;
    return total.QuadPart;
  }
  std::string folder_, unix_;
  bool mounted_ = false;
};

// The last free letter from Y: down to D:, or 0.
inline wchar_t free_drive_letter() {
  DWORD used = GetLogicalDrives();
  for (wchar_t l = L'Y'; l >= L'D'; --l)
    if (!(used & (1u << (l - L'A')))) return l;
  return L'\0';
}

}  // namespace wine_drive
