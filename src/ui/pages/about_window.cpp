#include "ui/pages/about_window.h"

#include <shellapi.h>

#include "app/system_probe.h"
#include "i18n/language.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

namespace {
constexpr int kWidth = 500;
constexpr int kHeight = 400;
constexpr int kHeader = 100;
const RECT kPanel = {15, 85, 470, 185};

std::wstring widen(const char* text) {
  std::wstring wide;
  while (*text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text++));
  return wide;
}

void draw_text_at(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}
}  // namespace

about_window_c::about_window_c() : ui_window_c<about_window_c>(kHeader) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  picture.LoadFromResource(self, IDB_ABOUT_PICTURE);
  line_image.LoadFromResource(self, IDB_ABOUT_LINE);
  background_brush = CreateSolidBrush(RGB(139, 184, 241));
  if (!line_image.IsNull()) line_brush = CreatePatternBrush(static_cast<HBITMAP>(line_image));
}

about_window_c::~about_window_c() {
  if (button_images) ImageList_Destroy(button_images);
  if (line_brush) DeleteObject(line_brush);
  if (background_brush) DeleteObject(background_brush);
}

int about_window_c::show(HWND owner) { return dialog_parts::show_modal(*this, owner); }

std::wstring about_window_c::build_information(const std::wstring& format) {
  // fill_text only substitutes placeholders; a damaged text can never read past them.
  std::wstring text = fill_text(format, {L"", widen(__DATE__), widen(__TIME__)});
  if (text.size() > 1023) text.resize(1023);
  return text;
}

std::wstring about_window_c::updater_path() {
  std::wstring path = program_dir;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + L"update\\update.exe";
}

LRESULT about_window_c::on_init_dialog(UINT, WPARAM, LPARAM, BOOL&) {
  dialog_parts::set_up_buttons(*this, IDB_ABOUT_BUTTON, IDB_ABOUT_BUTTON_PRESSED, IDB_ABOUT_BUTTON_HOVER,
                               application_font(L"Verdana", 8, false), true);
  first_button.SetWindowText(lookup_text("about_btn_check").c_str());
  second_button.SetWindowText(lookup_text("about_btn_bk").c_str());
  dialog_parts::move_control(m_hWnd, 1, 340, 210);
  dialog_parts::move_control(m_hWnd, 2, 340, 250);
  dialog_parts::place_dialog(*this, kWidth, kHeight);
  return TRUE;
}

void about_window_c::paint_caption(memory_surface& surface, const RECT&) {
  HDC dc = surface.surface;
  if (!picture.IsNull()) picture.BitBlt(dc, 20, 30);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour = SetTextColor(dc, RGB(255, 255, 255));
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Arial", 25, true));
  draw_text_at(dc, 90, 49, lookup_text("about_name"));
  SelectObject(dc, old_font);
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
  if (line_brush) {
    RECT line = {5, kHeader - line_image.GetHeight(), 490, kHeader};
    FillRect(dc, &line, line_brush);
  }
}

LRESULT about_window_c::on_erase_background(UINT, WPARAM wparam, LPARAM, BOOL&) {
  HDC dc = reinterpret_cast<HDC>(wparam);
  RECT client;
  GetClientRect(&client);
  FillRect(dc, &client, background_brush);
  FillRect(dc, &kPanel, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  return TRUE;
}

LRESULT about_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(&ps);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 8, false));
  SetTextColor(dc, RGB(255, 255, 255));
  draw_text_at(dc, 15, 5, lookup_text("about_copyright"));
  draw_text_at(dc, 15, 65, lookup_text("about_information"));
  SetTextColor(dc, RGB(0, 0, 0));
  const std::wstring info = build_information(lookup_text("about_info"));
  RECT panel = {kPanel.left + 5, kPanel.top + 10, kPanel.right - 5, kPanel.bottom - 10};
  draw_wrapped_text(dc, info.c_str(), panel, 6, 0);
  SelectObject(dc, old_font);
  SetBkMode(dc, old_mode);
  EndPaint(&ps);
  return 0;
}

LRESULT about_window_c::on_update(WORD, WORD, HWND, BOOL&) {
  ShellExecuteW(nullptr, nullptr, updater_path().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  EndDialog(1);
  return 0;
}

LRESULT about_window_c::on_close(WORD, WORD, HWND, BOOL&) {
  EndDialog(2);
  return 0;
}
