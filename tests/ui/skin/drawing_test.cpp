// Off-screen surfaces, skin bitmaps and word-wrapped text, checked by reading pixels
// back from a real GDI bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"
#include "ui/skin/memory_surface.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A 32-bit DIB selected into a memory DC, filled with one colour.
class canvas {
 public:
  canvas(int width, int height, COLORREF fill = kWhite) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    fill_rect({0, 0, width, height}, fill);
  }
  ~canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF at(int x, int y) const { return ::GetPixel(dc_, x, y); }
  void fill_rect(RECT rect, COLORREF colour) { fill(dc_, rect, colour); }
  static void fill(HDC dc, RECT rect, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &rect, brush);
    ::DeleteObject(brush);
  }
  // Whether any pixel of the rows [top, bottom) and columns [left, right) isn't white.
  bool ink(int left, int top, int right, int bottom) const {
    for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y)
      for (int x = std::max(left, 0); x < std::min(right, width_); ++x)
        if (at(x, y) != kWhite) return true;
    return false;
  }
  // The rightmost inked column of the rows [top, bottom), -1 when there is none.
  int ink_right(int top, int bottom) const {
    for (int x = width_ - 1; x >= 0; --x)
      if (ink(x, top, x + 1, bottom)) return x;
    return -1;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  void* bits_ = nullptr;
};

TEST(MemorySurface, CopiesOnlyItsAreaInTheTargetsCoordinates) {
  canvas target(100, 80, kBlack);
  {
    memory_surface surface(target.dc(), RECT{10, 10, 60, 40});
    canvas::fill(surface.surface, {0, 0, 100, 80}, RGB(255, 0, 0));
    ::SetPixel(surface.surface, 20, 20, RGB(0, 255, 0));
    EXPECT_EQ(target.at(20, 20), kBlack);  // nothing reaches the target before closing
  }
  EXPECT_EQ(target.at(10, 10), RGB(255, 0, 0));
  EXPECT_EQ(target.at(59, 39), RGB(255, 0, 0));
  EXPECT_EQ(target.at(20, 20), RGB(0, 255, 0));
  EXPECT_EQ(target.at(9, 9), kBlack);
  EXPECT_EQ(target.at(60, 40), kBlack);
  EXPECT_EQ(target.at(70, 20), kBlack);
}

TEST(MemorySurface, ClosesOnceEvenWhenClosedEarly) {
  canvas target(40, 40, kBlack);
  memory_surface surface(target.dc(), RECT{0, 0, 20, 20});
  canvas::fill(surface, {0, 0, 20, 20}, RGB(0, 0, 255));
  surface.close();
  EXPECT_EQ(target.at(5, 5), RGB(0, 0, 255));
  EXPECT_EQ(surface.surface, nullptr);
  canvas::fill(target.dc(), {0, 0, 40, 40}, kBlack);
  surface.close();  // and again from the destructor: no second copy
  EXPECT_EQ(target.at(5, 5), kBlack);
}

TEST(SkinBitmap, LoadsAtNaturalSizeTopRowFirstAndDrawsOpaque) {
  CImage image;
  ASSERT_TRUE(load_skin_bitmap(image, 500));
  EXPECT_EQ(image.GetWidth(), 4);
  EXPECT_EQ(image.GetHeight(), 2);
  EXPECT_EQ(image.GetBPP(), 24);
  EXPECT_TRUE(image.IsDIBSection());
  EXPECT_EQ(image.GetPixel(0, 0), RGB(255, 0, 0));

  canvas target(20, 20);
  draw_image(target.dc(), image, 10, 10);
  EXPECT_EQ(target.at(10, 10), RGB(255, 0, 0));
  EXPECT_EQ(target.at(11, 10), RGB(0, 255, 0));
  EXPECT_EQ(target.at(13, 11), RGB(0, 0, 255));
  EXPECT_EQ(target.at(14, 10), kWhite);
  EXPECT_EQ(target.at(10, 12), kWhite);

  // Loading again replaces the picture; a missing id leaves an empty image.
  EXPECT_TRUE(load_skin_bitmap(image, 208));
  EXPECT_EQ(image.GetWidth(), 64);
  EXPECT_FALSE(load_skin_bitmap(image, 501));
  EXPECT_TRUE(image.IsNull());
  draw_image(target.dc(), image, 0, 0);
  EXPECT_EQ(target.at(0, 0), kWhite);
}

