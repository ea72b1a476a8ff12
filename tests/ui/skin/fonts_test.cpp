// The application fonts: attributes of all 22, lookup by name, and sizes on screen.
#include <gtest/gtest.h>

#include <string>

#include "ui/skin/fonts.h"

namespace {

struct expected_font {
  const wchar_t* face;
  int height;
  LONG weight;
};

const expected_font kTable[] = {
    {L"Arial", -11, 0},     {L"Arial", -12, 0},     {L"Arial", -15, 0},     {L"Arial", -20, 0},
    {L"Arial", -24, 0},     {L"Arial", -21, 0},     {L"Arial", -24, 700},   {L"Arial", -33, 700},
    {L"Verdana", -11, 0},   {L"Verdana", -11, 0},   {L"Verdana", -13, 0},   {L"Verdana", -11, 700},
    {L"Verdana", -12, 700}, {L"Verdana", -13, 700}, {L"verdana", -16, 700}, {L"verdana", -16, 0},
    {L"verdana", -19, 0},   {L"verdana", -21, 700}, {L"verdana", -21, 0},   {L"verdana", -24, 0},
    {L"verdana", -29, 0},   {L"verdana", -33, 0},
};

LOGFONTW described(HFONT font) {
  LOGFONTW info = {};
  ::GetObjectW(font, sizeof info, &info);
  return info;
}

TEST(ApplicationFonts, TwentyTwoFontsWithTheirAttributesInTableOrder) {
  create_application_fonts();
  ASSERT_EQ(application_font_count(), 22);
  for (int row = 0; row < 22; ++row) {
    SCOPED_TRACE(row + 1);
    HFONT font = application_font_at(row);
    ASSERT_NE(font, nullptr);
    LOGFONTW info = described(font);
    EXPECT_STREQ(info.lfFaceName, kTable[row].face);
    EXPECT_EQ(info.lfHeight, kTable[row].height);
    EXPECT_EQ(info.lfWeight, kTable[row].weight);
    EXPECT_EQ(info.lfWidth, 0);
    EXPECT_EQ(info.lfItalic + info.lfUnderline + info.lfStrikeOut, 0);
    EXPECT_EQ(info.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(info.lfOutPrecision, OUT_OUTLINE_PRECIS);
    EXPECT_EQ(info.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_EQ(info.lfPitchAndFamily, VARIABLE_PITCH);
  }
  // Created once: a second call keeps the same objects.
  HFONT first = application_font_at(0);
  create_application_fonts();
  EXPECT_EQ(application_font_at(0), first);
  EXPECT_EQ(application_font_at(22), nullptr);
}

TEST(ApplicationFonts, LookupByFaceSizeAndWeight) {
  EXPECT_EQ(application_font(L"Verdana", 8, false), application_font_at(8));
  EXPECT_NE(application_font_at(8), application_font_at(9));  // two identical objects
  EXPECT_EQ(application_font(L"Verdana", 8, true), application_font_at(11));
  EXPECT_EQ(application_font(L"VERDANA", 12, true), application_font_at(14));
  EXPECT_EQ(application_font(L"Arial", 25, true), application_font_at(7));
  EXPECT_EQ(application_font(L"Arial", 25, false), nullptr);
  EXPECT_EQ(application_font(L"Tahoma", 8, false), nullptr);
  EXPECT_EQ(application_font(nullptr, 8, false), nullptr);
}

// Em heights in pixels whatever the display's resolution, and the replacement faces
// really used (Verdana is drawn wider than Arial).
TEST(ApplicationFonts, DrawnAtNinetySixDotsPerInch) {
  HDC dc = ::CreateCompatibleDC(nullptr);
  auto measure = [&](HFONT font, TEXTMETRICW& metrics, SIZE& size) {
    HGDIOBJ old = ::SelectObject(dc, font);
    ::GetTextMetricsW(dc, &metrics);
    ::GetTextExtentPoint32W(dc, L"recovered photos", 16, &size);
    ::SelectObject(dc, old);
  };
  TEXTMETRICW verdana = {}, arial = {};
  SIZE verdana_size = {}, arial_size = {};
  measure(application_font(L"Verdana", 8, false), verdana, verdana_size);
  measure(application_font(L"Arial", 8, false), arial, arial_size);
  ::DeleteDC(dc);
  EXPECT_EQ(verdana.tmHeight - verdana.tmInternalLeading, 11);
  EXPECT_EQ(arial.tmHeight - arial.tmInternalLeading, 11);
  EXPECT_GT(verdana_size.cx, arial_size.cx);
}

}  // namespace
