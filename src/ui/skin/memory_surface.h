// An off-screen surface for one paint: everything drawn on `surface`, in the target's
// own coordinates, reaches the target's `area` in one block transfer when the surface
// closes (at the latest when it goes out of scope).
#pragma once
#include <windows.h>

struct memory_surface {
  HDC target;
  RECT area;
  HDC surface;
  HBITMAP bitmap;
  HGDIOBJ previous;

  memory_surface(HDC target_dc, const RECT& covered);
  ~memory_surface() { close(); }
  memory_surface(const memory_surface&) = delete;
  memory_surface& operator=(const memory_surface&) = delete;

  operator HDC() const { return surface; }
  // Copies the area to the target and frees the surface; later calls do nothing.
  void close();
};

// Answers WM_PAINT for `window` through one surface over its client area: `draw` is
// called as draw(surface, client) and the result reaches the screen in one transfer.
template <class Draw>
void paint_buffered(HWND window, Draw draw) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  {
    memory_surface surface(dc, client);
    draw(surface, client);
  }
  EndPaint(window, &ps);
}
