// Tessaline.exe end to end under Wine, driven from this second process through its real
// windows: a generated card whose media were deleted is mapped as a removable drive,
// scanned by the real engine, and its files are recovered byte for byte. Screenshots of
// every page go to the folder printed at the start.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "i18n/language.h"
#include "common/card_manifest.h"
#include "common/test_files.h"
#include "common/wine_drive.h"
#include "program_driver.h"

namespace {

using driver::press;
using driver::program;
using driver::wait_until;

// Control ids of the pages.
enum { kHomeStart = 1, kHomeResume = 2 };
enum { kOptionNext = 3, kOptionVolumes = 8, kOptionFolder = 10, kOptionPhoto = 11, kOptionVideo = 12,
       kOptionAudio = 13, kOptionDestination = 14, kOptionCache = 15 };
enum { kRecoveryBack = 3, kRecoverButton = 5, kSelectAll = 6, kScanButton = 7, kStopButton = 8, kTree = 10 };
constexpr int kBoxFirst = 1, kBoxSecond = 2;
constexpr int kPhotoPlaceholder = 203, kRawPlaceholder = 218;  // the grid's bitmaps

const char kCard[] = "card.img";
const char kManifest[] = "card.img.originals\\manifest.tsv";

std::wstring program_file(const wchar_t* name) {
  std::wstring path = L"Z:" TESS_PROGRAM_DIR L"/" + std::wstring(name);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}
std::wstring program_path() { return program_file(L"Tessaline.exe"); }

// The text a message box of the program shows (its hidden text control).
std::wstring box_text(HWND box) { return driver::text_of(GetDlgItem(box, 1000)); }

// The program's texts in `language`, as it reads them.
std::wstring text_in(const wchar_t* language, const char* key) {
  reset_language_for_test();
  load_language_file(program_file(L"language.ini"), language, true);
  return lookup_text(key);
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

void write_setting(const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Orvalin", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

std::vector<std::wstring> files_in(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  while (FindNextFileW(search, &data));
  FindClose(search);
  return names;
}

void set_arial_stand_in(const wchar_t* face) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"Arial", 0, REG_SZ, reinterpret_cast<const BYTE*>(face),
                 static_cast<DWORD>((lstrlenW(face) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

class ProgramRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!wine_drive::running_under_wine()) return;
    letter_ = wine_drive::free_drive_letter();
    CreateDirectoryW(L"card_view", nullptr);
    CreateDirectoryW(L"card_view\\cache", nullptr);
    defined_ = letter_ && wine_drive::define_drive(letter_, DRIVE_REMOVABLE, wine_drive::unix_path_of(L"card_view"),
                                                   wine_drive::unix_path_of(L"card.img"));
    CreateDirectoryW(L"screenshots", nullptr);
    std::printf("Screenshots: %s\n", wine_drive::unix_path_of(own_folder() + L"screenshots").c_str());
  }
  static void TearDownTestSuite() {
    if (defined_) wine_drive::define_drive(letter_, DRIVE_REMOVABLE, "", "");
  }
  void SetUp() override {
    if (!defined_) GTEST_SKIP() << "needs Wine's mount manager and the card";
    originals_ = card_manifest::deleted_originals(kManifest);
    ASSERT_GE(originals_.size(), 5u) << "the card's manifest is there";
    card_hash_ = card_manifest::sha256_hex(read_bytes(kCard));
  }
  void TearDown() override {
    if (defined_) {
      EXPECT_EQ(card_hash_, card_manifest::sha256_hex(read_bytes(kCard))) << "the card is never written";
    }
  }

  // Settings as a user left them: a cache and a destination in the test's folder.
  void prepare_settings(const wchar_t* language, const std::wstring& destination) {
    cache_ = own_folder() + L"cache";
    CreateDirectoryW(cache_.c_str(), nullptr);
    CreateDirectoryW(destination.c_str(), nullptr);
    for (const std::wstring& name : files_in(destination)) DeleteFileW((destination + L"\\" + name).c_str());
    write_setting(L"CachePath", cache_);
    write_setting(L"RecoveryPath", destination);
    write_setting(L"Language", language);
  }

  void shot(HWND window, const std::string& name) {
    Sleep(400);  // let the last paint reach the screen
    driver::save_bmp(driver::grab_window(window), own_folder() + L"screenshots\\" +
                                                      std::wstring(name.begin(), name.end()) + L".bmp");
  }

  HWND wait_box(const program& p, DWORD ms = 20000) {
    HWND box = nullptr;
    wait_until([&] { return (box = p.message_box()) != nullptr; }, ms);
    return box;
  }

  // Home → options with the card, all kinds and `destination` → Next.
  void choose_and_start(program& p, const std::wstring& destination, const std::string& lang) {
    HWND options = p.page(L"OptionWindow");
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(options) != FALSE; }, 10000)) << "options page shown";
    HWND volumes = GetDlgItem(options, kOptionVolumes);
    const std::wstring drive = std::wstring(1, letter_) + L":";
    int line = -1;
    const int lines = static_cast<int>(SendMessageW(volumes, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < lines && line < 0; ++i) {
      wchar_t text[512] = {};
      if (SendMessageW(volumes, CB_GETLBTEXTLEN, i, 0) < 512) SendMessageW(volumes, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      if (std::wstring(text).find(drive) != std::wstring::npos) line = i;
    }
    ASSERT_GE(line, 0) << "the card " << narrow(drive) << " is in the volume list (" << lines << " lines)";
    SendMessageW(volumes, CB_SETCURSEL, line, 0);
    driver::set_check(options, kOptionPhoto, true);
    driver::set_check(options, kOptionVideo, true);
    driver::set_check(options, kOptionAudio, true);
    SetWindowTextW(GetDlgItem(options, kOptionFolder), destination.c_str());
    if (!lang.empty()) shot(p.main(), lang + "-2-options");
    press(options, kOptionNext);
    // Under Wine the card drive reports the size of the folder behind it, which may
    // exceed the cache's free space: the space question then comes first, and OK goes on.
    HWND recovery = p.page(L"RecoveryWindow");
    HWND box = nullptr;
    wait_until([&] { return IsWindowVisible(recovery) || (box = p.message_box()) != nullptr; }, 10000);
    if (box) press(box, kBoxFirst);
  }

  // Waits for the running scan to end: Stop hidden again on the visible recovery page.
  bool wait_scan_end(program& p, DWORD ms = 120000) {
    HWND recovery = p.page(L"RecoveryWindow");
    return wait_until([&] { return IsWindowVisible(recovery) && !driver::visible(recovery, kStopButton); }, ms);
  }

  // Extension texts below the three kind roots.
  std::map<int, std::set<std::wstring>> tree_extensions(HWND recovery) {
    HWND tree = GetDlgItem(recovery, kTree);
    std::map<int, std::set<std::wstring>> kinds;
    const std::vector<HTREEITEM> roots = driver::tree_children(tree, nullptr);
    for (size_t kind = 0; kind < roots.size(); ++kind)
      for (HTREEITEM child : driver::tree_children(tree, roots[kind])) kinds[kind].insert(driver::tree_text(tree, child));
    return kinds;
  }

  // Ticks every file of each kind through the tree and the select-all box.
  void select_everything(HWND recovery) {
    HWND tree = GetDlgItem(recovery, kTree);
    for (HTREEITEM root : driver::tree_children(tree, nullptr)) {
      SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
      driver::set_check(recovery, kSelectAll, true);
      press(recovery, kSelectAll);
      Sleep(200);
    }
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(driver::tree_children(tree, nullptr)[0]));
  }

