// Shows every dialog in each of its modes, with a short text, the longest text the
// language file gives that mode and a text of several paragraphs, in English, German,
// Japanese and Arabic, and saves a picture of each as it appears on screen
// (gallery/<dialog>-<language>-<variant>.png). Run it under Xvfb through tools/gallery.sh.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "../../tests/ui/pages/dialog_texts.h"
#include "base/settings.h"
#include "i18n/language.h"
#include "imaging/image.h"
#include "ui/pages/about_window.h"
#include "ui/pages/folder_window.h"
#include "ui/pages/message_window.h"
#include "ui/skin/fonts.h"

namespace {

std::wstring g_shot;  // where the picture of the dialog on screen goes

// Copies the active dialog from the screen into a PNG, then cancels it.
void CALLBACK take_picture(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = GetActiveWindow();
  if (!dialog) dialog = GetForegroundWindow();
  RECT r;
  if (dialog && GetWindowRect(dialog, &r)) {
    // A margin of the desktop around the window shows where the frame ends.
    InflateRect(&r, 6, 6);
    CImage picture;
    if (picture.Create(r.right - r.left, r.bottom - r.top, 24)) {
      HDC screen = GetDC(nullptr);
      HDC dc = picture.GetDC();
      BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
      picture.ReleaseDC();
      ReleaseDC(nullptr, screen);
      picture.Save(g_shot.c_str());
    }
  }
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

template <class Show>
void shoot(const std::wstring& name, Show show) {
  g_shot = L"gallery\\" + name + L".png";
  SetTimer(nullptr, 0, 900, take_picture);
  show();
}

}  // namespace

int wmain() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  create_application_fonts();
  CreateDirectoryW(L"gallery", nullptr);
  lstrcpynW(recovery_path, L"C:\\", kSettingsPathChars);

  for (int language = 0; language < 4; ++language) {
    if (!use_dialog_language(L"language.ini", language)) return 1;
    const std::wstring code = dialog_languages(language).code;
    const wchar_t* const variants[3] = {L"-short", L"-longest", L"-long"};
    for (int mode = 0; mode <= 5; ++mode) {
      const std::wstring texts[3] = {short_message(), longest_message(mode), long_message()};
      for (int variant = 0; variant < 3; ++variant) {
        const std::wstring& text = texts[variant];
        if (mode == 5) {
          folder_window_c box(text.c_str());
          shoot(L"folder-" + code + variants[variant], [&] { box.show(nullptr); });
        } else {
          shoot(L"message" + std::to_wstring(mode) + L"-" + code + variants[variant],
                [&] { show_message_window(nullptr, mode, text.c_str()); });
        }
      }
    }
    about_window_c about;
    shoot(L"about-" + code, [&] { about.show(nullptr); });
  }
  return 0;
}
