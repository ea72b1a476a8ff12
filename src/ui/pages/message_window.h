// The program's only way of telling the user something or asking a yes/no question:
// a skinned modal box with an icon, a wrapped text and one or two image buttons.
// Modes: 0 information, 1 warning, 2 error, 3 question, 4 finished. show returns 1 for
// control 1 (OK, Yes, Open or Enter), 2 for control 2 (No, the left OK of mode 4, Escape)
// and 0 for the caption close button.
#pragma once
#include <windows.h>

#include "../res/resource.h"
#include "framework/dialog.h"
#include "imaging/image.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/ui_window.h"

class message_window_c : public CDialogImpl<message_window_c>,
                         public ui_window_c<message_window_c>,
                         public dialog_parts::MessageBody<message_window_c> {
 public:
  enum { IDD = IDD_MESSAGE };
  static constexpr int kTextControlId = 1000;  // hidden static holding the text

  const wchar_t* text;  // not owned: the caller keeps it alive until the box has closed
  unsigned int mode;

  // The icon id of a mode, 0 for none.
  static int icon_for_mode(unsigned int mode);

  message_window_c(const wchar_t* text, unsigned int mode);

  int show(HWND owner);
  const wchar_t* message_text() const { return text; }
  void close_clicked() { EndDialog(0); }

  BEGIN_MSG_MAP(message_window_c)
    if (process_message(uMsg, wParam, lParam, lResult)) return TRUE;
    MESSAGE_HANDLER(WM_INITDIALOG, on_init_dialog)
    COMMAND_ID_HANDLER(1, on_first)
    COMMAND_ID_HANDLER(2, on_second)
    CHAIN_MSG_MAP(dialog_parts::MessageBody<message_window_c>)
  END_MSG_MAP()

 private:
  LRESULT on_init_dialog(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT on_first(WORD, WORD, HWND, BOOL&);
  LRESULT on_second(WORD, WORD, HWND, BOOL&);
};

// Runs the message box modally over `owner` (may be null) and returns its result.
int show_message_window(HWND owner, int mode, const wchar_t* text);

// Puts this box behind show_user_message, the door of the session and the pages
// (start-up does it).
void install_message_window();
