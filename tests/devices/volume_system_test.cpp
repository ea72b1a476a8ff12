// The real enumeration under Wine, with a removable drive whose device is a card image.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>

#include "app/settings.h"
#include "devices/volumes.h"

namespace {

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

bool running_under_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string unix_path_of(const std::wstring& path) {
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
bool define_drive(wchar_t letter, DWORD type, const std::string& folder, const std::string& device) {
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

class RealVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_cache_ = cache_path;
    if (!running_under_wine()) GTEST_SKIP() << "needs Wine's mount manager";
    DWORD used = GetLogicalDrives();
    for (wchar_t l = L'Y'; l >= L'D'; --l)
      if (!(used & (1u << (l - L'A')))) {
        letter_ = l;
        break;
      }
    ASSERT_NE(L'\0', letter_) << "no free drive letter";
    // A 64 MiB card image (sparse) and the folder that stands for its mounted view.
    CreateDirectoryW(L"card_view", nullptr);
    HANDLE image = CreateFileW(L"card.img", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, image);
    LARGE_INTEGER size;
    size.QuadPart = 64ll << 20;
    SetFilePointerEx(image, size, nullptr, FILE_BEGIN);
    SetEndOfFile(image);
    CloseHandle(image);
    ASSERT_TRUE(define_drive(letter_, DRIVE_REMOVABLE, unix_path_of(L"card_view"),
                             unix_path_of(L"card.img")));
    defined_ = true;
  }
  void TearDown() override {
    if (defined_) define_drive(letter_, DRIVE_REMOVABLE, "", "");
    wcscpy(cache_path, saved_cache_.c_str());
    DeleteFileW(L"card.img");
    RemoveDirectoryW(L"card_view");
    volume_list.clear();
  }
  int index_of(const std::wstring& display) {
    for (size_t i = 0; i < volume_list.size(); ++i)
      if (volume_list[i].display_path == display) return static_cast<int>(i);
    return -1;
  }
  wchar_t letter_ = L'\0';
  bool defined_ = false;
  std::wstring saved_cache_;
};

TEST_F(RealVolumes, ListsTheCardDriveAsRemovableInItsPlace) {
  enumerate_volumes();
  const std::wstring root = std::wstring(1, letter_) + L":\\";
  int card = index_of(root);
  ASSERT_GE(card, 0) << "the defined drive is listed";
  const VolumeEntry& entry = volume_list[card];
  EXPECT_EQ(static_cast<std::uint32_t>(DRIVE_REMOVABLE), entry.drive_type);
  EXPECT_EQ(0u, entry.volume_path.find(L"\\\\?\\Volume{"));
  EXPECT_EQ(L'\\', entry.volume_path.back());
  EXPECT_FALSE(entry.device_name.empty());
  ASSERT_FALSE(entry.mount_paths.empty());
  EXPECT_EQ(root, entry.mount_paths[0]);
  EXPECT_EQ(0u, entry.description.find(L"Drive " + std::wstring(1, letter_) + L": "));
  EXPECT_LE(entry.free_bytes, entry.total_bytes);

  // Later letters first; as an administrator (Wine's default) the local disk C: is listed
  // after the card.
  for (size_t i = 1; i < volume_list.size(); ++i) {
    std::wstring before = volume_list[i - 1].mount_paths.empty() ? L"" : volume_list[i - 1].mount_paths[0];
    std::wstring after = volume_list[i].mount_paths.empty() ? L"" : volume_list[i].mount_paths[0];
    EXPECT_GE(before, after);
  }
  int local_disk = index_of(L"C:\\");
  ASSERT_GE(local_disk, 0);
  EXPECT_LT(card, local_disk);
  EXPECT_EQ(static_cast<std::uint32_t>(DRIVE_FIXED), volume_list[local_disk].drive_type);

  // A cache folder on the card's drive is found there.
  wcscpy(cache_path, (root + L"cache").c_str());
  EXPECT_EQ(card, find_cache_volume());
}

}  // namespace
