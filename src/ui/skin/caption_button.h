// Caption buttons: windowless buttons in the non-client area of a skinned frame. The
// frame owns them, drives their state from the mouse and draws them; a click calls a
// member function of the window class T.
#pragma once
#include <windows.h>

#include <string>

#include "imaging/image.h"

template <class T>
class button_c {
 public:
  using action = void (T::*)();

  CImage* images = nullptr;  // [0] normal, [1] hover, [2] pressed; owned
  int state = 0;             // 0 normal, 1 hover, 2 pressed: the index into images
  RECT rect = {};            // horizontal extent measured leftwards from the right edge
  std::wstring name;
  action on_click = nullptr;

  button_c() = default;
  button_c(const button_c&) = delete;
  button_c& operator=(const button_c&) = delete;

  virtual void create(HINSTANCE instance, int normal, int hover, int pressed, int left, int top,
                      int right, int bottom, const wchar_t* button_name) {
    load_images(instance, normal, hover, pressed);
    rect = {left, top, right, bottom};
    name = button_name ? button_name : L"";
  }
  // x and y relative to the window's top-left corner; only the size of `window` counts.
  virtual bool hit_test(int x, int y, const RECT& window) const = 0;
  virtual void draw_extra(HDC dc, const RECT& window) = 0;
  virtual void draw(HDC dc, const RECT& window) = 0;
  virtual void load_images(HINSTANCE instance, int normal, int hover, int pressed) {
    delete[] images;
    images = new CImage[3];
    const int ids[3] = {normal, hover, pressed};
    for (int i = 0; i < 3; ++i) images[i].LoadFromResource(instance, ids[i]);
  }
  virtual ~button_c() { delete[] images; }
};

template <class T>
class system_button_c : public button_c<T> {
 public:
  bool hit_test(int x, int y, const RECT& window) const override {
    const int from_right = (window.right - window.left) - x;
    return this->rect.left <= from_right && from_right < this->rect.right && this->rect.top <= y &&
           y < this->rect.bottom;
  }
  void draw_extra(HDC, const RECT&) override {}
  // Opaque, at the picture's natural size, its top-left corner at (W - right, top).
  void draw(HDC dc, const RECT& window) override {
    if (!this->images || this->state < 0 || this->state > 2) return;
    const CImage& image = this->images[this->state];
    if (image.IsNull()) return;
    image.BitBlt(dc, (window.right - window.left) - this->rect.right, this->rect.top);
  }
};
