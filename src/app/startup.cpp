#include "app/startup.h"

#include <string>

#include "app/main_window.h"
#include "base/settings.h"
#include "base/system_probe.h"
#include "devices/volumes.h"
#include "framework/module.h"
#include "i18n/language.h"
#include "session/found_file_list.h"
#include "session/thumbnail_worker.h"
#include "ui/pages/message_window.h"
#include "ui/skin/fonts.h"

namespace {
constexpr wchar_t kInstanceMutex[] = L"ORV";

BOOL CALLBACK find_main_window(HWND window, LPARAM found) {
  wchar_t title[261] = {};
  GetWindowTextW(window, title, 261);
  if (lstrcmpiW(title, kMainWindowTitle) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

int report_failure(int code) {
  const std::wstring text = L"Application initialization failed, error code: " + std::to_wstring(code) + L".";
  MessageBoxW(nullptr, text.c_str(), kMainWindowTitle, MB_OK | MB_ICONERROR);
  return -1;
}

void enter_program_folder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (!slash) return;
  *slash = 0;
  SetCurrentDirectoryW(path);
}
}  // namespace

int check_single_instance() {
  // The first instance keeps the mutex owned until it ends; the handle is never closed.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstanceMutex);
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  HWND first = nullptr;
  EnumWindows(find_main_window, reinterpret_cast<LPARAM>(&first));
  if (first) SendMessageW(first, kWakeMessage, 0, 0);
  return -1;
}

int initialise_application() {
  enter_program_folder();
  if (!probe_system()) return report_failure(1);
  measure_physical_memory();
  load_settings();
  create_list_lock();
  reset_found_files();
  start_thumbnail_worker(physical_memory);
  enumerate_volumes();
  create_application_fonts();
  install_message_window();
  if (load_language(language_name, true) == -1) return report_failure(4);
  if (lstrcmpiW(language_name, L"English") != 0) load_language(L"English", false);
  return 0;
}

int run_main_window(int show_command) {
  MessageLoop loop;
  g_module.AddMessageLoop(&loop);
  auto* window = new main_window_c;
  if (!window->create()) {
    delete window;
    g_module.RemoveMessageLoop();
    return -1;
  }
  window->ShowWindow(show_command);
  const int code = loop.Run();
  g_module.RemoveMessageLoop();
  delete window;
  return code;
}
