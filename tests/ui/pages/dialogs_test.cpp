// The dialogs' rules that need no window: icons by mode, the build information text,
// the updater's place and where texts of every height go.
#include <gtest/gtest.h>

#include <string>

#include "base/system_probe.h"
#include "ui/pages/about_window.h"
#include "ui/pages/dialog_parts.h"
#include "ui/pages/message_window.h"

TEST(MessageWindow, EachModeHasItsIconAndModesAboveFourHaveNone) {
  EXPECT_EQ(message_window_c::icon_for_mode(0), 131);
  EXPECT_EQ(message_window_c::icon_for_mode(1), 130);
  EXPECT_EQ(message_window_c::icon_for_mode(2), 129);
  EXPECT_EQ(message_window_c::icon_for_mode(3), 132);
  EXPECT_EQ(message_window_c::icon_for_mode(4), 131);
  EXPECT_EQ(message_window_c::icon_for_mode(5), 0);
  message_window_c box(L"text", 7);
  EXPECT_TRUE(box.icon.IsNull());
  EXPECT_EQ(box.caption_height, 30);
}

TEST(AboutWindow, BuildInformationFillsEmptyTextDateAndTime) {
  EXPECT_EQ(about_window_c::build_information(L"No placeholders here"), L"No placeholders here");
  const std::wstring filled = about_window_c::build_information(L"[%s|%s|%s]");
  // "[|Jun  9 2013|17:45:27]": an empty text, the date padded to 11, the time.
  ASSERT_EQ(filled.size(), 1u + 1u + 11u + 1u + 8u + 1u);
  EXPECT_EQ(filled.substr(0, 2), L"[|");
  EXPECT_EQ(filled[5], L' ');
  EXPECT_EQ(filled[13], L'|');
  EXPECT_EQ(filled[16], L':');
  EXPECT_EQ(filled[19], L':');
  // A damaged text with more placeholders than arguments shows them as they stand.
  EXPECT_EQ(about_window_c::build_information(L"%s%s%s %s %d"), filled.substr(2, 11) + filled.substr(14, 8) + L" %s %d");
  EXPECT_EQ(about_window_c::build_information(std::wstring(3000, L'x')).size(), 1023u);
}

TEST(AboutWindow, UpdaterLiesInTheUpdateFolderOfTheStartFolder) {
  lstrcpynW(program_dir, L"C:\\Programs\\Tessaline\\", kProgramDirChars);
  EXPECT_EQ(about_window_c::updater_path(), L"C:\\Programs\\Tessaline\\update\\update.exe");
  lstrcpynW(program_dir, L"D:\\Tools", kProgramDirChars);
  EXPECT_EQ(about_window_c::updater_path(), L"D:\\Tools\\update\\update.exe");
}

namespace {
bool same_rect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace

TEST(MessageWindow, TextTallerThanItsAreaMovesTheBandAndButtonsDownAndArabicChangesSides) {
  const SIZE message = {300, 200}, folder = {400, 200};
  const RECT message_text = {80, 30, 272, 100}, folder_text = {80, 30, 372, 150};
  struct {
    SIZE window; RECT text; int client_width, text_height, max_height; bool rtl;
    int height; RECT laid_text; int band, buttons, icon_x;
  } cases[] = {
      {message, message_text, 294, 70, 1000, false, 200, message_text, 130, 136, 15},
      {message, message_text, 294, 92, 1000, false, 222, {80, 30, 272, 122}, 152, 158, 15},
      {message, message_text, 294, 300, 250, false, 250, {80, 30, 272, 150}, 180, 186, 15},
      // The folder dialog's area reaches below the band; its text may use it down to the band.
      {folder, folder_text, 394, 100, 1000, false, 200, folder_text, 130, 136, 15},
      {folder, folder_text, 394, 104, 1000, false, 204, {80, 30, 372, 154}, 134, 140, 15},
      {message, message_text, 294, 40, 1000, true, 200, {22, 30, 214, 100}, 130, 136, 231},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text_height);
    const dialog_parts::MessageLayout layout =
        dialog_parts::lay_out_message(c.window, c.text, c.client_width, c.text_height, c.max_height, c.rtl);
    EXPECT_EQ(layout.height, c.height);
    EXPECT_TRUE(same_rect(layout.text, c.laid_text));
    EXPECT_EQ(layout.band_top, c.band);
    EXPECT_EQ(layout.button_y, c.buttons);
    EXPECT_EQ(layout.icon_x, c.icon_x);
    EXPECT_EQ(layout.text_format, c.rtl ? UINT(DT_VCENTER | DT_RIGHT | DT_RTLREADING) : UINT(DT_VCENTER));
  }
}

TEST(AboutWindow, TextsKeepTheirPlacesUntilTheOneAboveRunsIntoThem) {
  struct {
    int copyright, information, info, max_height;
    int height, information_y; RECT panel;
  } cases[] = {
      {13, 13, 32, 1000, 400, 65, {15, 85, 470, 185}},
      {52, 13, 80, 1000, 400, 65, {15, 85, 470, 185}},   // four copyright lines, a full panel
      {13, 26, 32, 1000, 410, 65, {15, 95, 470, 195}},   // information on two lines
      {65, 13, 32, 1000, 406, 74, {15, 91, 470, 191}},   // copyright on five lines
      {13, 13, 150, 1000, 470, 65, {15, 85, 470, 255}},  // a long build information
      {13, 13, 150, 430, 430, 65, {15, 85, 470, 215}},   // ... on a low screen
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    const AboutLayout layout = about_window_c::lay_out(c.copyright, c.information, c.info, c.max_height);
    EXPECT_EQ(layout.height, c.height);
    EXPECT_EQ(layout.button_shift, c.height - 400);
    EXPECT_EQ(layout.information_y, c.information_y);
    EXPECT_TRUE(same_rect(layout.panel, c.panel));
  }
}
