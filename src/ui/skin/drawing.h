// Shared drawing helpers of the skin: skin bitmaps from the program's resources,
// drawing them at their natural size, and word-wrapped text.
#pragma once
#include <windows.h>

#include "imaging/image.h"
#include "ui/skin/memory_surface.h"

// The colour of the page background (skin bitmap 117) below its top band: controls on the
// pages' panels are painted in it.
constexpr COLORREF kPageColour = RGB(245, 250, 253);

// Loads bitmap resource `id` of the program as a DIB section at its natural size into
// `image` (emptied first). A missing id leaves the image empty and returns false.
bool load_skin_bitmap(CImage& image, int id);

// The whole image at (x, y) in its own size; an empty image draws nothing.
void draw_image(HDC dc, const CImage& image, int x, int y);

// Draws `text` inside `rect`, wrapping at spaces, tabs and line feeds (a word longer
// than the line is broken where it overflows), `line_gap` pixels between lines, with
// the font, colour and background mode selected in `dc`. A text that fits on one line
// is drawn with DrawText and `format` (e.g. DT_VCENTER). Lines that don't fit
// completely above rect.bottom are not drawn. On return rect.bottom is the bottom of
// the last line laid out; an empty text leaves `rect` unchanged. With DT_RTLREADING in
// `format` (and DT_RIGHT) every line is read right to left and aligned to rect.right.
void draw_wrapped_text(HDC dc, const wchar_t* text, RECT& rect, int line_gap, UINT format);

// The height draw_wrapped_text lays `text` out in, `width` wide with room to spare: from
// the top of the first line to the bottom of the last; 0 for an empty text.
int wrapped_text_height(HDC dc, const wchar_t* text, int width, int line_gap);
