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

folder_window_c::~folder_window_c() { dialog_parts::free_message_resources(*this); }

int folder_window_c::show(HWND owner) { return dialog_parts::show_modal(*this, owner); }

LRESULT folder_window_c::on_init_dialog(UINT, WPARAM, LPARAM, BOOL&) {
  dialog_parts::set_up_buttons(*this, IDB_DIALOG_BUTTON, IDB_DIALOG_BUTTON_PRESSED,
                               IDB_DIALOG_BUTTON_HOVER, application_font(L"Verdana", 9, true), true);
  layout = dialog_parts::lay_out_message_text(m_hWnd, {kWidth, kHeight}, kTextRect, frame_width, text.c_str());
  first_button.SetWindowText(lookup_text("btn_ok").c_str());
  second_button.SetWindowText(lookup_text("btn_cancel").c_str());
  dialog_parts::move_control(m_hWnd, 1, 230, layout.button_y);
  dialog_parts::move_control(m_hWnd, 2, 100, layout.button_y);
  dialog_parts::create_message_brushes(*this);
  dialog_parts::place_dialog(*this, kWidth, layout.height);
  return TRUE;
}

LRESULT folder_window_c::on_erase_background(UINT, WPARAM wparam, LPARAM, BOOL&) {
  dialog_parts::erase_message_background(m_hWnd, reinterpret_cast<HDC>(wparam), background_brush, band_brush,
                                         layout.band_top);
  return TRUE;
}

LRESULT folder_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(&ps);
  dialog_parts::paint_message_body(dc, icon, text.c_str(), layout);
  EndPaint(&ps);
  return 0;
}

LRESULT folder_window_c::on_command(WORD, WORD id, HWND, BOOL&) {
  EndDialog(id);
  return 0;
}
