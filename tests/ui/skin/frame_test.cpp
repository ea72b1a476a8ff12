// The skinned frame and its caption buttons, painted into a memory surface: the rings,
// the caption band and the close picture where the frame puts them, and the caption
// buttons' hit test and state rules.
#include <gtest/gtest.h>
#include <windows.h>

#include "resource.h"
#include "ui/skin/caption_button.h"
#include "ui/skin/ui_window.h"

namespace {

// A frame without a window: enough for painting and for the caption-size rule.
struct bare_frame : ui_window_c<bare_frame> {
  HWND m_hWnd = nullptr;
  int clicks = 0;
  explicit bare_frame(int caption) : ui_window_c<bare_frame>(caption) {}
  void clicked() { ++clicks; }
};

system_button_c<bare_frame>* close_button(bare_frame& frame) {
  auto* button = new system_button_c<bare_frame>;
  button->create(GetModuleHandleW(nullptr), IDB_DIALOG_CLOSE, IDB_DIALOG_CLOSE + 1, IDB_DIALOG_CLOSE + 2,
                 frame.frame_width, frame.frame_height, frame.frame_width + 31, frame.frame_height + 21, L"");
  button->on_click = &bare_frame::clicked;
  frame.buttons.push_back(button);
  return button;
}

// Paints the frame of a w x h window into a fresh bitmap and reads pixels back from it.
struct painted {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  painted(bare_frame& frame, int w, int h) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bitmap);
    const RECT area = {0, 0, w, h};
    RECT white = area;
    FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    memory_surface surface(dc, area);
    frame.compose_frame(surface, area);
  }
  ~painted() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
};

const COLORREF outer = RGB(66, 90, 138);
const COLORREF caption = RGB(139, 184, 241);

}  // namespace

TEST(SkinFrame, DialogFrameHasItsRingsBandAndClosePicture) {
  bare_frame frame(30);
  frame.frame_width = frame.frame_height = 3;
  system_button_c<bare_frame>* close = close_button(frame);
  painted p(frame, 300, 200);

  for (POINT ring : {POINT{0, 0}, POINT{299, 0}, POINT{0, 199}, POINT{299, 199}, POINT{150, 0}, POINT{0, 100}})
    EXPECT_EQ(p.at(ring.x, ring.y), outer) << ring.x << "," << ring.y;
  for (POINT inner : {POINT{1, 1}, POINT{2, 2}, POINT{297, 197}, POINT{1, 150}, POINT{150, 198}})
    EXPECT_EQ(p.at(inner.x, inner.y), caption) << inner.x << "," << inner.y;
  EXPECT_EQ(p.at(3, 3), caption);     // band from (3, 3)
  EXPECT_EQ(p.at(265, 32), caption);  // to the bottom of the 30-pixel caption

  // The close picture sits at (266, 3), 31 x 21, pixel for pixel.
  const CImage& picture = close->images[0];
  for (POINT q : {POINT{0, 0}, POINT{15, 10}, POINT{30, 20}, POINT{12, 7}})
    EXPECT_EQ(p.at(266 + q.x, 3 + q.y), picture.GetPixel(q.x, q.y)) << q.x << "," << q.y;
  EXPECT_NE(p.at(266 + 15, 3 + 10), caption) << "the cross is drawn";
}

TEST(SkinFrame, CaptionSizeMovesTheClientTopByTheExtraHeight) {
  bare_frame frame(100);
  frame.system_caption_height = 19;
  RECT proposed = {0, 0, 800, 600};
  LRESULT result = 0;
  EXPECT_FALSE(frame.process_message(WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed), result));
  EXPECT_EQ(proposed.top, 81);
  bare_frame standard(19);
  standard.system_caption_height = 19;
  RECT same = {0, 0, 800, 600};
  standard.process_message(WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&same), result);
  EXPECT_EQ(same.top, 0);
}

TEST(CaptionButton, HitTestIsMeasuredFromTheRightEdgeAndDrawnThere) {
  system_button_c<bare_frame> button;
  button.rect = {4, 4, 35, 25};
  const RECT window = {100, 50, 400, 250};  // 300 wide; only the size counts
  EXPECT_FALSE(button.hit_test(265, 10, window));
  EXPECT_TRUE(button.hit_test(266, 10, window));
  EXPECT_TRUE(button.hit_test(296, 10, window));
  EXPECT_FALSE(button.hit_test(297, 10, window));
  EXPECT_FALSE(button.hit_test(280, 3, window));
  EXPECT_TRUE(button.hit_test(280, 4, window));
  EXPECT_TRUE(button.hit_test(280, 24, window));
  EXPECT_FALSE(button.hit_test(280, 25, window));
}

TEST(CaptionButton, DestroyingTheFrameDestroysEveryButton) {
  struct counted : system_button_c<bare_frame> {
    int* alive;
    explicit counted(int* count) : alive(count) { ++*alive; }
    ~counted() override { --*alive; }
  };
  int alive = 0;
  {
    bare_frame frame(30);
    frame.buttons.push_back(new counted(&alive));
    frame.buttons.push_back(new counted(&alive));
    EXPECT_EQ(alive, 2);
  }
  EXPECT_EQ(alive, 0);
}
