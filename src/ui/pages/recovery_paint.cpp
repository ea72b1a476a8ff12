// Painting the recovery page: panels, progress, the pending-previews note and the info
// panel. Texts wrap within their room instead of running out of it, and in a language
// read right to left the info panel's columns are mirrored and its texts right-aligned.
#include "ui/pages/recovery_window.h"

#include <ctime>
#include <string>

#include "base/ansi_text.h"
#include "i18n/language.h"
#include "session/found_file_list.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/memory_surface.h"
#include "ui/skin/text_box.h"

namespace {
const COLORREF kTitleColour = RGB(65, 113, 184);
const COLORREF kValueColour = RGB(66, 90, 138);
const RECT kBar = {62, 32, 322, 47};
const wchar_t kUnknown[] = L"Unknown";

// Local time as "%Y/%m/%d %H:%M"; "Unknown" for no time and for one the runtime can't
// convert (before 1970 or after the year 3000).
std::wstring format_timestamp(int64_t seconds) {
  if (seconds <= 0 || seconds > 32503680000LL) return kUnknown;
  __time64_t value = seconds;
  struct tm parts = {};
  if (_localtime64_s(&parts, &value) != 0) return kUnknown;
  wchar_t text[32];
  return wcsftime(text, 32, L"%Y/%m/%d %H:%M", &parts) ? text : kUnknown;
}

struct FocusedFacts {
  std::wstring created, camera, size;
};

bool read_focused(int index, FocusedFacts& facts) {
  FoundFile record;
  {
    ListLock hold;
    if (index < 0 || static_cast<size_t>(index) >= g_found_files.records.size()) return false;
    record = g_found_files.records[static_cast<size_t>(index)];
  }
  record.camera[sizeof record.camera - 1] = '\0';
  facts.created = format_timestamp(record.timestamp);
  facts.camera = record.camera[0] ? ansi_to_wide(record.camera) : kUnknown;
  facts.size = record.width && record.height ? std::to_wstring(record.width) + L"x" + std::to_wstring(record.height)
                                             : kUnknown;
  return true;
}

bool thumbnails_pending() {
  ListLock hold;
  return g_found_files.thumbnail_cursor < g_found_files.records.size();
}

int text_extent(HDC dc, const std::wstring& text) {
  SIZE extent = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  return extent.cx;
}

// Where the values of a column of labels start: `standard`, or further right when a label
// is wider, but never past `limit` (labels beyond that wrap).
int value_column(HDC dc, std::initializer_list<std::wstring> labels, int left, int standard, int limit) {
  int x = standard;
  for (const std::wstring& label : labels)
    if (left + text_extent(dc, label) + 6 > x) x = left + text_extent(dc, label) + 6;
  return x < limit ? x : limit;
}

// The info panel between `left` and `right`, mirrored when the language reads right to left.
struct InfoPanel {
  int left, right;
  bool mirrored;
  int mirror(int x) const { return mirrored ? left + right - x : x; }
  // Text in [from, to) at y; the bottom of its last line.
  int text(HDC dc, const std::wstring& s, int from, int to, int y) const {
    return mirrored ? draw_label(dc, s, mirror(to), y, mirror(from)) : draw_label(dc, s, from, y, to);
  }
  void picture(HDC dc, const CImage& image, int x, int y) const {
    draw_image(dc, image, mirrored ? mirror(x + image.GetWidth()) : x, y);
  }
  void line(HDC dc, HBRUSH brush, int from, int to, int y) const {
    RECT r = {mirrored ? mirror(to) : from, y, mirrored ? mirror(from) : to, y + 1};
    FillRect(dc, &r, brush);
  }
};

int max_of(int a, int b) { return a > b ? a : b; }

// A text that must stay on its line above `limit` moves up when it needs more lines.
int lifted_top(int top, int height, int limit, int ceiling) {
  if (top + height <= limit) return top;
  return max_of(ceiling, limit - height);
}
}  // namespace

int recovery_window_c::shown_percent() const {
  int percent = static_cast<int>(bar_fraction * 100);
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (percent == 100 && !scan_complete) percent = 99;
  return percent;
}

LRESULT recovery_window_c::on_paint(UINT, WPARAM, LPARAM, BOOL&) {
  paint_buffered(m_hWnd, [this](memory_surface& surface, const RECT& client) { paint_page(surface, client); });
  return 0;
}

void recovery_window_c::paint_page(HDC dc, const RECT& client) {
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  draw_image(dc, background, 0, 0);
  const RECT panels[4] = {{10, 10, client.right - 10, 70},
                          {10, 80, 160, 425},
                          {170, 80, 600, 425},
                          {599, 80, client.right - 10, 425}};
  for (const RECT& panel : panels) FrameRect(dc, &panel, line_brush);
  RECT band = {0, 435, client.right, client.bottom};
  FillRect(dc, &band, light_brush);
  draw_image(dc, magnifier, 12, 12);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 8, false));
  paint_progress(dc, client);
  paint_info(dc, client);
  SelectObject(dc, old_font);
  SetBkMode(dc, old_mode);
}

