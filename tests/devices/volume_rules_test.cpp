// Filtering, describing and ordering rules of the volume list, on made-up volumes.
#include <gtest/gtest.h>

#include "base/settings.h"
#include "devices/volume_source.h"
#include "devices/volumes.h"

namespace {

constexpr std::uint64_t MiB = 1ull << 20;

struct FakeVolume {
  std::wstring name;                      // as enumerated
  std::wstring device;                    // empty: the device query fails
  std::vector<std::wstring> mounts;
  std::uint32_t type = 2;
  bool has_medium = true;                 // false: the volume information query fails
  std::wstring label, file_system = L"FAT32";
  bool space_known = true;
  std::uint64_t total = 0, free = 0;
};

class FakeVolumeSource : public VolumeSource {
 public:
  std::vector<FakeVolume> volumes;
  bool admin = false;

  std::vector<std::wstring> volume_names() override {
    std::vector<std::wstring> names;
    for (const FakeVolume& v : volumes) names.push_back(v.name);
    return names;
  }
  bool device_path(const std::wstring& id, std::wstring& device) override {
    for (const FakeVolume& v : volumes)
      if (v.name.size() > 5 && v.name.substr(4, v.name.size() - 5) == id && !v.device.empty()) {
        device = v.device;
        return true;
      }
    return false;
  }
  std::vector<std::wstring> mount_paths(const std::wstring& name) override {
    return find_by_name(name)->mounts;
  }
  std::uint32_t drive_type(const std::wstring& root) override { return find_by_root(root)->type; }
  bool volume_information(const std::wstring& root, std::wstring& label,
                          std::wstring& file_system) override {
    const FakeVolume* v = find_by_root(root);
    if (!v->has_medium) return false;
    label = v->label;
    file_system = v->file_system;
    return true;
  }
  bool disk_space(const std::wstring& root, std::uint64_t& total, std::uint64_t& free) override {
    const FakeVolume* v = find_by_root(root);
    if (!v->space_known) return false;
    total = v->total;
    free = v->free;
    return true;
  }
  bool user_is_admin() override { return admin; }

 private:
  const FakeVolume* find_by_name(const std::wstring& name) {
    for (const FakeVolume& v : volumes)
      if (v.name == name) return &v;
    ADD_FAILURE() << "unknown volume";
    return &volumes.front();
  }
  const FakeVolume* find_by_root(const std::wstring& root) {
    for (const FakeVolume& v : volumes)
      if (!v.mounts.empty() && v.mounts[0] == root) return &v;
    ADD_FAILURE() << "query on a path that is no first mount path";
    return &volumes.front();
  }
};

FakeVolume card(wchar_t id, const std::wstring& mount, std::uint32_t type = 2) {
  FakeVolume v;
  v.name = std::wstring(L"\\\\?\\Volume{") + id + L"}\\";
  v.device = std::wstring(L"\\Device\\HarddiskVolume") + id;
  if (!mount.empty()) v.mounts.push_back(mount);
  v.type = type;
  v.total = 512 * MiB;
  v.free = 128 * MiB;
  return v;
}

std::vector<std::wstring> displays(const std::vector<VolumeEntry>& entries) {
  std::vector<std::wstring> paths;
  for (const VolumeEntry& e : entries) paths.push_back(e.display_path);
  return paths;
}

TEST(VolumeRules, DescribesEachVolumeInOneLine) {
  FakeVolumeSource source;
  FakeVolume labelled = card(L'1', L"E:\\");
  labelled.label = L"CARD";
  FakeVolume unlabelled = card(L'2', L"F:\\");
  unlabelled.file_system = L"exFAT";
  unlabelled.free = 256 * MiB;
  FakeVolume reader_without_card = card(L'3', L"G:\\");
  reader_without_card.has_medium = false;
  FakeVolume unknown_space = card(L'4', L"H:\\");
  unknown_space.space_known = false;
  FakeVolume folder = card(L'5', L"D:\\cards\\sd\\");
  FakeVolume unmounted = card(L'6', L"");
  source.volumes = {labelled, unlabelled, reader_without_card, unknown_space, folder, unmounted};

  std::vector<VolumeEntry> list = collect_volumes(source);
  ASSERT_EQ(6u, list.size());
  EXPECT_EQ(L"Drive H: FAT32 0% Free", list[0].description);
  EXPECT_EQ(L"Drive G:  0% Free", list[1].description);
  EXPECT_EQ(0u, list[1].total_bytes);
  EXPECT_EQ(L"Drive F: exFAT 50% Free", list[2].description);
  EXPECT_EQ(L"Drive E: FAT32 25% Free - CARD", list[3].description);
  EXPECT_EQ(L"\\\\?\\Volume{1}\\", list[3].volume_path);
  EXPECT_EQ(L"\\Device\\HarddiskVolume1", list[3].device_name);
  EXPECT_EQ(L"Drive D:\\cards\\sd FAT32 25% Free", list[4].description);
  // Without a mount path: listed by its device, type 0, nothing queried.
  EXPECT_EQ(L"\\Device\\HarddiskVolume6", list[5].display_path);
  EXPECT_EQ(L"Drive \\Device\\HarddiskVolume6  0% Free", list[5].description);
  EXPECT_EQ(0u, list[5].drive_type);
  EXPECT_TRUE(list[5].mount_paths.empty());
}

TEST(VolumeRules, ListsRemovableStyleVolumesAndFixedDisksOnlyForAdministrators) {
  FakeVolumeSource source;
  source.volumes = {card(L'1', L"C:\\", 3), card(L'2', L"E:\\", 2), card(L'3', L"N:\\", 4),
                    card(L'4', L"R:\\", 5), card(L'5', L"S:\\", 6), card(L'6', L"U:\\", 0),
                    card(L'7', L"")};
  source.admin = false;
  EXPECT_EQ((std::vector<std::wstring>{L"U:\\", L"S:\\", L"E:\\", L"\\Device\\HarddiskVolume7"}),
            displays(collect_volumes(source)));
  source.admin = true;
  // The local disk sorts after removable volumes on later letters.
  EXPECT_EQ((std::vector<std::wstring>{L"U:\\", L"S:\\", L"E:\\", L"C:\\",
                                       L"\\Device\\HarddiskVolume7"}),
            displays(collect_volumes(source)));
}

TEST(VolumeRules, SkipsMalformedNamesAndVolumesWithoutDevice) {
  FakeVolumeSource source;
  FakeVolume no_prefix = card(L'1', L"E:\\");
  no_prefix.name = L"Volume{1}\\";
  FakeVolume no_trailing_backslash = card(L'2', L"F:\\");
  no_trailing_backslash.name = L"\\\\?\\Volume{2}";
  FakeVolume no_device = card(L'3', L"G:\\");
  no_device.device.clear();
  source.volumes = {no_prefix, no_trailing_backslash, no_device, card(L'4', L"H:\\")};
  EXPECT_EQ((std::vector<std::wstring>{L"H:\\"}), displays(collect_volumes(source)));
}

TEST(VolumeRules, FreePercentIsTruncatedAndNeverOverflows) {
  EXPECT_EQ(0, free_percent(100, 0));
  EXPECT_EQ(33, free_percent(1, 3));
  EXPECT_EQ(99, free_percent(999, 1000));
  EXPECT_EQ(100, free_percent(1ull << 62, 1ull << 62));
  EXPECT_EQ(50, free_percent(1ull << 62, 1ull << 63));
}

class CacheVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = cache_path;
    VolumeEntry f, e, device;
    f.display_path = L"F:\\";
    f.total_bytes = 64ull << 30;
    f.free_bytes = 10ull << 30;
    e.display_path = L"e:\\";
    e.total_bytes = 8ull << 30;
    e.free_bytes = 8ull << 30;
    device.display_path = L"\\Device\\HarddiskVolume9";
    volume_list = {f, e, device};
  }
  void TearDown() override {
    wcscpy(cache_path, saved_.c_str());
    volume_list.clear();
  }
  std::wstring saved_;
};