  // sha256 of every file recovered into `folder`.
  std::set<std::string> recovered(const std::wstring& folder) {
    std::set<std::string> hashes;
    for (const std::wstring& name : files_in(folder))
      hashes.insert(card_manifest::sha256_hex(read_bytes(narrow(folder + L"\\" + name))));
    return hashes;
  }

  // The whole road in one language, every deleted original recovered byte for byte.
  void road(const wchar_t* language, const std::string& lang, program& p, const std::wstring& destination) {
    prepare_settings(language, destination);
    // Wine joins Arabic letters only in a font that has them itself, not in a linked one.
    set_arial_stand_in(lang == "ar" ? L"DejaVu Sans" : L"Liberation Sans");
    ASSERT_TRUE(p.start()) << "the main window shows";
    shot(p.main(), lang + "-1-home");
    press(p.page(L"HomeWindow"), kHomeStart);
    ASSERT_NO_FATAL_FAILURE(choose_and_start(p, destination, lang));
    HWND recovery = p.page(L"RecoveryWindow");
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(recovery) != FALSE; }, 10000)) << "recovery page shown";
    shot(p.main(), lang + "-3-scanning");
    ASSERT_TRUE(wait_scan_end(p)) << "the scan ends";
    const auto kinds = tree_extensions(recovery);
    const std::map<int, std::set<std::wstring>> expected = {
        {0, {L"jpg", L"png", L"gif", L"bmp", L"tiff", L"dng", L"heic", L"avif", L"cr3"}}, {1, {L"avi"}}, {2, {L"wav"}}};
    EXPECT_EQ(expected, kinds) << "the tree sorts the card's files by kind and extension";
    // A thumbnail replaces the first tile's placeholder picture.
    HWND grid = FindWindowExW(recovery, nullptr, L"PreviewWindow", nullptr);
    const driver::picture photo = driver::program_bitmap(program_path(), kPhotoPlaceholder);
    const driver::picture raw = driver::program_bitmap(program_path(), kRawPlaceholder);
    ASSERT_GT(photo.width, 0);
    // The tile at `x` of the first row (10 the first, 147 the second) shows a thumbnail.
    auto thumbnail_shown = [&](int x) {
      return wait_until([&] {
        const driver::picture now = driver::grab_client(grid);
        return driver::differs(now, x, 10, photo) && driver::differs(now, x, 10, raw);
      }, 30000);
    };
    EXPECT_TRUE(thumbnail_shown(10)) << "a thumbnail appears in the grid";
    shot(p.main(), lang + "-4-scanned");
    // The stills of current cameras and phones, each under its extension's node: a
    // thumbnail in the grid, and the panel's facts once its tile is focused.
    if (lang == "en") {
      HWND tree = GetDlgItem(recovery, kTree);
      const std::map<std::wstring, int> stills = {{L"heic", 2}, {L"avif", 1}, {L"cr3", 1}};  // the demo card's
      for (HTREEITEM node : driver::tree_children(tree, driver::tree_children(tree, nullptr)[0])) {
        const std::wstring ext = driver::tree_text(tree, node);
        if (!stills.count(ext)) continue;
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
        for (int tile = 0; tile < stills.at(ext); tile++)
          EXPECT_TRUE(thumbnail_shown(10 + 137 * tile)) << narrow(ext) << " tile " << tile << " has a thumbnail";
        for (int x : {60, 197}) {  // the second tile, when there is one, stays focused
          PostMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 40));
          PostMessageW(grid, WM_LBUTTONUP, 0, MAKELPARAM(x, 40));
        }
        shot(p.main(), lang + "-4-" + narrow(ext));
      }
    }
    select_everything(recovery);
    press(recovery, kRecoverButton);
    HWND box = wait_box(p, 60000);
    ASSERT_NE(box, nullptr) << "the outcome box shows";
    shot(box, lang + "-5-finished");
    const std::wstring outcome = box_text(box);
    press(box, kBoxSecond);
    std::set<std::string> hashes = recovered(destination);
    const std::wstring count = std::to_wstring(files_in(destination).size());
    EXPECT_EQ(fill_text(text_in(language, "recovery_finished"), {count}), outcome) << "the count of files written";
    for (const auto& original : originals_)
      EXPECT_TRUE(hashes.count(original.first)) << original.second << " " << original.first << " recovered byte for byte";
  }

  static wchar_t letter_;
  static bool defined_;
  std::map<std::string, std::string> originals_;
  std::string card_hash_;
  std::wstring cache_;
};
wchar_t ProgramRoad::letter_ = 0;
bool ProgramRoad::defined_ = false;

