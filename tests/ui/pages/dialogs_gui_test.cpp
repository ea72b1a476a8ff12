// The three skinned dialogs under Wine, driven by a second process that checks what a
// user would see and ends each dialog the way a user would.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/settings.h"
#include "base/system_probe.h"
#include "i18n/language.h"
#include "session/user_message.h"
#include "dialog_texts.h"
#include "ui/pages/about_window.h"
#include "ui/pages/folder_window.h"
#include "ui/pages/message_window.h"
#include "ui/skin/drawing.h"
#include "ui/skin/fonts.h"

namespace {

void use_language(int index) {
  ASSERT_TRUE(use_dialog_language(own_folder() + L"language.ini", index)) << "language.ini beside the test";
}

struct watch {
  HANDLE process;
  DWORD thread;
};

BOOL CALLBACK cancel_window(HWND window, LPARAM) {
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

DWORD WINAPI watchdog_thread(void* parameter) {
  auto* w = static_cast<watch*>(parameter);
  WaitForSingleObject(w->process, 60000);
  Sleep(4000);
  EnumThreadWindows(w->thread, cancel_window, 0);
  return 0;
}

struct driven {
  int result;
  DWORD driver_exit;
};

// Starts the driver with `args`, runs the dialog modally here, and collects both ends.
// Should the driver fail to end the dialog, it is cancelled a few seconds after the
// driver has gone, so a failure never hangs the run.
driven run_driven(const std::wstring& args, const std::function<int()>& show) {
  std::wstring command = L"\"" + own_folder() + L"dialog_driver.exe\" " + args;
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return {-100, 1000};
  watch w = {process.hProcess, GetCurrentThreadId()};
  HANDLE watchdog = CreateThread(nullptr, 0, watchdog_thread, &w, 0, nullptr);
  driven outcome = {show(), 1000};
  WaitForSingleObject(process.hProcess, 30000);
  GetExitCodeProcess(process.hProcess, &outcome.driver_exit);
  TerminateThread(watchdog, 0);
  CloseHandle(watchdog);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

std::wstring label(int id, const char* key) {
  return L"\"--text=" + std::to_wstring(id) + L":" + lookup_text(key) + L"\"";
}

class Dialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    create_application_fonts();
  }
};

TEST_F(Dialogs, MessageBoxShowsOneButtonInTheMiddleForModesZeroToTwo) {
  struct { int mode, language; const wchar_t* action; int result; } cases[] = {
      {0, 0, L"enter", 1}, {1, 1, L"escape", 2}, {2, 2, L"close", 0}, {2, 3, L"click1", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    use_language(c.language);
    const std::wstring text = short_message();
    const driven d = run_driven(L"--size=300x200 --frame=30 --control=1@115,136 --hidden=2 " + label(1, "btn_ok") +
                                    L" --action=" + c.action,
                                [&] { return show_message_window(nullptr, c.mode, text.c_str()); });
    EXPECT_EQ(d.driver_exit, 0u);
    EXPECT_EQ(d.result, c.result);
  }
}

TEST_F(Dialogs, QuestionPutsNoLeftAndYesRightAndOnlyYesCountsAsYes) {
  struct { int language; const wchar_t* action; int result; } cases[] = {
      {0, L"click1", 1}, {3, L"click2", 2}, {1, L"escape", 2}, {2, L"close", 0}, {0, L"enter", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    use_language(c.language);
    const std::wstring text = short_message();
    const driven d = run_driven(L"--size=300x200 --control=2@50,136 --control=1@180,136 " + label(1, "btn_yes") +
                                    L" " + label(2, "btn_no") + L" --action=" + c.action,
                                [&] { return show_message_window(nullptr, 3, text.c_str()); });
    EXPECT_EQ(d.driver_exit, 0u);
    EXPECT_EQ(d.result, c.result);
  }
}

// The system's file browser shows a folder in a window titled with the folder's name.
HWND wait_for_window(const std::wstring& title, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 100) {
    if (HWND found = FindWindowW(nullptr, title.c_str())) return found;
    Sleep(100);
  }
  return nullptr;
}

TEST_F(Dialogs, FinishedBoxOpensTheDestinationOnlyThroughOpen) {
  const std::wstring name = L"recovered_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring folder = own_folder() + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  lstrcpynW(recovery_path, folder.c_str(), kSettingsPathChars);

  use_language(1);
  driven d = run_driven(L"--size=300x200 --control=2@50,136 --control=1@180,136 " + label(1, "btn_open") + L" " +
                            label(2, "btn_ok") + L" --action=click2",
                        [] { return show_message_window(nullptr, 4, L"Fertig."); });
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 2);
  EXPECT_EQ(wait_for_window(name, 2000), nullptr) << "the left OK opens nothing";

  d = run_driven(L"--action=enter", [] { return show_message_window(nullptr, 4, L"Fertig."); });
  EXPECT_EQ(d.result, 1);
  HWND browser = wait_for_window(name, 15000);
  EXPECT_NE(browser, nullptr) << "Enter opens the destination folder";
  if (browser) PostMessageW(browser, WM_CLOSE, 0, 0);
}

TEST_F(Dialogs, ModesAboveFourShowNoIconButOneButton) {
  use_language(0);
  driven d = run_driven(L"--icon=1 --control=1@115,136 --action=enter",
                        [] { return show_message_window(nullptr, 2, L"Copy failed."); });
  EXPECT_EQ(d.driver_exit, 0u);
  d = run_driven(L"--icon=0 --control=1@115,136 --hidden=2 --action=enter",
                 [] { return show_message_window(nullptr, 7, L"No icon here."); });
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 1);
}

