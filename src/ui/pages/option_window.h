// The options page: the volume to scan, the kinds of files wanted and the two folders
// (destination and cache). Next validates the choices, stores the folders, fills the
// scan request and asks the main window to show the recovery page and start the scan.
#pragma once
#include <windows.h>

#include <string>

#include "framework/window.h"
#include "imaging/image.h"
#include "ui/skin/bitmap_button.h"

class option_window_c
    : public ATL::CWindowImpl<option_window_c, ATL::CWindow,
                              ATL::CWinTraits<WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>> {
 public:
  DECLARE_WND_CLASS(L"OptionWindow")

  bool shows_cache = false;
  HWND main_window = nullptr;  // target of the navigation messages

  // Command ids of the page's controls.
  enum {
    kBack = 2, kNext = 3, kClose = 4, kRefresh = 5, kBrowse = 6, kOpen = 7, kVolumes = 8, kCameras = 9,
    kFolder = 10, kPhoto = 11, kVideo = 12, kAudio = 13, kDestination = 14, kCache = 15
  };

  option_window_c();
  ~option_window_c() override;

  BEGIN_MSG_MAP(option_window_c)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_SIZE, on_size)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, on_ctl_color_static)
    MESSAGE_HANDLER(WM_COMMAND, on_command)
  END_MSG_MAP()

 private:
  bitmap_button_c buttons[6];  // refresh, browse, open, back, next, close
  CImage background;
  CImage bullet;
  CImage kind_icons[3];  // photo, video, audio
  HBRUSH static_brush = nullptr;
  HBRUSH frame_brush = nullptr;
  HBRUSH band_brush = nullptr;

  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_size(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_ctl_color_static(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_command(UINT, WPARAM, LPARAM, BOOL&);

  void create_controls();
  void paint_page(HDC dc, const RECT& client);
  void fill_volume_list();
  void browse();
  void open_folder();
  void switch_folder(bool to_cache);
  void next();

  // Warns in mode 1 with the text of `key`, owned by the page.
  void warn(const char* key);
  // The folder edit's text when it names an existing folder whose path the scan can use;
  // otherwise warns and returns false.
  bool validated_folder(std::wstring& folder);
  // Stores `folder` into the setting the edit shows.
  void store_shown_folder(const std::wstring& folder);
  // True (after warning) when either folder lies on the volume chosen for the scan.
  bool folder_on_scanned_volume(int volume);
};
