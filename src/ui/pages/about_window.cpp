#include "ui/pages/about_window.h"

#include <shellapi.h>

#include <algorithm>

#include "base/system_probe.h"
#include "i18n/language.h"
#include "ui/pages/dialog_parts.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/text_box.h"

namespace {
constexpr int kWidth = 500;
constexpr int kHeight = 400;
constexpr int kHeader = 100;
constexpr int kMargin = 15;       // of the texts from the client's sides
constexpr int kCopyrightY = 5;
constexpr int kPanelPadding = 10;  // above and below the build information
constexpr int kLineGap = 6;
constexpr int kTextGap = 4;        // the least room between one text and the next
const int kButtonRows[2] = {210, 250};

std::wstring widen(const char* text) {
  std::wstring wide;
  while (*text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text++));
  return wide;
}

void draw_text_at(HDC dc, int x, int y, const std::wstring& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

HFONT text_font() { return application_font(L"Verdana", 8, false); }

// The build information's place: the panel less its padding.
RECT info_rect(const RECT& panel) {
  return {panel.left + 5, panel.top + kPanelPadding, panel.right - 5, panel.bottom - kPanelPadding};
}

int client_width(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  return client.right;
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

AboutLayout about_window_c::lay_out(int copyright_height, int information_height, int info_height,
                                     int max_height) {
  // Each text keeps its place unless the one above runs into it; the panel grows to
  // hold the build information, and the buttons and the window follow it down.
  AboutLayout layout;
  const RECT own = layout.panel;
  layout.information_y = std::max(layout.information_y, kCopyrightY + copyright_height + kTextGap);
  layout.panel.top = std::max<int>(own.top, layout.information_y + information_height + kTextGap);
  const int panel_height = std::max<int>(own.bottom - own.top, info_height + 2 * kPanelPadding);
  const int shift = std::min<int>(layout.panel.top + panel_height - own.bottom, max_height - layout.height);
  layout.panel.bottom = own.bottom + std::max(0, shift);
  layout.button_shift = std::max(0, shift);
  layout.height += layout.button_shift;
  return layout;
}

std::wstring about_window_c::updater_path() {
  std::wstring path = program_dir;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + L"update\\update.exe";
}

void about_window_c::measure_texts() {
  const int width = kWidth - 2 * frame_width - 2 * kMargin;
  HDC dc = GetDC();
  HGDIOBJ old_font = SelectObject(dc, text_font());
  const int copyright = wrapped_height(dc, lookup_text("about_copyright"), width);
  const int information = wrapped_height(dc, lookup_text("about_information"), width);
  const RECT info = info_rect(layout.panel);
  const int build = wrapped_text_height(dc, build_information(lookup_text("about_info")).c_str(),
                                        info.right - info.left, kLineGap);
  SelectObject(dc, old_font);
  ReleaseDC(dc);
  MONITORINFO monitor = {sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  layout = lay_out(copyright, information, build, monitor.rcWork.bottom - monitor.rcWork.top);
}

LRESULT about_window_c::on_init_dialog(UINT, WPARAM, LPARAM, BOOL&) {
  dialog_parts::set_up_buttons(*this, IDB_ABOUT_BUTTON, IDB_ABOUT_BUTTON_PRESSED, IDB_ABOUT_BUTTON_HOVER,
                               application_font(L"Verdana", 8, false), true);
  first_button.SetWindowText(lookup_text("about_btn_check").c_str());
  second_button.SetWindowText(lookup_text("about_btn_bk").c_str());
  measure_texts();
  dialog_parts::move_control(m_hWnd, 1, 340, kButtonRows[0] + layout.button_shift);
  dialog_parts::move_control(m_hWnd, 2, 340, kButtonRows[1] + layout.button_shift);
  dialog_parts::place_dialog(*this, kWidth, layout.height);
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
  FillRect(dc, &layout.panel, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  return TRUE;
}

LRESULT about_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(&ps);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old_font = SelectObject(dc, text_font());
  SetTextColor(dc, RGB(255, 255, 255));
  const int right = client_width(m_hWnd) - kMargin;
  draw_label(dc, lookup_text("about_copyright"), kMargin, kCopyrightY, right);
  draw_label(dc, lookup_text("about_information"), kMargin, layout.information_y, right);
  SetTextColor(dc, RGB(0, 0, 0));
  const std::wstring info = build_information(lookup_text("about_info"));
  RECT info_box = info_rect(layout.panel);
  draw_wrapped_text(dc, info.c_str(), info_box, kLineGap, reading_flags());
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
