#include "session/recover.h"

#include <cstring>
#include <vector>

#include "base/ansi_text.h"
#include "base/paths.h"
#include "base/settings.h"
#include "i18n/language.h"
#include "session/found_file_list.h"
#include "session/user_message.h"

namespace {

constexpr DWORD kCopyBlock = 8192;
constexpr DWORD kHeaderBytes = 16;

struct RecoverSource {
  char file_path[260];
  char ext[8];
  bool complemented;
};

bool take_source(uint32_t index, RecoverSource& source) {
  ListLock hold;
  if (index >= g_found_files.records.size()) return false;
  const FoundFile& record = g_found_files.records[index];
  memcpy(source.file_path, record.file_path, sizeof source.file_path);
  memcpy(source.ext, record.ext, sizeof source.ext);
  source.complemented = record.complemented != 0;
  return true;
}

bool write_all(HANDLE file, const unsigned char* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// Copies the open source into the open destination; the number of zero bytes at the
// end of the data (header excluded) goes to `trailing_zeros` when it is counted.
int copy_content(HANDLE source, HANDLE destination, bool complemented,
                 uint64_t* trailing_zeros) {
  unsigned char buffer[kCopyBlock];
  DWORD got = 0;
  if (complemented) {
    if (!ReadFile(source, buffer, kHeaderBytes, &got, nullptr)) return kSourceUnreadable;
    for (DWORD i = 0; i < got; ++i) buffer[i] = static_cast<unsigned char>(~buffer[i]);
    if (got > 0 && !write_all(destination, buffer, got)) return kShortWrite;
  }
  for (;;) {
    if (!ReadFile(source, buffer, kCopyBlock, &got, nullptr)) return kSourceUnreadable;
    if (got == 0) return kRecovered;
    if (trailing_zeros) {
      for (DWORD i = 0; i < got; ++i) *trailing_zeros = buffer[i] == 0 ? *trailing_zeros + 1 : 0;
    }
    if (!write_all(destination, buffer, got)) return kShortWrite;
  }
}

bool cut_trailing_zeros(HANDLE destination, uint64_t zeros) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(destination, &size) || static_cast<uint64_t>(size.QuadPart) < zeros)
    return false;
  LARGE_INTEGER end;
  end.QuadPart = size.QuadPart - static_cast<LONGLONG>(zeros);
  return SetFilePointerEx(destination, end, nullptr, FILE_BEGIN) && SetEndOfFile(destination);
}

}  // namespace

std::wstring recovery_file_name(uint32_t index, const char* ext) {
  std::wstring number = std::to_wstring(index);
  if (number.size() < 5) number.insert(0, 5 - number.size(), L'0');
  std::wstring name = L"FILE" + number;
  if (!ext || !*ext) return name;
  std::wstring wide = ansi_to_wide(ext);
  for (wchar_t& c : wide)
    if (c < 32 || wcschr(L"<>:\"/\\|?*", c)) c = L'_';
  return name + L"." + wide;
}

int recover_file(uint32_t index) { return recover_file(index, recovery_path); }

int recover_file(uint32_t index, const std::wstring& folder) {
  RecoverSource source;
  if (!take_source(index, source)) return kSourceUnreadable;
  bool x3f = strncmp(source.ext, "x3f", 3) == 0;
  HANDLE in = CreateFileA(source.file_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return kSourceUnreadable;
  std::wstring target = join_path(folder, recovery_file_name(index, source.ext));
  HANDLE out = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return kDestinationFailed;
  }
  uint64_t zeros = 0;
  int result = copy_content(in, out, source.complemented, x3f ? &zeros : nullptr);
  if (result == kRecovered && zeros > 0 && !cut_trailing_zeros(out, zeros)) result = kShortWrite;
  CloseHandle(in);
  CloseHandle(out);
  // A half-written copy must not pass for a recovered file.
  if (result != kRecovered) DeleteFileW(target.c_str());
  return result;
}

void show_recovery_failure(HWND owner, int code) {
  const char* key = nullptr;
  const wchar_t* fallback = nullptr;
  switch (code) {
    case kSourceUnreadable:
      key = "recovery_failed_code1";
      fallback = L"A found file could not be read from the cache folder.";
      break;
    case kDestinationFailed:
      key = "recovery_failed_code2";
      fallback = L"A file could not be created in the destination folder.";
      break;
    case kShortWrite:
      key = "recovery_failed_code3";
      fallback = L"A file could not be written completely: the destination may be full.";
      break;
    default:
      return;
  }
  std::wstring text = lookup_text(key);
  show_user_message(owner, 2, text.empty() ? fallback : text.c_str());
}

int recover_selected_thread(void* owner) {
  // One destination for the whole run, whatever the options page does meanwhile.
  const std::wstring folder = recovery_path;
  int count = 0, tried = 0;
  bool reported = false;
  auto recover_one = [&](uint32_t index) {
    ++tried;
    int rc = recover_file(index, folder);
    if (rc == kRecovered) {
      ++count;
    } else if (!reported) {
      show_recovery_failure(static_cast<HWND>(owner), rc);
      reported = true;
    }
  };
  for (uint32_t i = 0;; ++i) {
    bool selected;
    {
      ListLock hold;
      if (i >= g_found_files.records.size()) break;
      selected = g_found_files.records[i].selected != 0;
    }
    if (selected) recover_one(i);
  }
  // Without a selection the focused item is what the user means.
  if (tried == 0) {
    int32_t current;
    {
      ListLock hold;
      current = g_found_files.current_item;
      // An item of a list cleared since it was focused is no item.
      if (current >= 0 && static_cast<uint32_t>(current) >= g_found_files.records.size()) current = -1;
    }
    if (current >= 0) recover_one(static_cast<uint32_t>(current));
  }
  if (owner) PostMessageW(static_cast<HWND>(owner), kRecoveryFinishedMessage, 0, 0);
  return count;
}
