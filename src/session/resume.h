// Resuming: the files of earlier scan folders in the cache go back into the found-file list.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/messages.h"

// Thread procedure; `owner` is the HWND to notify, or null. Returns 0.
int resume_thread(void* owner);

// Names (not paths) of the entries matching `pattern`, in file-system order, without
// "." and "..". A pattern naming a directory lists its content. Patterns of 260
// characters or more match nothing.
std::vector<std::wstring> list_cache_folders(const std::wstring& pattern);

// Every file below `root`, depth first: a folder's content comes before the rest of its
// parent. Entries whose name begins with '.' are skipped; folders that can't be
// searched are left out.
class FileWalker {
 public:
  explicit FileWalker(std::wstring root);
  ~FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;
  // The next file's path; false when the walk is over.
  bool next(std::wstring& path);

 private:
  struct Frame {
    std::wstring folder;
    HANDLE search = INVALID_HANDLE_VALUE;
    unsigned taken = 0;
  };
  std::vector<Frame> stack_;
};

// Calls `visit` with every file below `root` (see FileWalker).
void walk_files(const std::wstring& root, const std::function<void(const std::wstring&)>& visit);
