// Measures the shipped texts in the fonts and places the pages draw them in, so that a
// translation that would overflow its button or its gap fails here rather than on screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "i18n/language.h"

namespace {

struct Font {
  const wchar_t* face;
  int points;
  bool bold;
};
const Font kVerdana8 = {L"Verdana", 8, false};
const Font kVerdana8Bold = {L"Verdana", 8, true};
const Font kVerdana9Bold = {L"Verdana", 9, true};
const Font kVerdana10 = {L"Verdana", 10, false};
const Font kVerdana10Bold = {L"Verdana", 10, true};
const Font kVerdana16 = {L"Verdana", 16, false};
const Font kArial9 = {L"Arial", 9, false};

// Widest text the place allows, in pixels, for a language code.
struct Place {
  const char* key;
  Font font;
  int room;
};

std::vector<Place> places_for(const std::wstring& code) {
  const bool de = code == L"de";
  const bool romance = code == L"fr" || code == L"it" || code == L"es";
  std::vector<Place> places = {
      // 100x24 and 100x30 page buttons, 80x30 scan buttons, 110x30 filter button.
      {"btn_refresh", kVerdana9Bold, 94}, {"btn_browse", kVerdana9Bold, 94},
      {"btn_back", kVerdana9Bold, 94},    {"btn_next", kVerdana9Bold, 94},
      {"btn_close", kVerdana9Bold, 94},   {"btn_home", kVerdana9Bold, 94},
      {"btn_start", kVerdana9Bold, 74},   {"btn_pause", kVerdana9Bold, 74},
      {"btn_resume", kVerdana9Bold, 74},  {"btn_stop", kVerdana9Bold, 74},
      {"btn_filter", kVerdana9Bold, 104},
      // 70x24 dialog buttons (btn_open is one of them as well).
      {"btn_ok", kVerdana9Bold, 64},      {"btn_cancel", kVerdana9Bold, 64},
      {"btn_yes", kVerdana9Bold, 64},     {"btn_no", kVerdana9Bold, 64},
      {"btn_open", kVerdana9Bold, 64},
      // 130x24 about buttons.
      {"about_btn_check", kVerdana8, 124}, {"about_btn_bk", kVerdana8, 124},
      // 120x40 recover button, label from x 38 (x 8 in a smaller font for de).
      {"btn_recovery", de ? kVerdana8Bold : kVerdana9Bold, de ? 108 : 78},
      // 320-wide home buttons with fixed label origins.
      {"home_btn_start", romance ? kVerdana9Bold : kVerdana16, de || romance ? 185 : 160},
      {"home_btn_resume", de || romance ? kVerdana9Bold : kVerdana16, de ? 208 : 198},
      // Check boxes (the box itself takes about 18 pixels).
      {"option_photo", kArial9, 52}, {"option_video", kArial9, 82},
      {"option_audio", kArial9, 82}, {"btn_all", kVerdana10, 82},
      // The destination label ends where the cache radio button starts.
      {"option_title5", kVerdana10Bold, 185},
      // Header step labels.
      {"top_step1", kVerdana8Bold, de ? 115 : romance ? 155 : 135},
      {"top_step2", kVerdana8Bold, de ? 215 : romance ? 235 : 165},
      {"top_step3", kVerdana8Bold, romance ? 165 : 175},
      // Info panel labels in front of their values.
      {"recovery_created", kVerdana8, 58}, {"recovery_model", kVerdana8, 58},
      {"recovery_size", kVerdana8, 58},    {"recovery_total", kVerdana8, 78},
      {"recovery_selected", kVerdana8, 78},
      {"gen_preview", kVerdana10Bold, (de || code == L"fr") ? 165 : 215},
  };
  return places;
}

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 4 + 1, '\0');
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], static_cast<int>(out.size()),
                              nullptr, nullptr);
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

