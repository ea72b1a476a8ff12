// The options page's picture: background, headings, hints, kind icons and frames, with
// every text wrapped inside the page and, in Arabic, aligned right and read right to left.
#include <algorithm>

#include "i18n/language.h"
#include "ui/pages/option_window.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/text_box.h"

namespace {

constexpr int kMargin = 60;  // the page's texts keep this distance from both sides
constexpr int kBulletWidth = 5;

struct Text {
  const char* key;
  int x, y;
  int right;  // the box ends here (0: at the page's margin), under the controls it heads
};

void set_font(HDC dc, const wchar_t* face, int points, bool bold, COLORREF colour) {
  SelectObject(dc, application_font(face, points, bold));
  SetTextColor(dc, colour);
}

int text_width(HDC dc, const std::wstring& text) {
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// A radio button's label stays beside its button: its box is only as wide as the text,
// at most up to `right`.
void draw_radio_label(HDC dc, const char* key, int x, int y, int right) {
  const std::wstring text = lookup_text(key);
  draw_label(dc, text, x, y, std::min(right, x + text_width(dc, text) + 1));
}

void draw_text(HDC dc, const Text& text, int page_right) {
  const int right = text.right ? std::min(text.right, page_right) : page_right;
  draw_label(dc, lookup_text(text.key), text.x, text.y, right);
}

void frame(HDC dc, HBRUSH brush, int left, int top, int right, int bottom) {
  RECT box = {left, top, right, bottom};
  FrameRect(dc, &box, brush);
}

}  // namespace

void option_window_c::paint_page(HDC dc, const RECT& client) {
  const int width = client.right - client.left;
  const int right = std::max(width - kMargin, kMargin + 100);
  const bool mirrored = right_to_left();
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  draw_image(dc, background, 0, 0);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));

  set_font(dc, L"Verdana", 10, true, RGB(71, 130, 195));
  // Boxes as wide as the controls below them: the volume list with Refresh, the camera
  // list, the kinds' frame.
  for (const Text& title : {Text{"option_title1", 60, 20, 0}, Text{"option_title2", 60, 109, 568},
                            Text{"option_title3", 60, 185, 458}, Text{"option_title4", 60, 246, 460}})
    draw_text(dc, title, right);
  draw_radio_label(dc, "option_title5", 80, 312, 265);
  draw_radio_label(dc, "cache_folder", 290, 312, right);

  // The three hints with their bullets; a hint that wraps pushes the next one down.
  set_font(dc, L"Arial", 8, false, RGB(0, 0, 0));
  int next_top = 0;
  for (const Text& hint : {Text{"option_text1", 78, 42, 0}, Text{"option_text2", 78, 60, 0},
                           Text{"option_text3", 78, 78, 0}}) {
    const int top = std::max(hint.y, next_top);
    const int bullet_x = mirrored ? width - 66 - kBulletWidth : 66;
    draw_image(dc, bullet, bullet_x, top + 5);
    if (mirrored) next_top = draw_label(dc, lookup_text(hint.key), kMargin, top, width - hint.x);
    else next_top = draw_label(dc, lookup_text(hint.key), hint.x, top, right);
  }

  set_font(dc, L"Verdana", 8, false, RGB(91, 135, 201));
  draw_text(dc, Text{"option_text4", 60, 156, 568}, right);
  draw_text(dc, Text{"option_text5", 60, 363, 678}, right);  // under the edit with its buttons

  draw_image(dc, kind_icons[0], 70, 273);
  draw_image(dc, kind_icons[1], 190, 274);
  draw_image(dc, kind_icons[2], 330, 274);
  frame(dc, frame_brush, 60, 265, 460, 296);
  frame(dc, frame_brush, 59, 337, 461, 360);

  set_font(dc, L"Verdana", 10, true, RGB(255, 126, 0));
  draw_text(dc, Text{"option_text6", 60, 395, 0}, right);

  RECT band = {client.left, 435, client.right, client.bottom};
  FillRect(dc, &band, band_brush);
  SelectObject(dc, old_font);
  SetBkMode(dc, old_mode);
}