// Black Verdana 10 on white; `line` is the height of one line of it.
struct WrappedText : ::testing::Test {
  void SetUp() override {
    old_font = ::SelectObject(page.dc(), application_font(L"Verdana", 10, false));
    ::SetTextColor(page.dc(), kBlack);
    ::SetBkMode(page.dc(), TRANSPARENT);
    TEXTMETRICW metrics;
    ::GetTextMetricsW(page.dc(), &metrics);
    line = metrics.tmHeight;
    ASSERT_GT(line, 8);
  }
  void TearDown() override { ::SelectObject(page.dc(), old_font); }
  int width_of(const wchar_t* text) {
    SIZE size;
    ::GetTextExtentPoint32W(page.dc(), text, ::lstrlenW(text), &size);
    return size.cx;
  }
  // The top of line k (0-based) for a text drawn from y = top with `gap`.
  int line_top(int top, int k, int gap) const { return top + k * (line + gap); }

  canvas page{400, 300};
  HGDIOBJ old_font = nullptr;
  int line = 0;
};

TEST_F(WrappedText, SingleLineIsCentredWhenAskedAndReportsItsBottom) {
  RECT rect = {10, 20, 300, 120};
  draw_wrapped_text(page.dc(), L"Hello", rect, 6, DT_VCENTER);
  EXPECT_EQ(rect.bottom, 20 + line);
  int centre = 70;
  EXPECT_TRUE(page.ink(10, centre - line, 300, centre + line));
  EXPECT_FALSE(page.ink(0, 0, 400, centre - line));
  EXPECT_FALSE(page.ink(0, centre + line, 400, 300));

  canvas top_aligned(400, 300);
  ::SelectObject(top_aligned.dc(), application_font(L"Verdana", 10, false));
  RECT second = {10, 20, 300, 120};
  draw_wrapped_text(top_aligned.dc(), L"Hello", second, 6, 0);
  EXPECT_TRUE(top_aligned.ink(10, 20, 300, 20 + line));
  EXPECT_FALSE(top_aligned.ink(0, 20 + line, 400, 300));
}

TEST_F(WrappedText, WrapsAfterTheLastSpaceThatFits) {
  const int room = width_of(L"alpha beta ") + 2;
  RECT rect = {0, 0, room, 200};
  draw_wrapped_text(page.dc(), L"alpha beta gamma", rect, 4, DT_VCENTER);
  EXPECT_EQ(rect.bottom, line_top(0, 1, 4) + line);
  // "alpha beta " on the first line, "gamma" alone on the second.
  EXPECT_NEAR(page.ink_right(0, line), width_of(L"alpha beta"), 3);
  EXPECT_NEAR(page.ink_right(line_top(0, 1, 4), line_top(0, 1, 4) + line), width_of(L"gamma"), 3);
  EXPECT_FALSE(page.ink(0, line_top(0, 2, 4), 400, 300));
}

TEST_F(WrappedText, BreaksAWordLongerThanTheLineWhereItOverflows) {
  const int room = width_of(L"WWWW") + 1;
  RECT rect = {0, 0, room, 200};
  draw_wrapped_text(page.dc(), L"WWWWWWWWWW", rect, 0, 0);
  EXPECT_EQ(rect.bottom, 3 * line);  // 4 + 4 + 2 characters
  EXPECT_NEAR(page.ink_right(0, line), width_of(L"WWWW"), 3);
  EXPECT_NEAR(page.ink_right(2 * line, 3 * line), width_of(L"WW"), 3);
}

