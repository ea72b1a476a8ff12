#include "ui/skin/text_box.h"

#include "i18n/language.h"
#include "ui/skin/drawing.h"

bool right_to_left() { return language_code() == L"ar"; }

UINT reading_flags() { return right_to_left() ? DT_RIGHT | DT_RTLREADING : DT_LEFT; }

// Both go through the skin's own line breaker: it breaks a word wider than the box (a
// Japanese sentence has no blanks), and it anchors right-to-left lines at the box's
// right edge by their shaped width.
int wrapped_height(HDC dc, const std::wstring& text, int width) {
  return wrapped_text_height(dc, text.c_str(), width, 0);
}

int draw_label(HDC dc, const std::wstring& text, int x, int y, int right) {
  if (text.empty()) return y;
  RECT box = {x, y, right, y + wrapped_height(dc, text, right - x)};
  draw_wrapped_text(dc, text.c_str(), box, 0, reading_flags() | DT_NOPREFIX);
  return box.bottom;
}
