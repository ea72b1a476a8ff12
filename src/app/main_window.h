// The application's only top-level window: the skinned frame with its header (title,
// step bar, logo), three caption buttons (close, minimise, drop-down menu), and the
// pages as children filling the client area, one visible at a time.
#pragma once
#include <windows.h>

#include "../res/resource.h"
#include "base/messages.h"
#include "framework/message_loop.h"
#include "framework/window.h"
#include "imaging/image.h"
#include "ui/pages/home_window.h"
#include "ui/pages/option_window.h"
#include "ui/pages/recovery_window.h"
#include "ui/skin/ui_window.h"

// The window title: a second instance finds the first by it.
constexpr wchar_t kMainWindowTitle[] = L"Tessaline";

class main_window_c : public CWindowImpl<main_window_c, CWindow, CWinTraits<WS_CAPTION | WS_CLIPCHILDREN, 0>>,
                      public ui_window_c<main_window_c>,
                      public MessageFilter,
                      public IdleHandler {
 public:
  DECLARE_WND_CLASS_EX(L"MainWindow", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

  static constexpr int kFirstLanguageCommand = 45000;
  static constexpr int kLastLanguageCommand = 45010;

  home_window_c home;
  recovery_window_c recovery;
  option_window_c options;
  HWND visible_page = nullptr;
  int step = 0;
  HBRUSH header_brush = nullptr;
  CImage header_tile;
  CImage logo;
  CImage step_bars[4];
  HICON big_icon = nullptr;
  HICON small_icon = nullptr;
  HMENU menu = nullptr;

  main_window_c();
  ~main_window_c() override;

  // Creates the window (800 x 600, centred); null on failure.
  HWND create();

  BOOL PreTranslateMessage(MSG*) override { return FALSE; }
  BOOL OnIdle() override { return FALSE; }

  // Caption elements.
  void close_clicked() { close_request(); }
  void minimise_clicked() { ShowWindow(SW_MINIMIZE); }
  void menu_clicked();
  void logo_clicked();

  // Frame painting hooks.
  void paint_caption(memory_surface& surface, const RECT& window);
  void paint_title(memory_surface& surface, const RECT& window);

  // Asks before ending a scan, ends it, and destroys the window. False when the user
  // kept the program running (or recovering still runs).
  bool close_request();

  BEGIN_MSG_MAP(main_window_c)
    if (process_message(uMsg, wParam, lParam, lResult)) return TRUE;
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(WM_DESTROY, on_destroy)
    MESSAGE_HANDLER(WM_CLOSE, on_close)
    MESSAGE_HANDLER(WM_GETMINMAXINFO, on_get_min_max_info)
    MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(kWakeMessage, on_wake)
    MESSAGE_RANGE_HANDLER(kShowHomeMessage, kShowResumedMessage, on_show_page)
    MESSAGE_HANDLER(kFilesRecoveredMessage, on_preview_step)
    COMMAND_ID_HANDLER(ID_MENU_HELP, on_help)
    COMMAND_ID_HANDLER(ID_MENU_ABOUT, on_about)
    COMMAND_ID_HANDLER(ID_MENU_EXIT, on_exit)
    COMMAND_RANGE_HANDLER(kFirstLanguageCommand, kLastLanguageCommand, on_language)
  END_MSG_MAP()

 private:
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_destroy(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_close(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_get_min_max_info(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_set_focus(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_wake(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_show_page(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_preview_step(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_help(WORD, WORD, HWND, BOOL&);
  LRESULT on_about(WORD, WORD, HWND, BOOL&);
  LRESULT on_exit(WORD, WORD, HWND, BOOL&);
  LRESULT on_language(WORD, WORD, HWND, BOOL&);

  void add_caption_element(int normal, int hover, int pressed, int offset_x, int offset_y, int width,
                           int height, void (main_window_c::*action)(), const wchar_t* name);
  void insert_language_menu();
  void show_page(HWND page);
  void set_step(int new_step);
};