TEST_F(CacheVolume, FoundByDriveLetterWithoutRegardToCase) {
  wcscpy(cache_path, L"E:\\cache");
  EXPECT_EQ(1, find_cache_volume());
  wcscpy(cache_path, L"f:\\temp\\ORV_Cache");
  EXPECT_EQ(0, find_cache_volume());
  wcscpy(cache_path, L"C:\\Users\\me\\ORV_Cache");
  EXPECT_EQ(-1, find_cache_volume());
  cache_path[0] = L'\0';
  EXPECT_EQ(-1, find_cache_volume());
}

TEST_F(CacheVolume, RoomIsMissingOnlyWhenTheCacheVolumeHasLessFreeThanTheCardHolds) {
  wcscpy(cache_path, L"E:\\cache");
  EXPECT_FALSE(cache_has_room(0));   // 64 GiB card, 8 GiB free
  EXPECT_TRUE(cache_has_room(1));    // the cache volume itself: 8 GiB of 8 GiB free
  volume_list[1].free_bytes -= 1;
  EXPECT_FALSE(cache_has_room(1));
  EXPECT_TRUE(cache_has_room(2));    // size unknown
  wcscpy(cache_path, L"C:\\cache");  // not listed: never compared
  EXPECT_TRUE(cache_has_room(0));
}

TEST(FormatSize, PicksTheUnitByStrictThresholds) {
  EXPECT_EQ(L"0B", format_size(0));
  EXPECT_EQ(L"1024B", format_size(1024));
  EXPECT_EQ(L"1.00K", format_size(1025));
  EXPECT_EQ(L"1.50K", format_size(1536));
  EXPECT_EQ(L"1024.00K", format_size(1 << 20));
  EXPECT_EQ(L"1.50M", format_size(3 << 19));
  EXPECT_EQ(L"1024.00M", format_size(1 << 30));
  EXPECT_EQ(L"3.00G", format_size(3ll << 30));
  EXPECT_EQ(L"64.00G", format_size(64ll << 30));
  EXPECT_EQ(L"-1B", format_size(-1));
  EXPECT_EQ(L"-705032704B", format_size(-5000000000ll));  // the low 32 bits
}

}  // namespace
