// Tessaline's process entry.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/startup.h"
#include "framework/module.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show_command) {
  if (check_single_instance() == -1) return -1;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  g_module.Init(nullptr, instance);
  int code = -1;
  if (initialise_application() == 0) code = run_main_window(show_command);
  g_module.Term();
  CoUninitialize();
  return code;
}
