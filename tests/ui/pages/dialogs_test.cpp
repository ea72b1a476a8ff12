// The dialogs' rules that need no window: icons by mode, the build information text and
// the updater's place.
#include <gtest/gtest.h>

#include <string>

#include "app/system_probe.h"
#include "ui/pages/about_window.h"
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
