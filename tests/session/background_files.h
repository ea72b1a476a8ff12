// Scratch folders, files and a message recorder for the background-work tests.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "session/user_message.h"

// A fresh folder under the temp folder, deleted with its content at the end.
class BackgroundScratch {
 public:
  explicit BackgroundScratch(const char* tag = "bg") {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    path_ = std::string(temp) + "tess_" + tag + "_" + std::to_string(GetCurrentProcessId()) +
            "_" + std::to_string(++serial);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~BackgroundScratch() {
    std::string from = path_ + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
  }
  const std::string& path() const { return path_; }
  std::wstring wide() const { return std::wstring(path_.begin(), path_.end()); }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

inline void put_file(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::string get_file(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
    std::fclose(f);
  }
  return bytes;
}

inline bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string complemented(std::string bytes) {
  for (size_t i = 0; i < bytes.size() && i < 16; ++i) bytes[i] = static_cast<char>(~bytes[i]);
  return bytes;
}

// Records every message instead of showing it.
struct ShownMessage {
  HWND owner;
  int mode;
  std::wstring text;
};

class MessageRecorder {
 public:
  MessageRecorder() { previous_ = set_user_message_function(&record); shown().clear(); }
  ~MessageRecorder() { set_user_message_function(previous_); }
  static std::vector<ShownMessage>& shown() {
    static std::vector<ShownMessage> messages;
    return messages;
  }

 private:
  static int record(HWND owner, int mode, const wchar_t* text) {
    shown().push_back({owner, mode, text});
    return 1;
  }
  UserMessageFunction previous_;
};
