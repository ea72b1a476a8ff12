// Drives a skinned dialog from a second process, as a user would: finds it by title,
// checks its frame, size, controls and labels, then ends it with a key, a button or the
// caption close button. Exit code 0 when every check held, else the number of failures
// (100 when the dialog never appeared).
//
//   dialog_driver --title=T --size=WxH [--control=ID@X,Y] [--hidden=ID] [--text=ID:TEXT]
//                 [--action=enter|escape|close|click1|click2|none] [--frame=CAPTION_HEIGHT]
//                 [--text-rows=FIRST,LAST] [--icon=0|1]
// Started as update.exe (a stand-in updater) it only leaves a file "ran.txt" beside itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int failures = 0;

void fail(const wchar_t* what, long expected, long actual) {
  ++failures;
  std::fwprintf(stdout, L"driver: %ls: expected %ld, got %ld\n", what, expected, actual);
  std::fflush(stdout);
}

bool starts_with(const std::wstring& text, const wchar_t* prefix, std::wstring& rest) {
  const size_t n = std::wcslen(prefix);
  if (text.compare(0, n, prefix) != 0) return false;
  rest = text.substr(n);
  return true;
}

HWND find_dialog(const std::wstring& title) {
  for (int waited = 0; waited < 15000; waited += 50) {
    HWND found = FindWindowW(L"#32770", title.c_str());
    if (found && IsWindowVisible(found)) return found;
    Sleep(50);
  }
  return nullptr;
}

// Client coordinates of a control's top-left corner.
POINT control_origin(HWND dialog, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  POINT p = {r.left, r.top};
  ScreenToClient(dialog, &p);
  return p;
}

