#include "ui/pages/home_window.h"

#include <string>

#include "../res/resource.h"
#include "i18n/language.h"
#include "session/resume.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/memory_surface.h"
#include "ui/skin/text_box.h"

namespace {
constexpr POINT kStartAt = {60, 105};
constexpr POINT kResumeAt = {420, 105};
constexpr POINT kIllustrationAt = {60, 305};
const RECT kHomeText = {60, 435, 740, 500};
constexpr COLORREF kHomeTextColour = RGB(53, 116, 195);
constexpr COLORREF kHomeTextBackground = kPageColour;

struct CaptionStyle {
  const wchar_t* face;
  int points;
  bool bold;
  int x, y;
};

bool romance_language(const std::wstring& code) { return code == L"fr" || code == L"it" || code == L"es"; }

CaptionStyle start_caption(const std::wstring& code) {
  if (code == L"de") return {L"Verdana", 16, false, 125, 30};
  if (romance_language(code)) return {L"Verdana", 9, true, 125, 35};
  return {L"Verdana", 16, false, 150, 30};
}

CaptionStyle resume_caption(const std::wstring& code) {
  if (code == L"de") return {L"Verdana", 9, true, 102, 40};
  if (romance_language(code)) return {L"Verdana", 9, true, 112, 38};
  return {L"Verdana", 16, false, 112, 30};
}

// The caption starts at its origin; a caption too wide for the rest of the button is
// drawn smaller from the left edge instead (long translations), so it is never cut.
void make_button(bitmap_button_c& button, HWND parent, int id, POINT at, int normal, const char* key,
                 const CaptionStyle& style) {
  RECT place = {at.x, at.y, at.x + 320, at.y + 140};
  button.Create(parent, &place, lookup_text(key).c_str(), 0, 0, static_cast<UINT>(id));
  button.set_images(normal, normal + 1, normal + 2);
  button.text_font = application_font(style.face, style.points, style.bold);
  button.text_color = RGB(255, 255, 255);
  button.text_x = style.x;
  button.text_y = style.y;
  HDC dc = ::GetDC(button);
  HGDIOBJ old = SelectObject(dc, button.text_font);
  const std::wstring text = lookup_text(key);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ::ReleaseDC(button, dc);
  if (style.x + size.cx > 320 - 8) {
    button.text_font = application_font(L"Verdana", 9, true);
    button.text_x = -1;  // centred
  }
  if (right_to_left()) button.text_x = -1;
}
}  // namespace

home_window_c::~home_window_c() { delete resuming; }

bool home_window_c::is_resuming() const { return resuming && resuming->has_thread() && !resuming->wait(0); }

LRESULT home_window_c::on_create(UINT, WPARAM, LPARAM, BOOL&) {
  const std::wstring code = language_code();
  make_button(start_button, m_hWnd, 1, kStartAt, IDB_START_BUTTON, "home_btn_start", start_caption(code));
  make_button(resume_button, m_hWnd, 2, kResumeAt, IDB_RESUME_BUTTON, "home_btn_resume", resume_caption(code));
  load_skin_bitmap(background, IDB_PAGE_BACKGROUND);
  load_skin_bitmap(illustration, IDB_HOME_BANNER);
  resuming = new WorkerThread(resume_thread, m_hWnd);
  return 0;
}

LRESULT home_window_c::on_size(UINT, WPARAM, LPARAM, BOOL&) {
  if (start_button) start_button.SetWindowPos(nullptr, kStartAt.x, kStartAt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  if (resume_button) resume_button.SetWindowPos(nullptr, kResumeAt.x, kResumeAt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  return 0;
}

LRESULT home_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  paint_buffered(m_hWnd, [this](memory_surface& surface, const RECT& client) {
    HDC dc = surface.surface;
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    draw_image(dc, background, 0, 0);
    draw_image(dc, illustration, kIllustrationAt.x, kIllustrationAt.y);
    HGDIOBJ old_font = SelectObject(dc, application_font(L"Arial", 9, false));
    SetTextColor(dc, kHomeTextColour);
    SetBkColor(dc, kHomeTextBackground);
    RECT text_box = kHomeText;
    const std::wstring text = lookup_text("home_text");
    draw_wrapped_text(dc, text.c_str(), text_box, 5, reading_flags());
    SelectObject(dc, old_font);
    paint_wait(client, surface);
  });
  return 0;
}

LRESULT home_window_c::on_start(WORD, WORD, HWND, BOOL&) {
  // While resuming fills the list, a new scan would clear it under the resume thread.
  if (!is_resuming()) ::SendMessageW(owner, kShowOptionsMessage, 0, 0);
  return 0;
}

LRESULT home_window_c::on_resume(WORD, WORD, HWND, BOOL&) {
  if (is_resuming()) return 0;
  if (resuming->has_thread()) resuming->close_handle();
  show_wait();
  if (resuming->start() != 0) hide_wait();
  return 0;
}

LRESULT home_window_c::on_resume_finished(UINT, WPARAM, LPARAM, BOOL&) {
  resuming->wait(INFINITE);
  resuming->close_handle();
  ::SendMessageW(owner, kShowResumedMessage, 0, 0);
  hide_wait();
  return 0;
}
