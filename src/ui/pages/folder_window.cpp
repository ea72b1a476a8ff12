#include "ui/pages/folder_window.h"

#include "i18n/language.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/fonts.h"

namespace {
constexpr int kWidth = 400;
constexpr int kHeight = 200;
const RECT kTextRect = {80, 30, 372, 150};
}  // namespace

folder_window_c::folder_window_c(const wchar_t* message)
    : ui_window_c<folder_window_c>(30), text(message ? message : L"") {
  icon.LoadFromResource(GetModuleHandleW(nullptr), IDB_ICON_WARNING);
}

int folder_window_c::show(HWND owner) { return dialog_parts::show_modal(*this, owner); }

LRESULT folder_window_c::on_init_dialog(UINT, WPARAM, LPARAM, BOOL&) {
  dialog_parts::set_up_buttons(*this, IDB_DIALOG_BUTTON, IDB_DIALOG_BUTTON_PRESSED,
                               IDB_DIALOG_BUTTON_HOVER, application_font(L"Verdana", 9, true), true);
  layout = dialog_parts::lay_out_message_text(m_hWnd, {kWidth, kHeight}, kTextRect, frame_width, text.c_str());
  first_button.SetWindowText(lookup_text("btn_ok").c_str());
  second_button.SetWindowText(lookup_text("btn_cancel").c_str());
  dialog_parts::move_control(m_hWnd, 1, 230, layout.button_y);
  dialog_parts::move_control(m_hWnd, 2, 100, layout.button_y);
  create_brushes();
  dialog_parts::place_dialog(*this, kWidth, layout.height);
  return TRUE;
}

LRESULT folder_window_c::on_command(WORD, WORD id, HWND, BOOL&) {
  EndDialog(id);
  return 0;
}
