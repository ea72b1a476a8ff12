// The cache folder: old scan folders, its creation, and which reported paths lie inside.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include "session/engine_launch.h"
#include "session/engine_reports.h"

TEST(ScanFolders, OnlyTmpAndTmpDotFoldersAreDeleted) {
  ScratchFolder cache;
  for (const char* folder : {"tmp", "tmp\\sub", "tmp.old", "TMP.2", "tmpx", "other"})
    CreateDirectoryA((cache / folder).c_str(), nullptr);
  write_bytes(cache / "tmp\\sub\\f1.jpg", {1, 2, 3});
  write_bytes(cache / "tmp.old\\f2.jpg", {4});
  write_bytes(cache / "tmpfile.txt", {5});
  write_bytes(cache / "tmp.txt", {6});
  write_bytes(cache / "tmpx\\keep.jpg", {7});

  EXPECT_EQ(delete_old_scan_folders(cache.path().c_str()), 3);
  EXPECT_FALSE(exists(cache / "tmp"));
  EXPECT_FALSE(exists(cache / "tmp.old"));
  EXPECT_FALSE(exists(cache / "TMP.2"));
  EXPECT_TRUE(exists(cache / "tmpx\\keep.jpg"));
  EXPECT_TRUE(exists(cache / "tmpfile.txt"));
  EXPECT_TRUE(exists(cache / "tmp.txt"));
  EXPECT_TRUE(exists(cache / "other"));
  EXPECT_EQ(delete_old_scan_folders((cache.path() + "\\").c_str()), 0);
  EXPECT_EQ(delete_old_scan_folders((cache / "absent").c_str()), 0);
}

TEST(ScanFolders, OnlyPathsResolvingInsideTheScanFolderAreTaken) {
  ScratchFolder cache;
  std::string scan = cache / "tmp";
  char resolved[260];
  ASSERT_TRUE(resolve_inside_folder((scan + "\\sub\\.\\f.jpg").c_str(), scan, resolved));
  EXPECT_EQ(std::string(resolved), scan + "\\sub\\f.jpg");
  std::string upper = scan;
  CharUpperA(&upper[0]);
  EXPECT_TRUE(resolve_inside_folder((upper + "\\f.jpg").c_str(), scan, resolved));
  EXPECT_TRUE(resolve_inside_folder((cache.path() + "/tmp/f.jpg").c_str(), scan, resolved));

  EXPECT_FALSE(resolve_inside_folder((scan + "\\..\\outside.jpg").c_str(), scan, resolved));
  EXPECT_FALSE(resolve_inside_folder((scan + "x\\f.jpg").c_str(), scan, resolved));
  EXPECT_FALSE(resolve_inside_folder((scan + "\\").c_str(), scan, resolved));
  EXPECT_FALSE(resolve_inside_folder("C:\\windows\\win.ini", scan, resolved));
  EXPECT_FALSE(resolve_inside_folder("..\\..\\x", scan, resolved));
  EXPECT_FALSE(resolve_inside_folder("", scan, resolved));
}
