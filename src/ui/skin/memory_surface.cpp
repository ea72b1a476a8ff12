#include "ui/skin/memory_surface.h"

memory_surface::memory_surface(HDC target_dc, const RECT& covered)
    : target(target_dc), area(covered), surface(nullptr), bitmap(nullptr), previous(nullptr) {
  surface = ::CreateCompatibleDC(target);
  if (!surface) return;
  bitmap = ::CreateCompatibleBitmap(target, area.right - area.left, area.bottom - area.top);
  if (bitmap) previous = ::SelectObject(surface, bitmap);
  ::SetViewportOrgEx(surface, -area.left, -area.top, nullptr);
}

void memory_surface::close() {
  if (!surface) return;
  if (bitmap) {
    ::BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, surface, area.left,
             area.top, SRCCOPY);
    ::SelectObject(surface, previous);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(surface);
  surface = nullptr;
  bitmap = nullptr;
  previous = nullptr;
}
