// Scratch folders and whole-file reads and writes for the tests.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

// A fresh folder under the temp folder, deleted with its content at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* tag = "scan") {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    path_ = std::string(temp) + "tess_" + tag + "_" + std::to_string(GetCurrentProcessId()) +
            "_" + std::to_string(++serial);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    std::string from = path_ + '\0';  // the list ends in a double NUL
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::wstring wide() const { return std::wstring(path_.begin(), path_.end()); }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// False when the file cannot be written whole.
inline bool write_file(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool whole = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && whole;
}

inline bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  return write_file(path, bytes.data(), bytes.size());
}

inline bool put_file(const std::string& path, const std::string& bytes) {
  return write_file(path, bytes.data(), bytes.size());
}

// The whole file, or nothing when it cannot be opened.
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

inline std::vector<unsigned char> read_bytes(const std::string& path) {
  std::string bytes = get_file(path);
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folder of the running test executable, with its trailing backslash.
inline std::wstring own_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}