void recovery_window_c::paint_progress(HDC dc, const RECT& client) {
  const uint64_t total = shown.sectors_total, done = shown.sectors_done;
  if (total != 0) {
    const float f = done >= total ? 1.0f : static_cast<float>(done) / static_cast<float>(total);
    if (f > highest_fraction) highest_fraction = f;
    bar_fraction = highest_fraction;
  }
  const int percent = shown_percent();
  FillRect(dc, &kBar, light_brush);
  RECT filled = {kBar.left, kBar.top, kBar.left + (kBar.right - kBar.left) * percent / 100, kBar.bottom};
  SetBrushOrgEx(dc, kBar.left, kBar.top, nullptr);
  if (progress_brush) FillRect(dc, &filled, progress_brush);
  SetTextColor(dc, RGB(0, 0, 0));
  const std::wstring shown = std::to_wstring(percent) + L"%";
  RECT bar = kBar;
  DrawTextW(dc, shown.c_str(), -1, &bar, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

  std::wstring status = total != 0 ? fill_text(lookup_text("recovery_sector"), {std::to_wstring(done), std::to_wstring(total)})
                                   : lookup_text("recovery_wait");
  if (status.size() > 127) status.resize(127);
  const int status_right = (language_code() == L"de" ? 400 : 350) - 6;
  const int status_top = lifted_top(20, wrapped_height(dc, status, status_right - 62), kBar.top, 11);
  draw_label(dc, status, 62, status_top, status_right);

  if (!thumbnails_pending()) return;
  static const wchar_t* const kDots[3] = {L".", L"..", L"..."};
  const std::wstring note = lookup_text("gen_preview") + kDots[std::time(nullptr) % 3];
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 10, true));
  SetTextColor(dc, RGB(255, 0, 0));
  const bool de_fr = language_code() == L"de" || language_code() == L"fr";
  const int left = de_fr ? 600 : 550;
  const int right = client.right - 15;
  draw_label(dc, note, left, lifted_top(30, wrapped_height(dc, note, right - left), 68, 12), right);
  SelectObject(dc, old_font);
}

// Rows keep their places unless the row above needed more lines.
void recovery_window_c::paint_info(HDC dc, const RECT& client) {
  const int r = client.right;
  const int left = r - 180, right = r - 15;
  const InfoPanel panel = {left, right, right_to_left()};
  const std::wstring created = lookup_text("recovery_created"), model = lookup_text("recovery_model"),
                     size = lookup_text("recovery_size"), total = lookup_text("recovery_total"),
                     selected = lookup_text("recovery_selected");

  // File information.
  panel.picture(dc, file_icon, left, 90);
  HGDIOBJ old_font = SelectObject(dc, application_font(L"Verdana", 9, true));
  SetTextColor(dc, kTitleColour);
  int bottom = panel.text(dc, lookup_text("recovery_file_info"), r - 160, right, 91);
  SelectObject(dc, application_font(L"Verdana", 8, false));
  FocusedFacts facts;
  const bool focused = read_focused(focused_item, facts);
  const int file_values = value_column(dc, {created, model, size}, left, r - 120, r - 80);
  const std::wstring* labels[3] = {&created, &model, &size};
  const std::wstring* values[3] = {&facts.created, &facts.camera, &facts.size};
  const int rows[3] = {115, 133, 151};
  for (int i = 0; i < 3; ++i) {
    const int y = max_of(rows[i], bottom + 5);
    SetTextColor(dc, RGB(0, 0, 0));
    bottom = panel.text(dc, *labels[i], left, file_values - 6, y);
    SetTextColor(dc, kValueColour);
    if (focused) bottom = max_of(bottom, panel.text(dc, *values[i], file_values, right, y));
  }
  const int shift = max_of(0, bottom + 8 - 180);  // how far the selection part moves down
  panel.line(dc, line_brush, left, r - 20, 180 + shift);

  // Selection.
  panel.picture(dc, hand_icon, left, 190 + shift);
  SelectObject(dc, application_font(L"Verdana", 9, true));
  SetTextColor(dc, kTitleColour);
  bottom = panel.text(dc, lookup_text("recovery_selection"), r - 160, right, 191 + shift);
  SelectObject(dc, application_font(L"Verdana", 8, false));
  const int count_values = value_column(dc, {total, selected}, left, r - 100, r - 60);
  const std::wstring* count_labels[2] = {&total, &selected};
  const int counts[2] = {view_count, selected_count};
  const int count_rows[2] = {216 + shift, 234 + shift};
  for (int i = 0; i < 2; ++i) {
    const int y = max_of(count_rows[i], bottom + 5);
    SetTextColor(dc, RGB(0, 0, 0));
    bottom = panel.text(dc, *count_labels[i], left, count_values - 6, y);
    SetTextColor(dc, kValueColour);
    bottom = max_of(bottom, panel.text(dc, std::to_wstring(counts[i]), count_values, right, y));
  }
  panel.line(dc, line_brush, left, r - 20, max_of(280 + shift, bottom + 8));

  // The hint below the recover button: moved up rather than cut when it is long.
  SetTextColor(dc, RGB(0, 0, 0));
  const std::wstring hint = lookup_text("recovery_text");
  const int hint_left = 605, hint_right = r - 15;
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  const int line_height = metrics.tmHeight > 0 ? metrics.tmHeight : 13;
  const int lines = (wrapped_height(dc, hint, hint_right - hint_left) + line_height - 1) / line_height;
  const int spaced = lines * (line_height + 5) - 5;
  if (!panel.mirrored && 340 + spaced <= 420) {
    RECT box = {hint_left, 340, hint_right, 425};  // a little slack: this wrapping may break a word earlier
    draw_wrapped_text(dc, hint.c_str(), box, 5, 0);
  } else {
    draw_label(dc, hint, hint_left, lifted_top(340, wrapped_height(dc, hint, hint_right - hint_left), 420, 332),
               hint_right);
  }
  SelectObject(dc, old_font);
}
