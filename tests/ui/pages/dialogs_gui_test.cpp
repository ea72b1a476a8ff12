// The three skinned dialogs under Wine, driven by a second process that checks what a
// user would see and ends each dialog the way a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "app/settings.h"
#include "app/system_probe.h"
#include "i18n/language.h"
#include "session/user_message.h"
#include "dialog_texts.h"
#include "ui/pages/about_window.h"
#include "ui/pages/folder_window.h"
#include "ui/pages/message_window.h"
#include "ui/skin/fonts.h"

namespace {

std::wstring own_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

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

TEST_F(Dialogs, SessionMessagesAppearInTheSkinnedBox) {
  use_language(0);
  const driven d = run_driven(L"--size=300x200 --frame=30 --control=1@115,136 --action=escape",
                              [] { return show_user_message(nullptr, 2, L"The file could not be copied."); });
  EXPECT_EQ(d.driver_exit, 0u);
  EXPECT_EQ(d.result, 2);
}

TEST_F(Dialogs, OneLineMessageIsCentredAndALongOneIsCutAtTheTextArea) {
  use_language(0);
  const std::wstring short_text = L"Done.";
  driven d = run_driven(L"--text-rows=45,85 --action=enter",
                        [&] { return show_message_window(nullptr, 0, short_text.c_str()); });
  EXPECT_EQ(d.driver_exit, 0u);
  const std::wstring long_text = long_message();
  d = run_driven(L"--text-rows=30,100,40 --action=enter",
                 [&] { return show_message_window(nullptr, 1, long_text.c_str()); });
  EXPECT_EQ(d.driver_exit, 0u);
}

TEST_F(Dialogs, FolderDialogPutsCancelLeftAndOkRight) {
  struct { int language; const wchar_t* action; int result; } cases[] = {
      {2, L"enter", 1}, {0, L"escape", 2}, {3, L"close", 0}, {1, L"click2", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    use_language(c.language);
    const std::wstring text = long_message();
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
