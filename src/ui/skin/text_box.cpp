#include "ui/skin/text_box.h"

#include "i18n/language.h"

bool right_to_left() { return language_code() == L"ar"; }

UINT reading_flags() { return right_to_left() ? DT_RIGHT | DT_RTLREADING : DT_LEFT; }

int wrapped_height(HDC dc, const std::wstring& text, int width) {
  RECT box = {0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | reading_flags());
  return box.bottom - box.top;
}

int draw_label(HDC dc, const std::wstring& text, int x, int y, int right) {
  if (text.empty()) return y;
  RECT box = {x, y, right, y + wrapped_height(dc, text, right - x)};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_WORDBREAK | DT_NOPREFIX | reading_flags());
  return box.bottom;
}
