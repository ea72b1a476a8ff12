// The about dialog: the product picture and name in a tall header that belongs to the
// frame, two lines of text, a white panel with the build information, and two buttons:
// one starts the separate updater and closes (1), the other only closes (2).
#pragma once
#include <windows.h>

#include <string>

#include "../res/resource.h"
#include "framework/dialog.h"
#include "imaging/image.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/ui_window.h"

// Where the about dialog puts its texts (client coordinates): its own places while the
// texts fit, else lower down with the window taller by what they lack.
struct AboutLayout {
  int height = 400;  // of the window
  int information_y = 65;
  RECT panel = {15, 85, 470, 185};
  int button_shift = 0;  // added to the buttons' rows
};

class about_window_c : public CDialogImpl<about_window_c>, public ui_window_c<about_window_c> {
 public:
  enum { IDD = IDD_ABOUT };

  HIMAGELIST button_images = nullptr;
  bitmap_button_c first_button;
  bitmap_button_c second_button;
  CImage picture;
  CImage line_image;
  HBRUSH line_brush = nullptr;
  HBRUSH background_brush = nullptr;
  AboutLayout layout;  // set when the dialog opens

  about_window_c();
  ~about_window_c() override;

  int show(HWND owner);
  void close_clicked() { EndDialog(0); }
  void paint_caption(memory_surface& surface, const RECT& window);

  // The build information: the "about_info" format filled with an empty text, the build
  // date ("Jun  9 2013") and the build time ("17:45:27"); at most 1023 characters.
  static std::wstring build_information(const std::wstring& format);
  // The layout for the heights the copyright line, the information line (both wrapped
  // in the dialog's width) and the build information (wrapped in the panel) need.
  static AboutLayout lay_out(int copyright_height, int information_height, int info_height, int max_height);
  // "update\update.exe" under the folder recorded at start-up.
  static std::wstring updater_path();

  BEGIN_MSG_MAP(about_window_c)
    if (process_message(uMsg, wParam, lParam, lResult)) return TRUE;
    MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase_background)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    COMMAND_ID_HANDLER(1, on_update)
    COMMAND_ID_HANDLER(2, on_close)
  END_MSG_MAP()

 private:
  void measure_texts();
  LRESULT on_init_dialog(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_erase_background(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_paint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_update(WORD, WORD, HWND, BOOL&);
  LRESULT on_close(WORD, WORD, HWND, BOOL&);
};
