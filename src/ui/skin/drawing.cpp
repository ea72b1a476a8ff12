#include "ui/skin/drawing.h"

#include "framework/module.h"

bool load_skin_bitmap(CImage& image, int id) {
  image.Destroy();
  return image.LoadFromResource(g_module.GetResourceInstance(), static_cast<UINT>(id));
}

void draw_image(HDC dc, const CImage& image, int x, int y) {
  if (image.IsNull()) return;
  image.Draw(dc, x, y, image.GetWidth(), image.GetHeight());
}

namespace {

// Tab stops every 8 pixels.
const int kTabStops[1] = {8};

bool is_break(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

// Chinese and Japanese are written without spaces: a line may end between two of their
// characters, but not before closing punctuation or the prolonged-sound mark.
bool is_cjk(wchar_t c) {
  return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}
bool may_not_start_line(wchar_t c) {
  static const wchar_t kClosing[] = L"\x3001\x3002\xFF0C\xFF0E\x300D\x300F\xFF09\x3011\x30FC\xFF01\xFF1F\x30FB";
  for (const wchar_t* p = kClosing; *p; ++p)
    if (*p == c) return true;
  return false;
}
bool may_break_before(const wchar_t* text, int k) {
  return (is_cjk(text[k - 1]) || is_cjk(text[k])) && !may_not_start_line(text[k]) && !is_break(text[k]);
}

// The line's characters without a closing line feed (or CR LF), which has no picture.
int drawn_length(const wchar_t* line, int length) {
  while (length > 0 && (line[length - 1] == L'\n' || line[length - 1] == L'\r')) --length;
  return length;
}

// Draws one laid-out line from (rect.left, y) left to right with tab expansion, or, when
// `format` asks for right-to-left reading, read right to left from rect.right: the text
// is anchored at its right end, so the shaped (joined) width decides where it starts.
void draw_line(HDC dc, const RECT& rect, int y, const wchar_t* line, int length, UINT format) {
  length = drawn_length(line, length);
  if (length <= 0) return;
  if (format & DT_RTLREADING) {
    const UINT old_align = ::SetTextAlign(dc, TA_RIGHT | TA_TOP | TA_RTLREADING);
    ::ExtTextOutW(dc, rect.right, y, ETO_RTLREADING, nullptr, line, length, nullptr);
    ::SetTextAlign(dc, old_align);
  } else {
    ::TabbedTextOutW(dc, rect.left, y, line, length, 1, kTabStops, rect.left);
  }
}

struct WrappedLine {
  int end;     // index after the line's last character
  int height;  // the tallest character of the line
  bool last;   // the rest of the text fits on this line
};

// Lays out the line that starts at `start`: characters are measured one at a time until
// the sum exceeds `width` or a line feed ends the line; the line then ends after its last
// space, tab or line feed or between two Chinese or Japanese characters, else before the
// overflowing character, and holds at least one character so that a line narrower than a
// single character still makes progress.
WrappedLine next_line(HDC dc, const wchar_t* text, int n, int start, int width) {
  int height = 0;
  int sum = 0;
  int i = start;
  for (; i < n; ++i) {
    DWORD extent = ::GetTabbedTextExtentW(dc, text + i, 1, 1, kTabStops);
    if (static_cast<int>(HIWORD(extent)) > height) height = HIWORD(extent);
    sum += LOWORD(extent);
    if (sum > width || text[i] == L'\n') break;
  }
  if (i >= n) return {n, height, true};
  int end = i;
  for (int k = i; k >= start; --k) {
    if (is_break(text[k])) {
      end = k + 1;
      break;
    }
    if (k > start && may_break_before(text, k)) {
      end = k;
      break;
    }
  }
  if (end <= start) end = start + 1;
  return {end, height, false};
}

}  // namespace

void draw_wrapped_text(HDC dc, const wchar_t* text, RECT& rect, int line_gap, UINT format) {
  const int n = text ? ::lstrlenW(text) : 0;
  if (n == 0) return;
  int y = rect.top;
  int last_bottom = rect.top;
  for (int start = 0;;) {
    if (start >= n) {  // nothing left after a closing line feed
      rect.bottom = last_bottom;
      return;
    }
    const WrappedLine line = next_line(dc, text, n, start, rect.right - rect.left);
    if (y + line.height > rect.bottom) {  // the rest is not drawn
      rect.bottom = y + line.height;
      return;
    }
    if (line.last && start == 0 && (format & DT_RTLREADING)) {
      const int free = (rect.bottom - rect.top) - line.height;
      draw_line(dc, rect, y + ((format & DT_VCENTER) ? free / 2 : (format & DT_BOTTOM) ? free : 0), text, n, format);
    } else if (line.last && start == 0) {
      RECT box = rect;
      ::DrawTextW(dc, text, drawn_length(text, n), &box, format | DT_SINGLELINE | DT_EXPANDTABS);
    } else {
      draw_line(dc, rect, y, text + start, line.end - start, format);
    }
    last_bottom = y + line.height;
    if (line.last) {
      rect.bottom = last_bottom;
      return;
    }
    y = last_bottom + line_gap;
    start = line.end;
  }
}

int wrapped_text_height(HDC dc, const wchar_t* text, int width, int line_gap) {
  const int n = text ? ::lstrlenW(text) : 0;
  int bottom = 0;
  for (int start = 0, y = 0; start < n;) {
    const WrappedLine line = next_line(dc, text, n, start, width);
    bottom = y + line.height;
    if (line.last) break;
    y = bottom + line_gap;
    start = line.end;
  }
  return bottom;
}
