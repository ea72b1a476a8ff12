// The options page in a plain test window under Wine: Next pressed through the real
// window with the message box replaced by a recorder, a card image as a Wine drive.
// With TESS_OPTION_SHOTS set to a folder, the page is also saved there as a picture in
// English, German, Japanese and Arabic.
#include <gtest/gtest.h>

#include "common/test_files.h"
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "../../common/wine_drive.h"
#include "base/messages.h"
#include "base/settings.h"
#include "devices/volumes.h"
#include "dialog_texts.h"
#include "i18n/language.h"
#include "imaging/image.h"
#include "session/scan_session.h"
#include "session/user_message.h"
#include "ui/pages/option_window.h"
#include "ui/skin/fonts.h"

namespace {

constexpr int kWidth = 793;
constexpr int kHeight = 494;

struct shown_message {
  int mode;
  std::wstring text;
};
std::vector<shown_message> g_messages;
int record_message(HWND, int mode, const wchar_t* text) {
  g_messages.push_back({mode, text});
  return 1;
}

struct start_request {
  WPARAM wparam;
  LPARAM lparam;
  ScanRequest copy;
};
std::vector<start_request> g_starts;
LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kShowScanMessage) {
    start_request start = {wparam, lparam, {}};
    if (lparam) start.copy = *reinterpret_cast<const ScanRequest*>(lparam);
    g_starts.push_back(start);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

class OptionPage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!wine_drive::running_under_wine()) GTEST_SKIP() << "needs Wine's mount manager";
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    create_application_fonts();
    ASSERT_TRUE(use_dialog_language(own_folder() + L"language.ini", 0));
    ASSERT_TRUE(load_settings());
    base_ = own_folder() + L"options";
    for (const wchar_t* sub : {L"", L"\\cache", L"\\cache\\tmp", L"\\cache\\tmp\\out", L"\\out", L"\\card_view",
                               L"\\card_view\\cache", L"\\out \x0f00"})
      CreateDirectoryW((base_ + sub).c_str(), nullptr);
    map_card();
    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = host_procedure;
    host_class.hInstance = GetModuleHandleW(nullptr);
    host_class.lpszClassName = L"option_test_host";
    RegisterClassW(&host_class);
    host_ = CreateWindowExW(0, L"option_test_host", L"options test", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, host_);
    previous_box_ = set_user_message_function(record_message);
  }

  void TearDown() override {
    set_user_message_function(previous_box_);
    if (page_.m_hWnd) page_.DestroyWindow();
    if (host_) DestroyWindow(host_);
    if (letter_) wine_drive::define_drive(letter_, DRIVE_REMOVABLE, "", "");
    DeleteFileW((base_ + L"\\card.img").c_str());
    volume_list.clear();
    reset_settings_for_test();
  }

  // A 64 MiB card image behind a free drive letter; the page lists it alone.
  void map_card() {
    letter_ = wine_drive::free_drive_letter();
    ASSERT_NE(L'\0', letter_);
    const std::wstring image_path = base_ + L"\\card.img";
    ASSERT_TRUE(wine_drive::create_card_image(image_path, 64ll << 20));
    ASSERT_TRUE(wine_drive::define_drive(letter_, DRIVE_REMOVABLE, wine_drive::unix_path_of(base_ + L"\\card_view"),
                                         wine_drive::unix_path_of(image_path)));
    enumerate_volumes();
    const std::wstring root = card_root();
    for (const VolumeEntry& entry : volume_list)
      if (entry.display_path == root) card_ = entry;
    ASSERT_FALSE(card_.volume_path.empty()) << "the card drive is listed";
    volume_list = {card_};
  }

  std::wstring card_root() const { return std::wstring(1, letter_) + L":\\"; }

  void create_page() {
    if (page_.m_hWnd) page_.DestroyWindow();
    page_.main_window = host_;
    RECT client = {0, 0, kWidth, kHeight};
    ASSERT_NE(nullptr, page_.Create(host_, client, nullptr, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    page_.MoveWindow(0, 0, kWidth, kHeight);
    page_.ShowWindow(SW_SHOW);
    pump_messages();
  }

  // Saves what the screen shows of the page.
  void save_picture(const std::wstring& path) {
    RedrawWindow(host_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (int i = 0; i < 10; ++i) {
      pump_messages();
      Sleep(50);
    }
    CImage picture;
    ASSERT_TRUE(picture.Create(kWidth, kHeight, 24));
    HDC screen = GetDC(nullptr);
    BitBlt(picture.GetDC(), 0, 0, kWidth, kHeight, screen, 0, 0, SRCCOPY);
    picture.ReleaseDC();
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(S_OK, picture.Save(path.c_str()));
  }

  std::wstring base_;
  wchar_t letter_ = L'\0';
  VolumeEntry card_;
  HWND host_ = nullptr;
  option_window_c page_;
  UserMessageFunction previous_box_ = nullptr;
};

TEST_F(OptionPage, NextRefusesEachBadChoiceWithItsWarningAndStartsAGoodOne) {
  const std::wstring cache = base_ + L"\\cache";
  const std::wstring out = base_ + L"\\out";
  std::wstring upper_cache = cache;
  CharUpperBuffW(&upper_cache[0], static_cast<DWORD>(upper_cache.size()));
  struct Case {
    const char* what;
    bool photo, video, audio;
    std::wstring cache, destination;  // the destination is typed into the folder edit
    const char* warning;              // null: the scan starts
  } cases[] = {
      {"no kind", false, false, false, cache, out, "option_msg"},
      {"no folder", true, false, false, cache, base_ + L"\\missing", "option_no_dir"},
      {"not ANSI", true, false, false, cache, base_ + L"\\out \x0f00", "option_path_chars"},
      {"equal", false, true, false, cache, upper_cache, "next_failed"},
      {"nested", false, true, false, cache, cache + L"\\tmp\\out", "next_failed"},
      {"cache on card", true, false, false, card_root() + L"cache", out, "option_same_volume"},
      {"destination on card", true, false, false, cache, card_root() + L"cache", "option_same_volume"},
      {"good", true, false, true, cache, out, nullptr},
  };
  create_page();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_messages.clear();
    g_starts.clear();
    wcscpy(cache_path, c.cache.c_str());
    CheckDlgButton(page_, option_window_c::kPhoto, c.photo ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page_, option_window_c::kVideo, c.video ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page_, option_window_c::kAudio, c.audio ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(page_, option_window_c::kFolder, c.destination.c_str());
    page_.SendMessage(WM_COMMAND, MAKEWPARAM(option_window_c::kNext, BN_CLICKED),
                      reinterpret_cast<LPARAM>(page_.GetDlgItem(option_window_c::kNext)));
    if (c.warning) {
      ASSERT_EQ(1u, g_messages.size());
      EXPECT_EQ(1, g_messages[0].mode);
      EXPECT_EQ(lookup_text(c.warning), g_messages[0].text);
      EXPECT_TRUE(g_starts.empty());
      continue;
    }
    EXPECT_TRUE(g_messages.empty());
    ASSERT_EQ(1u, g_starts.size());
    EXPECT_EQ(1u, g_starts[0].wparam);
    EXPECT_NE(0, g_starts[0].lparam);
    const ScanRequest& request = g_starts[0].copy;
    EXPECT_EQ(1, request.photo);
    EXPECT_EQ(0, request.video);
    EXPECT_EQ(1, request.audio);
    EXPECT_EQ(std::string(cache.begin(), cache.end()), request.cache_folder);
    EXPECT_EQ(std::string(card_.volume_path.begin(), card_.volume_path.end()), request.volume);
    EXPECT_EQ(out, recovery_path) << "the typed destination is stored";
  }
}

TEST_F(OptionPage, PicturesInFourLanguages) {
  wchar_t folder[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"TESS_OPTION_SHOTS", folder, MAX_PATH)) GTEST_SKIP() << "TESS_OPTION_SHOTS not set";
  for (int language = 0; language < 4; ++language) {
    ASSERT_TRUE(use_dialog_language(own_folder() + L"language.ini", language));
    create_page();
    CheckDlgButton(page_, option_window_c::kPhoto, BST_CHECKED);
    save_picture(std::wstring(folder) + L"\\options_" + dialog_languages(language).code + L".png");
  }
}

}  // namespace