TEST_F(WrappedText, JapaneseBreaksBetweenCharactersButNotBeforeClosingPunctuation) {
  // "44 files were recovered.": no spaces after the number, so the breaker must not
  // leave "44" alone on the first line.
  const wchar_t* text = L"44 \x500b\x306e\x30d5\x30a1\x30a4\x30eb\x3092\x5fa9\x5143\x3057\x307e\x3057\x305f\x3002";
  RECT rect = {0, 0, width_of(L"44 \x500b\x306e\x30d5\x30a1") + 1, 200};
  draw_wrapped_text(page.dc(), text, rect, 0, 0);
  EXPECT_NEAR(page.ink_right(0, line), width_of(L"44 \x500b\x306e\x30d5\x30a1"), 3);

  // The full stop that would start the second line takes the character before it along.
  const int room = width_of(L"44 \x500b\x306e\x30d5\x30a1\x30a4\x30eb\x3092\x5fa9\x5143\x3057\x307e\x3057\x305f") + 1;
  RECT stop = {0, 0, room, 200};
  canvas second(400, 300);
  ::SelectObject(second.dc(), application_font(L"Verdana", 10, false));
  draw_wrapped_text(second.dc(), text, stop, 0, 0);
  EXPECT_EQ(stop.bottom, 2 * line);
  EXPECT_GT(second.ink_right(line, 2 * line), width_of(L"\x305f") + 2);
}

TEST_F(WrappedText, LineFeedEndsALineAndIsNotDrawn) {
  RECT rect = {0, 0, 400, 200};
  draw_wrapped_text(page.dc(), L"a\nb", rect, 5, DT_VCENTER);
  EXPECT_EQ(rect.bottom, line_top(0, 1, 5) + line);
  EXPECT_NEAR(page.ink_right(0, line), width_of(L"a"), 2);
  EXPECT_TRUE(page.ink(0, line_top(0, 1, 5), 400, line_top(0, 1, 5) + line));

  // A closing line feed adds no empty line.
  RECT closing = {0, 0, 400, 200};
  draw_wrapped_text(page.dc(), L"a\n", closing, 5, 0);
  EXPECT_EQ(closing.bottom, line);
}

TEST_F(WrappedText, CutsAfterTheLastLineThatFitsCompletely) {
  const int gap = 6;
  const int bottom = line_top(30, 2, gap) + line - 1;  // room for two lines and most of a third
  RECT rect = {0, 30, 400, bottom};
  draw_wrapped_text(page.dc(), L"one\ntwo\nthree\nfour\nfive", rect, gap, DT_VCENTER);
  EXPECT_TRUE(page.ink(0, line_top(30, 0, gap), 400, line_top(30, 0, gap) + line));
  EXPECT_TRUE(page.ink(0, line_top(30, 1, gap), 400, line_top(30, 1, gap) + line));
  EXPECT_FALSE(page.ink(0, line_top(30, 2, gap), 400, 300));
  EXPECT_EQ(rect.bottom, line_top(30, 2, gap) + line);
}

TEST_F(WrappedText, EmptyTextDrawsNothingAndKeepsTheRectangle) {
  RECT rect = {5, 6, 200, 100};
  draw_wrapped_text(page.dc(), L"", rect, 6, DT_VCENTER);
  draw_wrapped_text(page.dc(), nullptr, rect, 6, DT_VCENTER);
  EXPECT_EQ(rect.left, 5);
  EXPECT_EQ(rect.top, 6);
  EXPECT_EQ(rect.right, 200);
  EXPECT_EQ(rect.bottom, 100);
  EXPECT_FALSE(page.ink(0, 0, 400, 300));
}

TEST_F(WrappedText, LineNarrowerThanOneCharacterStillEnds) {
  RECT rect = {0, 0, 2, 200};
  draw_wrapped_text(page.dc(), L"WWW", rect, 0, 0);
  EXPECT_EQ(rect.bottom, 3 * line);  // one character per line
}

}  // namespace
