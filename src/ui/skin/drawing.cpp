#include "ui/skin/drawing.h"

#include "framework/module.h"

bool load_skin_bitmap(CImage& image, int id) {
  image.Destroy();
  return image.LoadFromResource(_Module.GetResourceInstance(), static_cast<UINT>(id));
}

void draw_image(HDC dc, const CImage& image, int x, int y) {
  if (image.IsNull()) return;
  image.Draw(dc, x, y, image.GetWidth(), image.GetHeight());
}

namespace {

// Tab stops every 8 pixels.
int kTabStops[1] = {8};

bool is_break(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

// The line's characters without a closing line feed (or CR LF), which has no picture.
int drawn_length(const wchar_t* line, int length) {
  while (length > 0 && (line[length - 1] == L'\n' || line[length - 1] == L'\r')) --length;
  return length;
}

void draw_line(HDC dc, int x, int y, const wchar_t* line, int length) {
  length = drawn_length(line, length);
  if (length > 0) ::TabbedTextOutW(dc, x, y, line, length, 1, kTabStops, x);
}

}  // namespace

void draw_wrapped_text(HDC dc, const wchar_t* text, RECT& rect, int line_gap, UINT format) {
  const int n = text ? ::lstrlenW(text) : 0;
  if (n == 0) return;
  const int x = rect.left;
  const int width = rect.right - rect.left;
  int y = rect.top;
  int start = 0;
  int last_bottom = rect.top;
  for (;;) {
    // Measure until the line overflows or a line feed ends it.
    int line_height = 0;
    int sum = 0;
    int i = start;
    for (; i < n; ++i) {
      DWORD extent = ::GetTabbedTextExtentW(dc, text + i, 1, 1, kTabStops);
      if (static_cast<int>(HIWORD(extent)) > line_height) line_height = HIWORD(extent);
      sum += LOWORD(extent);
      if (sum > width || text[i] == L'\n') break;
    }

    if (i >= n) {  // the rest fits on this line
      if (start >= n) {  // nothing left after a closing line feed
        rect.bottom = last_bottom;
        return;
      }
      if (y + line_height <= rect.bottom) {
        if (start == 0) {
          RECT line = rect;
          ::DrawTextW(dc, text, drawn_length(text, n), &line, format | DT_SINGLELINE | DT_EXPANDTABS);
        } else {
          draw_line(dc, x, y, text + start, n - start);
        }
      }
      rect.bottom = y + line_height;
      return;
    }

    // Break after the last space, tab or line feed of the line, else before the
    // overflowing character; at least one character per line, so that a line narrower
    // than a single character still makes progress.
    int end = i;
    for (int k = i; k >= start; --k) {
      if (is_break(text[k])) {
        end = k + 1;
        break;
      }
    }
    if (end <= start) end = start + 1;

    if (y + line_height > rect.bottom) {
      rect.bottom = y + line_height;
      return;
    }
    draw_line(dc, x, y, text + start, end - start);
    last_bottom = y + line_height;
    y += line_height + line_gap;
    start = end;
  }
}