std::wstring control_text(HWND dialog, int id) {
  wchar_t text[512] = {};
  SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

// A copy of the dialog's pixels as they are on the screen.
struct capture {
  int width = 0, height = 0;
  std::vector<DWORD> pixels;  // top-down 0x00RRGGBB

  COLORREF at(int x, int y) const {
    const DWORD p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

capture grab(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  capture c;
  c.width = r.right - r.left;
  c.height = r.bottom - r.top;
  c.pixels.resize(static_cast<size_t>(c.width) * c.height);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), c.width, -c.height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, c.width, c.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::memcpy(c.pixels.data(), bits, c.pixels.size() * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return c;
}

// Waits until the frame and the client area are painted, then copies them.
capture grab_painted(HWND dialog) {
  capture c;
  for (int waited = 0; waited < 5000; waited += 100) {
    c = grab(dialog);
    if (c.width > 2 && c.at(0, 0) == RGB(66, 90, 138) && c.at(1, 1) == RGB(139, 184, 241)) break;
    Sleep(100);
  }
  Sleep(300);
  return grab(dialog);
}

// Where the client area starts inside the window (the frame and caption above and left).
POINT client_offset(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  POINT origin = {0, 0};
  ClientToScreen(dialog, &origin);
  return {origin.x - r.left, origin.y - r.top};
}

void check_frame(HWND dialog, int caption_height) {
  const capture c = grab_painted(dialog);
  const COLORREF outer = RGB(66, 90, 138), caption = RGB(139, 184, 241);
  struct probe { int x, y; COLORREF colour; const wchar_t* what; } probes[] = {
      {0, 0, outer, L"outer ring top-left"},
      {c.width - 1, c.height - 1, outer, L"outer ring bottom-right"},
      {1, 1, caption, L"inner ring"},
      {5, 28, caption, L"caption band left of the title"},
      {c.width - 45, 8, caption, L"caption band left of the close button"},
  };
  for (const probe& p : probes)
    if (c.at(p.x, p.y) != p.colour) fail(p.what, static_cast<long>(p.colour), static_cast<long>(c.at(p.x, p.y)));
  // The close picture's cross is white where its strokes meet.
  const int fx = GetSystemMetrics(SM_CXDLGFRAME), fy = GetSystemMetrics(SM_CYDLGFRAME);
  const COLORREF centre = c.at(c.width - fx - 16, fy + 10);
  if (GetRValue(centre) < 200 || GetBValue(centre) < 200) fail(L"close button cross (red)", 200, GetRValue(centre));
  const POINT client = client_offset(dialog);
  if (client.y != fy + caption_height) fail(L"client top below the caption", fy + caption_height, client.y);
}

// The message icon covers (15, 30)-(63, 78) of the client area, or nothing is there.
void check_icon(HWND dialog, bool expected) {
  const capture c = grab_painted(dialog);
  const POINT client = client_offset(dialog);
  const int dx = client.x, dy = client.y;
  const COLORREF background = RGB(226, 240, 253);
  if (c.at(dx + 10, dy + 54) != background) fail(L"background left of the icon", 1, 0);
  if (c.at(dx + 15, dy + 30) != background) fail(L"icon corner carries the background", 1, 0);
  const bool drawn = c.at(dx + 39, dy + 54) != background;
  if (drawn != expected) fail(L"icon drawn at (15, 30)", expected, drawn);
}

// Rows of the message text area (client x 80 to 272) that carry ink must lie within
// [first, last], and there must be some.
void check_text_rows(HWND dialog, int first, int last) {
  const capture c = grab_painted(dialog);
  const POINT client = client_offset(dialog);
  const int dx = client.x, dy = client.y;
  const COLORREF background = RGB(226, 240, 253);
  int top = -1, bottom = -1;
  for (int y = 0; y < 130; ++y) {
    for (int x = 80; x < 272; ++x) {
      const COLORREF p = c.at(dx + x, dy + y);
      if (std::abs(GetRValue(p) - GetRValue(background)) + std::abs(GetGValue(p) - GetGValue(background)) > 60) {
        if (top < 0) top = y;
        bottom = y;
        break;
      }
    }
  }
  std::fwprintf(stdout, L"driver: text ink rows %d to %d\n", top, bottom);
  if (top < 0) fail(L"message text drawn", 1, 0);
  else if (top < first) fail(L"first text row", first, top);
  if (bottom > last) fail(L"last text row", last, bottom);
}

void click_close(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  const LPARAM at = MAKELPARAM(r.right - GetSystemMetrics(SM_CXDLGFRAME) - 15,
                               r.top + GetSystemMetrics(SM_CYDLGFRAME) + 10);
  PostMessageW(dialog, WM_NCMOUSEMOVE, HTCLOSE, at);
  PostMessageW(dialog, WM_NCLBUTTONDOWN, HTCLOSE, at);
  PostMessageW(dialog, WM_NCLBUTTONUP, HTCLOSE, at);
}

void act(HWND dialog, const std::wstring& action) {
  if (action == L"enter") {
    PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
  } else if (action == L"escape") {
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  } else if (action == L"close") {
    click_close(dialog);
  } else if (action == L"click1" || action == L"click2") {
    PostMessageW(GetDlgItem(dialog, action == L"click1" ? 1 : 2), BM_CLICK, 0, 0);
  }
}

int stand_in_updater(const wchar_t* self) {
  std::wstring marker = self;
  marker = marker.substr(0, marker.find_last_of(L"\\/") + 1) + L"ran.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring self = argv[0];
  if (self.size() >= 10 && _wcsicmp(self.c_str() + self.size() - 10, L"update.exe") == 0)
    return stand_in_updater(argv[0]);

  std::wstring title = L"Orvalin", action = L"none", rest;
  int width = 0, height = 0;
  int frame = 0;
  int rows_first = -1, rows_last = -1, icon = -1;
  std::vector<std::wstring> checks;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (starts_with(arg, L"--title=", rest)) title = rest;
    else if (starts_with(arg, L"--size=", rest)) swscanf(rest.c_str(), L"%dx%d", &width, &height);
    else if (starts_with(arg, L"--action=", rest)) action = rest;
    else if (starts_with(arg, L"--frame=", rest)) frame = _wtoi(rest.c_str());
    else if (starts_with(arg, L"--icon=", rest)) icon = _wtoi(rest.c_str());
    else if (starts_with(arg, L"--text-rows=", rest))
      swscanf(rest.c_str(), L"%d,%d", &rows_first, &rows_last);
    else checks.push_back(arg);
  }

  HWND dialog = find_dialog(title);
  if (!dialog) {
    std::fwprintf(stdout, L"driver: no dialog titled %ls\n", title.c_str());
    return 100;
  }
  RECT r;
  GetWindowRect(dialog, &r);
  if (width && r.right - r.left != width) fail(L"window width", width, r.right - r.left);
  if (height && r.bottom - r.top != height) fail(L"window height", height, r.bottom - r.top);

  for (const std::wstring& check : checks) {
    int id = 0, x = 0, y = 0;
    if (starts_with(check, L"--control=", rest) && swscanf(rest.c_str(), L"%d@%d,%d", &id, &x, &y) == 3) {
      const POINT p = control_origin(dialog, id);
      if (p.x != x) fail(L"control x", x, p.x);
      if (p.y != y) fail(L"control y", y, p.y);
      if (!IsWindowVisible(GetDlgItem(dialog, id))) fail(L"control visible", 1, 0);
    } else if (starts_with(check, L"--hidden=", rest)) {
      // Left outside the window: no part of it lies inside the client area.
      id = _wtoi(rest.c_str());
      RECT client, control;
      GetClientRect(dialog, &client);
      GetWindowRect(GetDlgItem(dialog, id), &control);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control), 2);
      RECT overlap;
      if (IntersectRect(&overlap, &client, &control)) fail(L"control outside the window", 0, control.left);
    } else if (starts_with(check, L"--text=", rest)) {
      id = _wtoi(rest.c_str());
      const std::wstring wanted = rest.substr(rest.find(L':') + 1);
      if (control_text(dialog, id) != wanted) fail(L"control label matches", 1, 0);
    }
  }
  if (frame) check_frame(dialog, frame);
  if (icon >= 0) check_icon(dialog, icon != 0);
  if (rows_first >= 0) check_text_rows(dialog, rows_first, rows_last);
  act(dialog, action);
  return failures;
}
