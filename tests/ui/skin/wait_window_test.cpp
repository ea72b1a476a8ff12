// The wait indicator inside a real window: frame cycle, timer routing, centring and
// the white colour key.
#include <gtest/gtest.h>

#include "framework/window.h"
#include "ui/skin/memory_surface.h"
#include "ui/skin/wait_window.h"

namespace {

constexpr COLORREF kBackground = RGB(1, 2, 3);

// The colour of the square in the middle of frame k (see make_drawing_bitmaps.py).
COLORREF frame_colour(int k) { return RGB(10 + 20 * k, 200 - 20 * k, 100); }

class wait_page : public CWindowImpl<wait_page, CWindow, CWinTraits<WS_POPUP, WS_EX_NOACTIVATE>>,
                  public wait_window_c<wait_page> {
 public:
  int paints = 0;
  int own_timer_ticks = 0;

  BEGIN_MSG_MAP(wait_page)
    MESSAGE_HANDLER(WM_TIMER, on_own_timer)
    MESSAGE_HANDLER(WM_PAINT, on_paint)
    MESSAGE_HANDLER(WM_PRINTCLIENT, on_paint)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase)
    CHAIN_MSG_MAP(wait_window_c<wait_page>)
  END_MSG_MAP()

  // The page keeps timer 5 for itself; every other timer goes on to the indicator.
  LRESULT on_own_timer(UINT, WPARAM id, LPARAM, BOOL& handled) {
    if (id == 5) ++own_timer_ticks;
    else handled = FALSE;
    return 0;
  }
  LRESULT on_erase(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_paint(UINT msg, WPARAM wParam, LPARAM, BOOL&) {
    PAINTSTRUCT ps;
    HDC dc = msg == WM_PAINT ? BeginPaint(&ps) : reinterpret_cast<HDC>(wParam);
    RECT client;
    GetClientRect(&client);
    {
      memory_surface surface(dc, client);
      HBRUSH brush = ::CreateSolidBrush(kBackground);
      ::FillRect(surface, &client, brush);
      ::DeleteObject(brush);
      paint_wait(client, surface);
    }
    if (msg == WM_PAINT) EndPaint(&ps);
    ++paints;
    return 0;
  }
};

// Prints the page into a bitmap and reads one pixel.
COLORREF printed(wait_page& page, int x, int y) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 200, 100);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  page.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  COLORREF colour = ::GetPixel(dc, x, y);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return colour;
}

struct WaitIndicator : ::testing::Test {
  void SetUp() override {
    RECT rect = {0, 0, 200, 100};
    ASSERT_NE(page.Create(nullptr, rect, L"wait"), nullptr);
    page.ShowWindow(SW_SHOWNOACTIVATE);
    page.UpdateWindow();
  }
  void TearDown() override { page.DestroyWindow(); }
  wait_page page;
};

TEST_F(WaitIndicator, FramesAreLoadedAndIdleAtConstruction) {
  for (const CImage& frame : page.frames) {
    EXPECT_EQ(frame.GetWidth(), 64);
    EXPECT_EQ(frame.GetHeight(), 64);
  }
  EXPECT_EQ(page.frame_index, 0);
  EXPECT_FALSE(page.active);
  // Not active: nothing drawn over the page.
  EXPECT_EQ(printed(page, 100, 50), kBackground);
}

TEST_F(WaitIndicator, EachTickShowsTheNextFrameCentredOverThePage) {
  page.show_wait();
  // Frame 0 is centred: its 64 x 64 picture covers (68, 18)-(132, 82).
  EXPECT_EQ(printed(page, 100, 50), frame_colour(0));
  EXPECT_EQ(printed(page, 68 + 16, 18 + 16), frame_colour(0));
  EXPECT_EQ(printed(page, 68 + 15, 18 + 16), kBackground);  // white is transparent
  EXPECT_EQ(printed(page, 68, 18), kBackground);

  int expected[] = {1, 2, 3, 4, 5, 6, 7, 0, 1};
  for (int next : expected) {
    int paints = page.paints;
    EXPECT_EQ(page.SendMessage(WM_TIMER, 100), 0);
    EXPECT_EQ(page.frame_index, next);
    EXPECT_GT(page.paints, paints);  // repainted at once
    EXPECT_EQ(printed(page, 100, 50), frame_colour(next));
  }

  // Other timers: the page's own stays with the page; the rest are swallowed unchanged.
  page.SendMessage(WM_TIMER, 5);
  page.SendMessage(WM_TIMER, 7);
  EXPECT_EQ(page.own_timer_ticks, 1);
  EXPECT_EQ(page.frame_index, 1);

  page.hide_wait();
  EXPECT_EQ(printed(page, 100, 50), kBackground);
}

TEST_F(WaitIndicator, RunningTimerTurnsTheFramesUntilHidden) {
  page.show_wait();
  DWORD until = ::GetTickCount() + 3000;
  MSG msg;
  while (page.frame_index < 3 && ::GetTickCount() < until) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  EXPECT_GE(page.frame_index, 3);
  page.hide_wait();
  int stopped_at = page.frame_index;
  until = ::GetTickCount() + 300;
  while (::GetTickCount() < until) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  EXPECT_EQ(page.frame_index, stopped_at);
}

}  // namespace
