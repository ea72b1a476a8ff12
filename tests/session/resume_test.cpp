// Reloading scan folders from a real cache folder.
#include "session/resume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "background_files.h"
#include "base/settings.h"
#include "session/found_file_list.h"

namespace {

std::vector<std::string> listed_paths() {
  ListLock hold;
  std::vector<std::string> paths;
  for (const FoundFile& record : g_found_files.records) paths.push_back(record.file_path);
  return paths;
}

bool contains(const std::vector<std::string>& all, const std::string& one) {
  return std::find(all.begin(), all.end(), one) != all.end();
}

}  // namespace

TEST(Resume, ReloadsScanFoldersButNotThumbnailsDotFilesOrLooseFiles) {
  ScratchFolder cache("resume");
  for (const char* folder : {"tmp", "tmp.old", "tmp.old\\sub", "tmp.old\\thumb_dir", "other"})
    CreateDirectoryA((cache / folder).c_str(), nullptr);
  std::string header = complemented("0123456789abcdefXYZ");
  for (const char* file : {"tmp\\f0001.jpg", "tmp\\thumb_f0001.png", "tmp.old\\a.b.jpg",
                           "tmp.old\\.x.jpg", "tmp.old\\sub\\deep.nef", "tmp.old\\thumb_dir\\c.jpg",
                           "loose.jpg", "tmp.file", "other\\d.jpg"})
    put_file(cache / file, header);
  wcscpy(cache_path, cache.wide().c_str());
  reset_found_files();

  EXPECT_EQ(0, resume_thread(nullptr));
  std::vector<std::string> paths = listed_paths();
  ASSERT_EQ(3u, paths.size());
  EXPECT_TRUE(contains(paths, cache / "tmp\\f0001.jpg"));
  EXPECT_TRUE(contains(paths, cache / "tmp.old\\a.b.jpg"));
  EXPECT_TRUE(contains(paths, cache / "tmp.old\\sub\\deep.nef"));
  {
    ListLock hold;
    for (const FoundFile& record : g_found_files.records) {
      EXPECT_EQ(1, record.complemented);
      EXPECT_EQ(0, record.width);
      EXPECT_EQ(nullptr, record.image);
    }
    auto found = std::find_if(g_found_files.records.begin(), g_found_files.records.end(),
                              [](const FoundFile& r) { return strstr(r.file_path, "a.b.jpg"); });
    EXPECT_STREQ("jpg", found->ext);
  }
  EXPECT_EQ(header, get_file(cache / "tmp\\f0001.jpg")) << "files are not touched";

  // Resuming appends to what the list holds.
  EXPECT_EQ(0, resume_thread(nullptr));
  EXPECT_EQ(6u, listed_paths().size());
  reset_found_files();
}

TEST(Resume, NoCacheFolderAppendsNothingAndStillNotifies) {
  ScratchFolder scratch("resume");
  wcscpy(cache_path, (scratch.wide() + L"\\missing").c_str());
  reset_found_files();
  HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
  EXPECT_EQ(0, resume_thread(owner));
  EXPECT_TRUE(listed_paths().empty());
  if (owner) {
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, owner, kResumeFinishedMessage, kResumeFinishedMessage,
                             PM_REMOVE));
    DestroyWindow(owner);
  }
}

TEST(Resume, ListCacheFoldersMatchesNamesOnly) {
  ScratchFolder cache("resume");
  CreateDirectoryA((cache / "tmp").c_str(), nullptr);
  CreateDirectoryA((cache / "tmp.1").c_str(), nullptr);
  put_file(cache / "tmpx", "x");
  put_file(cache / "tmp.1\\inner.jpg", "x");
  std::vector<std::wstring> names = list_cache_folders(cache.wide() + L"\\tmp.*");
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::wstring>{L"tmp", L"tmp.1"}), names) << "tmp.* matches tmp too";
  EXPECT_EQ(std::vector<std::wstring>{L"inner.jpg"},
            list_cache_folders(cache.wide() + L"\\tmp.1"));
  EXPECT_TRUE(list_cache_folders(cache.wide() + L"\\none*").empty());
  EXPECT_TRUE(list_cache_folders(cache.wide() + L"\\" + std::wstring(260, L'a')).empty());
}

TEST(Resume, WalkIsDepthFirstAndSkipsDotNames) {
  ScratchFolder root("walk");
  for (const char* folder : {"a", "a\\inner", "b", ".hidden", "empty"})
    CreateDirectoryA((root / folder).c_str(), nullptr);
  for (const char* file : {"top1.jpg", "a\\a1.jpg", "a\\inner\\i1.jpg", "a\\inner\\i2.jpg",
                           "a\\a2.jpg", "b\\b1.jpg", ".hidden\\h.jpg", ".dot.jpg", "top2.jpg"})
    put_file(root / file, "x");
  std::vector<std::wstring> seen;
  std::wstring forward = root.wide();
  std::replace(forward.begin(), forward.end(), L'\\', L'/');
  walk_files(forward, [&](const std::wstring& path) { seen.push_back(path); });
  ASSERT_EQ(7u, seen.size());
  for (const std::wstring& path : seen) {
    EXPECT_EQ(std::wstring::npos, path.find(L'/')) << "slashes become backslashes";
    EXPECT_EQ(std::wstring::npos, path.find(L"\\.")) << "dot-names are skipped";
  }
  // Whatever order the file system lists, a folder's files come as one run.
  auto run_of = [&](const std::wstring& folder) {
    std::vector<size_t> at;
    for (size_t i = 0; i < seen.size(); ++i)
      if (seen[i].find(root.wide() + L"\\" + folder + L"\\") == 0) at.push_back(i);
    return at;
  };
  std::vector<size_t> in_a = run_of(L"a"), in_inner = run_of(L"a\\inner");
  ASSERT_EQ(4u, in_a.size());
  EXPECT_EQ(in_a.front() + 3, in_a.back());
  ASSERT_EQ(2u, in_inner.size());
  EXPECT_EQ(in_inner.front() + 1, in_inner.back());

  std::vector<std::wstring> none;
  walk_files(root.wide() + L"\\no-such", [&](const std::wstring& p) { none.push_back(p); });
  EXPECT_TRUE(none.empty());
}
