// The real enumeration under Wine, with a removable drive whose device is a card image.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/settings.h"
#include "devices/volumes.h"
#include "../common/wine_drive.h"

namespace {

using wine_drive::define_drive;
using wine_drive::running_under_wine;
using wine_drive::unix_path_of;

class RealVolumes : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_cache_ = cache_path;
    if (!running_under_wine()) GTEST_SKIP() << "needs Wine's mount manager";
    letter_ = wine_drive::free_drive_letter();
    ASSERT_NE(L'\0', letter_) << "no free drive letter";
    // A 64 MiB card image (sparse) and the folder that stands for its mounted view.
    CreateDirectoryW(L"card_view", nullptr);
    ASSERT_TRUE(wine_drive::create_card_image(L"card.img", 64ll << 20));
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
