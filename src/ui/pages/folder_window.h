// The skinned confirmation about the chosen folders: the message box's look in a wider
// layout with a warning icon and a fixed pair of buttons, Cancel on the left and OK on
// the right. show returns 1 for OK or Enter, 2 for Cancel or Escape, 0 for the caption
// close button.
#pragma once
#include <windows.h>

#include <string>

#include "../res/resource.h"
#include "framework/dialog.h"
#include "imaging/image.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/ui_window.h"

class folder_window_c : public CDialogImpl<folder_window_c>,
                        public ui_window_c<folder_window_c>,
                        public dialog_parts::MessageBody<folder_window_c> {
 public:
  enum { IDD = IDD_MESSAGE };

  std::wstring text;

  explicit folder_window_c(const wchar_t* text);

  int show(HWND owner);
  const wchar_t* message_text() const { return text.c_str(); }
  void close_clicked() { EndDialog(0); }

  BEGIN_MSG_MAP(folder_window_c)
    if (process_message(uMsg, wParam, lParam, lResult)) return TRUE;
    MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
    COMMAND_ID_HANDLER(1, on_command)
    COMMAND_ID_HANDLER(2, on_command)
    CHAIN_MSG_MAP(dialog_parts::MessageBody<folder_window_c>)
  END_MSG_MAP()

 private:
  LRESULT on_init_dialog(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_command(WORD, WORD, HWND, BOOL&);
};
