#include "ui/pages/message_window.h"

#include <shellapi.h>

#include "base/settings.h"
#include "i18n/language.h"
#include "session/user_message.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

namespace {
constexpr int kWidth = 300;
constexpr int kHeight = 200;
const RECT kTextRect = {80, 30, 272, 100};
}  // namespace

int message_window_c::icon_for_mode(unsigned int mode) {
  switch (mode) {
    case 0: case 4: return IDB_ICON_INFORMATION;
    case 1: return IDB_ICON_WARNING;
    case 2: return IDB_ICON_ERROR;
    case 3: return IDB_ICON_QUESTION;
    default: return 0;
  }
}

message_window_c::message_window_c(const wchar_t* message, unsigned int box_mode)
    : ui_window_c<message_window_c>(30), text(message), mode(box_mode) {
  if (int id = icon_for_mode(mode)) icon.LoadFromResource(GetModuleHandleW(nullptr), id);
}

int message_window_c::show(HWND owner) { return dialog_parts::show_modal(*this, owner); }

LRESULT message_window_c::on_init_dialog(UINT, WPARAM, LPARAM, BOOL&) {
  const bool two_buttons = mode == 3 || mode == 4;
  dialog_parts::set_up_buttons(*this, IDB_DIALOG_BUTTON, IDB_DIALOG_BUTTON_PRESSED, IDB_DIALOG_BUTTON_HOVER,
                               application_font(L"Verdana", 9, true), two_buttons);
  layout = dialog_parts::lay_out_message_text(m_hWnd, {kWidth, kHeight}, kTextRect, frame_width, text);
  first_button.SetWindowText(lookup_text("btn_ok").c_str());
  if (two_buttons) {
    second_button.SetWindowText(lookup_text(mode == 3 ? "btn_no" : "btn_ok").c_str());
    dialog_parts::move_control(m_hWnd, 2, 50, layout.button_y);
    dialog_parts::move_control(m_hWnd, 1, 180, layout.button_y);
    first_button.SetWindowText(lookup_text(mode == 3 ? "btn_yes" : "btn_open").c_str());
  } else {
    dialog_parts::move_control(m_hWnd, 1, 115, layout.button_y);
  }
  create_brushes();
  dialog_parts::place_dialog(*this, kWidth, layout.height);
  // The text is painted, not shown by a control: a hidden static carries it for screen
  // readers and for anything else that reads the box from outside.
  CreateWindowExW(0, L"STATIC", text, WS_CHILD, 0, 0, 0, 0, m_hWnd,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId)), GetModuleHandleW(nullptr), nullptr);
  return TRUE;
}

LRESULT message_window_c::on_first(WORD, WORD, HWND, BOOL&) {
  if (mode == 4) ShellExecuteW(nullptr, L"open", recovery_path, nullptr, nullptr, SW_SHOWNORMAL);
  EndDialog(1);
  return 0;
}

LRESULT message_window_c::on_second(WORD, WORD, HWND, BOOL&) {
  EndDialog(2);
  return 0;
}

void install_message_window() { set_user_message_function(show_message_window); }

int show_message_window(HWND owner, int mode, const wchar_t* text) {
  message_window_c box(text ? text : L"", mode < 0 ? 5u : static_cast<unsigned int>(mode));
  return box.show(owner);
}