// As start-up installs it.
TEST_F(Dialogs, SessionMessagesAppearInTheSkinnedBox) {
  use_language(0);
  install_message_window();
  const driven d = run_driven(L"--size=300x200 --frame=30 --control=1@115,136 --action=escape",
                              [] { return show_user_message(nullptr, 2, L"The file could not be copied."); });
  set_user_message_function(nullptr);
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 2);
}

TEST_F(Dialogs, OneLineMessageIsCentredBesideTheIcon) {
  use_language(0);
  const std::wstring short_text = L"Done.";
  const driven d = run_driven(L"--text-rows=45,85 --action=enter",
                              [&] { return show_message_window(nullptr, 0, short_text.c_str()); });
  EXPECT_EQ(d.driver_exit, 0u);
}

// What an open message box shows: its height, its buttons' row and where the text's ink
// lies (client coordinates), read from the screen before the box is cancelled.
struct seen_box {
  int height = 0, button_y = -1;
  RECT ink = {-1, -1, -1, -1};
};
seen_box g_seen;
const dialog_parts::MessageLayout* g_layout;  // of the box on screen

void find_ink(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  POINT origin = {0, 0};
  ClientToScreen(dialog, &origin);
  CImage shot;
  if (!shot.Create(client.right, client.bottom, 24)) return;
  HDC screen = GetDC(nullptr);
  BitBlt(shot.GetDC(), 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  shot.ReleaseDC();
  ReleaseDC(nullptr, screen);
  // Ink is looked for in the text's columns above the band.
  const RECT& text = g_layout->text;
  RECT& ink = g_seen.ink;
  for (int y = text.top; y < std::min<LONG>(text.bottom, g_layout->band_top); ++y) {
    for (int x = text.left; x < text.right; ++x) {
      const COLORREF p = shot.GetPixel(x, y);
      if (std::abs(GetRValue(p) - 226) + std::abs(GetGValue(p) - 240) + std::abs(GetBValue(p) - 253) < 60) continue;
      if (ink.top < 0) ink = {x, y, x, y};
      ink = {std::min<LONG>(ink.left, x), ink.top, std::max<LONG>(ink.right, x), y};
    }
  }
}

// The window's height and the row of its control 1.
void measure_box(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  g_seen.height = r.bottom - r.top;
  GetWindowRect(GetDlgItem(dialog, 1), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  g_seen.button_y = r.top;
}

// Ticks every 100 ms; looks once the box has been on screen for a few ticks.
void CALLBACK look_and_cancel(HWND, UINT, UINT_PTR timer, DWORD) {
  static int ticks_shown = 0;
  HWND dialog = FindWindowW(L"#32770", L"Orvalin");
  if (!dialog || !IsWindowVisible(dialog) || ++ticks_shown < 4) return;
  ticks_shown = 0;
  KillTimer(nullptr, timer);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  measure_box(dialog);
  find_ink(dialog);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Shows the box, looks at it on screen and cancels it; or, not to `look`, only creates
// it hidden (which lays it out) and measures it. Either way `box.layout` is what it chose.
template <class Box>
void open_box(Box& box, bool look) {
  g_seen = seen_box{};
  g_layout = &box.layout;
  if (look) {
    SetTimer(nullptr, 0, 100, look_and_cancel);
    box.show(nullptr);
    return;
  }
  measure_box(box.Create(nullptr));
  box.DestroyWindow();
}

// The height the text takes in the box's text width with the box's font and line gap.
int text_height(const std::wstring& text, int width) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, application_font(L"Verdana", 10, false));
  const int height = wrapped_text_height(dc, text.c_str(), width, 6);
  SelectObject(dc, old);
  DeleteDC(dc);
  return height;
}

TEST_F(Dialogs, EveryLanguagesLongestTextsAreDrawnWholeAndArabicToTheRight) {
  reset_language_for_test();
  ASSERT_EQ(0, load_language_file(own_folder() + L"language.ini", L"English", true));
  const std::vector<std::wstring> languages = language_list;
  ASSERT_EQ(languages.size(), 11u);
  for (const std::wstring& language : languages) {
    reset_language_for_test();
    ASSERT_EQ(0, load_language_file(own_folder() + L"language.ini", language, true));
    const bool arabic = language_code() == L"ar";
    const bool on_screen = language_code() == L"en" || language_code() == L"jp" || arabic;
    // Modes 0 to 4 with their longest text, then the folder dialog (5), then a text of
    // several paragraphs in both boxes.
    for (int mode = 0; mode <= 7; ++mode) {
      const bool folder = mode == 5 || mode == 7;
      const std::wstring text = mode < 6 ? longest_message(mode) : long_message();
      SCOPED_TRACE(testing::Message() << "language " << language_code() << ", mode " << mode);
      // The box's own size and text area: the text may use it down to the band.
      const int own_height = 200, width = folder ? 292 : 192, room = folder ? 100 : 70;
      const int needed = text_height(text, width);
      const int first_line = text_height(text.substr(0, 1), width);
      // On screen: a short and a long text in English, Japanese and Arabic.
      const bool look = on_screen && (mode == 3 || mode >= 6);
      dialog_parts::MessageLayout layout;
      if (folder) {
        folder_window_c box(text.c_str());
        open_box(box, look);
        layout = box.layout;
      } else {
        message_window_c box(text.c_str(), mode == 6 ? 1 : mode);
        open_box(box, look);
        layout = box.layout;
      }
      const RECT& area = layout.text;
      EXPECT_EQ(area.right - area.left, width);
      EXPECT_LE(area.top + needed, std::min<LONG>(area.bottom, layout.band_top)) << "the whole text above the band";
      const int grown = std::max(0, needed - room);
      EXPECT_EQ(g_seen.height, own_height + grown) << "the box keeps its size for a text that fits, else grows";
      EXPECT_EQ(g_seen.button_y, layout.button_y);
      EXPECT_EQ(layout.button_y - layout.band_top, 6);
      // Arabic reads right to left, right-aligned, with the icon on the right.
      EXPECT_EQ(layout.text_format & (DT_RIGHT | DT_RTLREADING), arabic ? UINT(DT_RIGHT | DT_RTLREADING) : 0u);
      EXPECT_EQ(layout.icon_x > area.right, arabic);
      if (!look) continue;
      // The ink: inside the area, down to the last line when there are several lines,
      // and against the right edge in Arabic, the left one otherwise.
      const RECT& ink = g_seen.ink;
      ASSERT_GE(ink.top, area.top) << "text drawn";
      if (needed > first_line) {
        EXPECT_GE(ink.bottom, area.top + needed - 8) << "last line drawn";
      }
      if (arabic) {
        EXPECT_GE(ink.right, area.right - 6) << "right-aligned";
      } else {
        EXPECT_LE(ink.left, area.left + 6) << "left-aligned";
      }
    }
  }
}

TEST_F(Dialogs, FolderDialogPutsCancelLeftAndOkRight) {
  struct { int language; const wchar_t* action; int result; } cases[] = {
      {2, L"enter", 1}, {0, L"escape", 2}, {3, L"close", 0}, {1, L"click2", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    use_language(c.language);
    const std::wstring text = short_message();
    folder_window_c box(text.c_str());
    const driven d = run_driven(L"--size=400x200 --frame=30 --control=1@230,136 --control=2@100,136 " +
                                    label(1, "btn_ok") + L" " + label(2, "btn_cancel") + L" --action=" + c.action,
                                [&] { return box.show(nullptr); });
    EXPECT_EQ(d.driver_exit, 0u);
    EXPECT_EQ(d.result, c.result);
  }
}

TEST_F(Dialogs, AboutDialogStartsTheUpdaterOnEnterAndClosesOnEscape) {
  // A stand-in updater (the driver under the updater's name) in a folder of our own.
  const std::wstring root = own_folder() + L"about_root\\";
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"update").c_str(), nullptr);
  CopyFileW((own_folder() + L"dialog_driver.exe").c_str(), (root + L"update\\update.exe").c_str(), FALSE);
  DeleteFileW((root + L"update\\ran.txt").c_str());
  lstrcpynW(program_dir, root.c_str(), kProgramDirChars);

  use_language(3);
  about_window_c about;
  driven d = run_driven(L"--title=About --size=500x400 --frame=100 --control=1@340,210 --control=2@340,250 " +
                            label(1, "about_btn_check") + L" " + label(2, "about_btn_bk") + L" --action=escape",
                        [&] { return about.show(nullptr); });
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 2);
  EXPECT_EQ(GetFileAttributesW((root + L"update\\ran.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  use_language(0);
  about_window_c again;
  d = run_driven(L"--title=About --action=enter", [&] { return again.show(nullptr); });
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 1);
  bool ran = false;
  for (int waited = 0; waited < 10000 && !ran; waited += 100) {
    ran = GetFileAttributesW((root + L"update\\ran.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!ran) Sleep(100);
  }
  EXPECT_TRUE(ran);

  about_window_c closed;
  d = run_driven(L"--title=About --action=close", [&] { return closed.show(nullptr); });
  EXPECT_EQ(d.result, 0);
}

}  // namespace
