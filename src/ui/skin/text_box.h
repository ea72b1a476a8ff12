// Page and dialog texts that never get cut off: a text wider than its box wraps inside
// it, and in a right-to-left language it is aligned to the box's right edge and read
// right to left.
#pragma once
#include <windows.h>

#include <string>

// True when the interface language reads right to left (Arabic).
bool right_to_left();

// The DrawText flags of the reading direction: DT_RIGHT | DT_RTLREADING right to left.
UINT reading_flags();

// Draws `text` from (x, y) within [x, right) with the font and colour selected in `dc`,
// wrapping at word boundaries when it is wider than the box (a word wider than the box
// breaks where it overflows), right-aligned and read right to left in Arabic. Returns
// the bottom of the last line drawn.
int draw_label(HDC dc, const std::wstring& text, int x, int y, int right);

// The height `text` takes when wrapped into `width` pixels with the font of `dc`.
int wrapped_height(HDC dc, const std::wstring& text, int width);