TEST_F(ProgramRoad, EnglishRoadAndRestarts) {
  const std::wstring destination = own_folder() + L"out_en";
  {
    program p(program_path());
    ASSERT_NO_FATAL_FAILURE(road(L"English", "en", p, destination));
    HWND recovery = p.page(L"RecoveryWindow");
    const auto first_tree = tree_extensions(recovery);

    // A second start wakes the first and ends with -1.
    program second(program_path());
    second.start();
    EXPECT_EQ(static_cast<DWORD>(-1), second.wait_exit(20000)) << "the second instance exits";
    EXPECT_EQ(p.main(), GetForegroundWindow()) << "the first instance comes to the front";

    // Stop, then Start scans again and finds the same.
    press(recovery, kScanButton);
    ASSERT_TRUE(wait_until([&] { return driver::visible(recovery, kStopButton); }, 5000));
    press(recovery, kStopButton);
    ASSERT_TRUE(wait_until([&] { return !driver::visible(recovery, kStopButton); }, 10000)) << "Stop ends the scan";
    EXPECT_TRUE(wait_until([] { return driver::count_processes(L"kessrv.exe") == 0; }, 10000)) << "no engine after Stop";
    press(recovery, kScanButton);
    ASSERT_TRUE(wait_until([&] { return driver::visible(recovery, kStopButton); }, 5000)) << "Start after Stop scans";
    ASSERT_TRUE(wait_scan_end(p));
    EXPECT_EQ(first_tree, tree_extensions(recovery)) << "the second scan finds the same";

    // Idle: closing asks nothing.
    PostMessageW(p.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, p.wait_exit(20000)) << "the program closes";
  }
  {
    // After a restart, Resume lists the files of the last scan.
    program p(program_path());
    ASSERT_TRUE(p.start());
    HWND recovery = p.page(L"RecoveryWindow");
    press(p.page(L"HomeWindow"), kHomeResume);
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(recovery) != FALSE; }, 30000)) << "resume shows the files";
    Sleep(600);  // a tick takes the list in
    EXPECT_FALSE(tree_extensions(recovery).empty());

    // Back to the options: a cache folder on the card is refused.
    press(recovery, kRecoveryBack);
    HWND options = p.page(L"OptionWindow");
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(options) != FALSE; }, 10000));
    write_setting(L"CachePath", cache_);
    press(options, kOptionCache);
    Sleep(300);
    SetWindowTextW(GetDlgItem(options, kOptionFolder), (std::wstring(1, letter_) + L":\\cache").c_str());
    driver::set_check(options, kOptionPhoto, true);
    press(options, kOptionNext);
    HWND box = wait_box(p);
    ASSERT_NE(box, nullptr) << "a warning refuses the cache on the card";
    shot(box, "en-6-cache-on-card");
    EXPECT_EQ(text_in(L"English", "option_same_volume"), box_text(box));
    press(box, kBoxFirst);
    ASSERT_TRUE(wait_until([&] { return p.message_box() == nullptr; }, 5000));
    EXPECT_FALSE(IsWindowVisible(recovery)) << "no scan started";

    // A good cache again, Next, pause, and close: the program asks, then ends the engine.
    SetWindowTextW(GetDlgItem(options, kOptionFolder), cache_.c_str());
    press(options, kOptionDestination);
    Sleep(300);
    ASSERT_NO_FATAL_FAILURE(choose_and_start(p, destination, ""));
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(recovery) && driver::visible(recovery, kStopButton); }, 10000));
    press(recovery, kScanButton);  // pause
    PostMessageW(p.main(), WM_CLOSE, 0, 0);
    box = wait_box(p);
    ASSERT_NE(box, nullptr) << "closing during a scan asks";
    shot(box, "en-7-cancel-confirm");
    EXPECT_EQ(text_in(L"English", "cancel_confirm"), box_text(box));
    press(box, kBoxFirst);
    EXPECT_EQ(0u, p.wait_exit(20000)) << "yes closes the program";
    EXPECT_TRUE(wait_until([] { return driver::count_processes(L"kessrv.exe") == 0; }, 10000)) << "no engine left";
  }
}

