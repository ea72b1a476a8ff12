// The options page's folder checks: nesting of destination and cache, the volume a
// folder lives on, and paths the ANSI code page cannot carry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/pages/folder_rules.h"

namespace {

using folder_rules::FolderVolume;

TEST(FolderRules, DestinationEqualToOrInsideTheCacheIsCaughtHoweverItIsSpelt) {
  struct { const wchar_t* destination; const wchar_t* cache; bool caught; } cases[] = {
      {L"C:\\Data\\Cache", L"c:/data/cache/", true},             // case, slashes, trailing separator
      {L"C:\\Data\\Cache\\\\", L"C:\\DATA\\CACHE", true},
      {L"C:\\Data\\Cache\\tmp\\out", L"C:\\Data\\Cache", true},  // in the scan folder
      {L"c:/data/cache/tmp.2/out", L"C:\\Data\\Cache\\", true},  // in a kept scan folder
      {L"C:\\Data\\Out\\..\\Cache\\sub", L"C:\\Data\\Cache", true},
      {L"D:\\", L"d:", true},
      {L"D:\\photos", L"D:\\", true},
      {L"C:\\Data\\CacheOut", L"C:\\Data\\Cache", false},        // a longer name, not a subfolder
      {L"C:\\Data\\Cache\\..\\Out", L"C:\\Data\\Cache", false},
      {L"C:\\Data", L"C:\\Data\\Cache", false},                  // the cache inside the destination is safe
      {L"", L"C:\\Data\\Cache", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "destination " << std::string(c.destination, c.destination + wcslen(c.destination)));
    EXPECT_EQ(c.caught, folder_rules::same_or_inside(c.destination, c.cache));
  }
}

TEST(FolderRules, AFolderIsOnTheCardByVolumeNameMountPointOrDriveLetter) {
  VolumeEntry card;
  card.volume_path = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000045}\\";
  card.mount_paths = {L"E:\\"};
  card.display_path = L"E:\\";
  const std::wstring other_volume = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000043}\\";
  struct { FolderVolume folder; bool on_card; } cases[] = {
      {{L"E:\\", card.volume_path, L'e'}, true},
      {{L"C:\\", L"\\\\?\\volume{00000000-0000-0000-0000-000000000045}\\", L'c'}, true},  // name decides
      {{L"e:\\", L"", L'e'}, true},   // mount point without a volume name
      {{L"e:", L"", L'e'}, true},
      {{L"", L"", L'e'}, true},       // nothing resolved: the drive letter
      {{L"", L"", L'c'}, false},
      {{L"C:\\", other_volume, L'c'}, false},
      {{L"E:\\mnt\\other\\", other_volume, L'e'}, false},  // another volume mounted below E:
      {{L"", L"", 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mount " << c.folder.mount_point.size() << " drive " << char(c.folder.drive));
    EXPECT_EQ(c.on_card, folder_rules::on_volume(c.folder, card));
  }
  // A card shown by its device name has no drive letter to fall back on.
  VolumeEntry unmounted;
  unmounted.volume_path = card.volume_path;
  unmounted.display_path = L"\\Device\\Harddisk1\\DR1";
  EXPECT_FALSE(folder_rules::on_volume({L"", L"", L'd'}, unmounted));

  const FolderVolume windows = folder_rules::locate(L"C:\\windows\\system32");
  EXPECT_EQ(L'c', windows.drive);
  EXPECT_EQ(L"c:", folder_rules::normalise(windows.mount_point));
}

TEST(FolderRules, OnlyPathsTheAnsiCodePageCarriesWholeAreAccepted) {
  struct Case { std::wstring path; bool accepted; };
  std::vector<Case> cases = {
      {L"C:\\Recovered photos", true},
      {L"C:\\" + std::wstring(256, L'a'), true},   // 259 characters
      {L"C:\\" + std::wstring(257, L'a'), false},  // one more than the scan block holds
  };
  // Tibetan is in no single- or double-byte code page.
  if (GetACP() != CP_UTF8) cases.push_back({L"C:\\Tibetan \x0f00 mantra", false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.size());
    std::string ansi = "left over";
    EXPECT_EQ(c.accepted, folder_rules::to_ansi(c.path, ansi));
    EXPECT_EQ(c.accepted ? c.path : L"", std::wstring(ansi.begin(), ansi.end()));
  }
}

}  // namespace
