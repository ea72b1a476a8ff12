#include "session/resume.h"

#include "base/ansi_text.h"
#include "base/paths.h"
#include "base/settings.h"
#include "kestrune_command_line.h"
#include "session/found_file_list.h"

std::vector<std::wstring> list_cache_folders(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  if (pattern.size() >= MAX_PATH) return names;
  std::wstring search = is_directory(pattern) ? join_path(pattern, L"*.*") : pattern;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(search.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

FileWalker::FileWalker(std::wstring root) {
  for (wchar_t& c : root)
    if (c == L'/') c = L'\\';
  stack_.push_back(Frame{root});
}

FileWalker::~FileWalker() {
  for (Frame& frame : stack_)
    if (frame.search != INVALID_HANDLE_VALUE) FindClose(frame.search);
}

bool FileWalker::next(std::wstring& path) {
  while (!stack_.empty()) {
    Frame& frame = stack_.back();
    WIN32_FIND_DATAW entry;
    bool found;
    if (frame.taken == 0 && frame.search == INVALID_HANDLE_VALUE) {
      frame.search = FindFirstFileW(join_path(frame.folder, L"*").c_str(), &entry);
      found = frame.search != INVALID_HANDLE_VALUE;
    } else {
      found = FindNextFileW(frame.search, &entry) != FALSE;
    }
    if (!found) {
      if (frame.search != INVALID_HANDLE_VALUE) FindClose(frame.search);
      stack_.pop_back();
      continue;
    }
    ++frame.taken;
    // ".", "..", dot-names, and whatever the engine left unfinished: only whole files.
    const wchar_t first = entry.cFileName[0];
    if (first == L'.' || first == static_cast<wchar_t>(kestrune::kUnfinishedMark)) continue;
    std::wstring entry_path = join_path(frame.folder, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      stack_.push_back(Frame{entry_path});  // `frame` is not used after this
      continue;
    }
    path = entry_path;
    return true;
  }
  return false;
}

void walk_files(const std::wstring& root,
                const std::function<void(const std::wstring&)>& visit) {
  FileWalker walker(root);
  std::wstring path;
  while (walker.next(path)) visit(path);
}

int resume_thread(void* owner) {
  std::wstring cache = cache_path;
  for (const std::wstring& name : list_cache_folders(join_path(cache, ansi_to_wide(kestrune::kScanFolderName) + L".*"))) {
    std::wstring folder = join_path(cache, name);
    if (!is_directory(folder)) continue;
    walk_files(folder, [](const std::wstring& file) {
      if (file.find(L"thumb_") != std::wstring::npos) return;
      // append_cached_file takes the list lock for this one record; paths of 260
      // characters or more don't fit a record and are left out.
      append_cached_file(wide_to_ansi(file).c_str());
    });
  }
  if (owner) PostMessageW(static_cast<HWND>(owner), kResumeFinishedMessage, 0, 0);
  return 0;
}
