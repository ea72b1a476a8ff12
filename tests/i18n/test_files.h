#pragma once
// Writes a language file for a test; the file is removed when the object goes away.
#include <windows.h>

#include <cstdio>
#include <string>

class TempLanguageFile {
 public:
  explicit TempLanguageFile(const std::string& bytes, const wchar_t* name = L"test_language.ini")
      : path_(name) {
    FILE* file = _wfopen(path_.c_str(), L"wb");
    if (file) {
      fwrite(bytes.data(), 1, bytes.size(), file);
      fclose(file);
    }
  }
  ~TempLanguageFile() { DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};
