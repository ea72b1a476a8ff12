// Paths in the session are narrow strings in the thread's ANSI code page; the user
// interface and the file system calls that need more take UTF-16. One pair of
// conversions for both directions.
#pragma once
#include <windows.h>

#include <string>

inline std::wstring ansi_to_wide(const char* text) {
  int length = text ? MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0) : 0;
  if (length <= 0) return {};
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, &wide[0], length);
  wide.resize(length - 1);
  return wide;
}

inline std::string wide_to_ansi(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string ansi(length, '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, &ansi[0], length, nullptr, nullptr);
  ansi.resize(length - 1);
  return ansi;
}