class LabelFit : public ::testing::Test {
 protected:
  void SetUp() override { dc_ = CreateCompatibleDC(nullptr); }
  void TearDown() override {
    select(nullptr);
    DeleteDC(dc_);
    reset_language_for_test();
  }
  void select(const Font* font) {
    if (font_) DeleteObject(SelectObject(dc_, old_));
    font_ = nullptr;
    if (!font) return;
    font_ = CreateFontW(-MulDiv(font->points, 96, 72), 0, 0, 0, font->bold ? 700 : 0, 0, 0, 0,
                        DEFAULT_CHARSET, OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS,
                        ANTIALIASED_QUALITY, VARIABLE_PITCH, font->face);
    old_ = SelectObject(dc_, font_);
  }
  SIZE extent(const wchar_t* text, size_t length) {
    SIZE size = {};
    GetTextExtentPoint32W(dc_, text, static_cast<int>(length), &size);
    return size;
  }
  int width_of(const std::wstring& text, const Font& font) {
    select(&font);
    return extent(text.c_str(), text.size()).cx;
  }
  // Whether the skin's wrapping text drawer puts every line of the text inside the box:
  // it breaks after the last blank that fits, or inside a word longer than the line.
  bool fits_box(const std::wstring& text, const Font& font, int width, int height, int gap) {
    select(&font);
    int lines = 0, line_height = 0;
    for (size_t start = 0; start < text.size();) {
      int sum = 0;
      size_t i = start;
      for (; i < text.size(); ++i) {
        SIZE size = extent(&text[i], 1);
        line_height = std::max<int>(line_height, size.cy);
        sum += size.cx;
        if (sum > width || text[i] == L'\n') break;
      }
      ++lines;
      if (i == text.size()) break;
      size_t end = i;
      for (size_t k = i + 1; k-- > start;)
        if (text[k] == L' ' || text[k] == L'\t' || text[k] == L'\n') {
          end = k + 1;
          break;
        }
      start = std::max(end, start + 1);
    }
    return lines * line_height + (lines - 1) * gap <= height;
  }
  // Runs the check once per section of the shipped file, with only that section loaded.
  template <class Check>
  void for_each_language(Check check) {
    reset_language_for_test();
    ASSERT_EQ(0, load_language(L"English", true));
    const std::vector<std::wstring> languages = language_list;
    ASSERT_FALSE(languages.empty());
    for (const std::wstring& language : languages) {
      reset_language_for_test();
      ASSERT_EQ(0, load_language(language, true));
      SCOPED_TRACE(utf8(language));
      check();
    }
  }
  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TEST_F(LabelFit, EveryLanguagesLabelsFitTheirPlaces) {
  for_each_language([&] {
    for (const Place& place : places_for(language_code())) {
      std::wstring text = lookup_text(place.key);
      if (std::string(place.key) == "gen_preview") text += L"...";
      EXPECT_LE(width_of(text, place.font), place.room) << place.key;
    }
  });
}

TEST_F(LabelFit, MessagesAndPageTextsFitTheirBoxes) {
  const char* const message_box_texts[] = {
      "config_language_change_notice", "cancel_confirm", "engine_failed", "engine_cache_full", "engine_unreadable",
      "option_no_dir", "no_card",
      "option_msg", "next_failed", "no_selection", "recovery_failed_code1",
      "recovery_failed_code2", "recovery_failed_code3"};
  for_each_language([&] {
    // Message box: (80, 30)-(272, 100), line gap 6; folder dialog: (80, 30)-(372, 150).
    for (const char* key : message_box_texts)
      EXPECT_TRUE(fits_box(lookup_text(key), kVerdana10, 192, 70, 6)) << key;
    EXPECT_TRUE(fits_box(fill_text(lookup_text("recovery_finished"), {L"12345"}), kVerdana10,
                         192, 70, 6));
    EXPECT_TRUE(fits_box(fill_text(lookup_text("cache_msg"), {L"1024.00G"}), kVerdana10, 292,
                         120, 6));
    // Home text (60, 435)-(740, 500); recovery hint beside the grid; about panel.
    EXPECT_TRUE(fits_box(lookup_text("home_text"), kArial9, 680, 65, 5));
    EXPECT_TRUE(fits_box(lookup_text("recovery_text"), kVerdana8, 170, 80, 5));
    EXPECT_TRUE(fits_box(fill_text(lookup_text("about_info"), {L"", L"Dec  8 2026", L"07:15:00"}),
                         kVerdana8, 445, 80, 6));
    // Single lines: the sector count of a 64 GB card ends before the start button.
    EXPECT_LE(width_of(fill_text(lookup_text("recovery_sector"), {L"124999999", L"125000000"}),
                       kVerdana8),
              285);
    EXPECT_LE(width_of(lookup_text("about_copyright"), kVerdana8), 460);
    EXPECT_LE(width_of(lookup_text("about_information"), kVerdana8), 460);
    for (const char* key : {"option_text1", "option_text2", "option_text3"})
      EXPECT_LE(width_of(lookup_text(key), Font{L"Arial", 8, false}), 700) << key;
    for (const char* key : {"option_text4", "option_text5"})
      EXPECT_LE(width_of(lookup_text(key), kVerdana8), 720) << key;
    EXPECT_LE(width_of(lookup_text("option_text6"), kVerdana10Bold), 720);
  });
}

}  // namespace