// Start-up with the language file missing, or damaged beyond reading: a missing file
// stops the program with the numbered failure in the system's box; a damaged one lets it
// start on whatever texts it could read.
TEST(ProgramStart, MissingLanguageFileIsCodeFourAndADamagedOneStillStarts) {
  const char head[] = "\xEF\xBB\xBF\x00\xFF\xFE[Eng\x00lish]\r\r\n\xC3\x28=\"\x80\"\n[English]\nmenu_help=\"";
  std::string garbage(head, sizeof head - 1);
  garbage += std::string(5000, '\xE9') + "\n";
  for (int i = 0; i < 256; ++i) garbage += static_cast<char>(i * 37);
  const struct {
    const char* what;
    const char* content;  // null: no file
    size_t size;
  } cases[] = {
      {"missing", nullptr, 0},
      {"damaged", garbage.data(), garbage.size()},
      {"empty", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder("start");
    const std::string exe = folder / "Tessaline.exe";
    ASSERT_TRUE(CopyFileW(program_path().c_str(), std::wstring(exe.begin(), exe.end()).c_str(), FALSE));
    if (c.content) {
      ASSERT_TRUE(write_file(folder / "language.ini", c.content, c.size));
    }
    program p(std::wstring(exe.begin(), exe.end()));
    if (!c.content) {
      ASSERT_TRUE(p.launch());
      HWND box = nullptr;
      ASSERT_TRUE(wait_until([&] { return (box = p.message_box()) != nullptr; }, 30000)) << "the failure is shown";
      EXPECT_EQ(L"Application initialization failed, error code: 4.", driver::text_of(GetDlgItem(box, 0xFFFF)));
      EXPECT_EQ(L"Tessaline", driver::text_of(box));
      press(box, IDOK);
      EXPECT_EQ(static_cast<DWORD>(-1), p.wait_exit(20000)) << "and the program ends";
    } else {
      ASSERT_TRUE(p.start()) << "the main window shows";
      PostMessageW(p.main(), WM_CLOSE, 0, 0);
      EXPECT_EQ(0u, p.wait_exit(20000)) << "the program closes";
    }
  }
}

TEST_F(ProgramRoad, OtherLanguages) {
  const struct { const wchar_t* name; const char* code; } languages[] = {
      {L"Deutsch", "de"}, {L"\u65e5\u672c\u8a9e", "ja"}, {L"\u0627\u0644\u0639\u0631\u0628\u064a\u0629", "ar"}};
  for (const auto& language : languages) {
    SCOPED_TRACE(language.code);
    program p(program_path());
    road(language.name, language.code, p, own_folder() + L"out_" + std::wstring(language.code, language.code + 2));
    PostMessageW(p.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, p.wait_exit(20000));
  }
  write_setting(L"Language", L"English");
  set_arial_stand_in(L"Liberation Sans");
}

}  // namespace
