// The recovery page under Wine, hosted in a plain top-level window and driven by the
// messages the main window sends, against the engine stand-in (Kestrune\kessrv.exe
// beside this test) over the real pipe. With TESS_SHOT_DIR set, it also leaves pictures
// of the page during and after a scan in four languages.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/scan_run.h"
#include "common/test_files.h"
#include "dialog_texts.h"
#include "imaging/image.h"
#include "session/engine_pipe.h"
#include "session/found_file_list.h"
#include "session/user_message.h"
#include "ui/pages/recovery_window.h"

namespace {

void pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

bool pump_until(const std::function<bool()>& done, DWORD ms = 20000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    pump(10);
  }
  return true;
}

// The boxes the page shows, recorded instead of shown. A recorded box runs the thread's
// messages for a while, as a modal box would, timers included.
struct Box {
  int mode;
  std::wstring text;
  bool list_free;  // another thread could take the list lock meanwhile
};
std::vector<Box> g_boxes;
int g_depth = 0, g_deepest = 0;
DWORD g_box_ms = 0;

DWORD WINAPI take_list_lock(void*) {
  DWORD got = WaitForSingleObject(g_found_files.lock, 300);
  if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) ReleaseMutex(g_found_files.lock);
  return got == WAIT_OBJECT_0;
}

bool list_lock_free() {
  HANDLE thread = CreateThread(nullptr, 0, take_list_lock, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD got = 0;
  GetExitCodeThread(thread, &got);
  CloseHandle(thread);
  return got != 0;
}

int record_box(HWND, int mode, const wchar_t* text) {
  g_deepest = ++g_depth > g_deepest ? g_depth : g_deepest;
  g_boxes.push_back({mode, text, list_lock_free()});
  pump(g_box_ms);
  --g_depth;
  return 1;
}

bool process_gone(DWORD id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (!process) return true;
  bool gone = WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
}

class RecoveryPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    create_list_lock();
    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = DefWindowProcW;
    host_class.hInstance = GetModuleHandleW(nullptr);
    host_class.lpszClassName = L"RecoveryHost";
    RegisterClassW(&host_class);
  }

  void SetUp() override {
    open_page(0);
    set_user_message_function(record_box);
    g_boxes.clear();
    g_depth = g_deepest = 0;
    g_box_ms = 0;
    SetEnvironmentVariableA("TESS_STANDIN_LOG", (logs / "engine.log").c_str());
    GetCurrentDirectoryA(MAX_PATH, previous_directory);
    SetCurrentDirectoryA(scratch.path().c_str());
  }
  void TearDown() override {
    close_page();
    set_user_message_function(nullptr);
    SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", nullptr);
    SetEnvironmentVariableA("TESS_STANDIN_LOG", nullptr);
    reset_found_files();
    SetCurrentDirectoryA(previous_directory);
  }

  void open_page(int language) {
    ASSERT_TRUE(use_dialog_language(own_folder() + L"language.ini", language));
    host = CreateWindowExW(0, L"RecoveryHost", L"recovery page", WS_POPUP | WS_VISIBLE, 0, 0, 793, 494, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    page = new recovery_window_c;
    RECT area = {0, 0, 793, 494};
    ASSERT_NE(page->Create(host, area, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              nullptr);
  }
  void close_page() {
    page->DestroyWindow();
    delete page;
    DestroyWindow(host);
  }

  void start(const std::string& script) {
    SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", script.c_str());
    ScanRequest request = {};
    std::strcpy(request.cache_folder, (scratch / "cache").c_str());
    std::strcpy(request.volume, "E:\\");
    request.photo = request.video = request.audio = 1;
    page->SendMessage(kStartScanMessage, 0, reinterpret_cast<LPARAM>(&request));
  }
  void click(int id) { page->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  bool scan_over(DWORD ms = 20000) {
    return pump_until([&] { return page->run_state() == recovery_window_c::kIdle; }, ms);
  }
  bool engine_started() {
    return pump_until([&] {
      std::ifstream in(logs / "engine.log");
      std::stringstream text;
      text << in.rdbuf();
      return text.str().find("cmd: ") != std::string::npos;
    });
  }
  size_t listed() {
    ListLock hold;
    return g_found_files.records.size();
  }

  std::wstring text_of(HTREEITEM item) {
    wchar_t text[64] = {};
    page->tree.GetItemText(item, text, 64);
    return text;
  }
  std::vector<std::wstring> children(HTREEITEM parent) {
    std::vector<std::wstring> texts;
    for (HTREEITEM item = page->tree.GetChildItem(parent); item; item = page->tree.GetNextSiblingItem(item))
      texts.push_back(text_of(item));
    return texts;
  }
  std::vector<std::wstring> top_level() { return children(TVI_ROOT); }

  // The page as the screen shows it, when pictures are wanted.
  void picture(const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"TESS_SHOT_DIR", folder, MAX_PATH)) return;
    page->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump(300);
    CImage shot;
    ASSERT_TRUE(shot.Create(793, 494, 24));
    HDC screen = GetDC(nullptr);
    HDC dc = shot.GetDC();
    BitBlt(dc, 0, 0, 793, 494, screen, 0, 0, SRCCOPY);
    shot.ReleaseDC();
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(shot.Save((std::wstring(folder) + L"\\" + name + L".png").c_str()), S_OK);
  }

  ScratchFolder scratch, logs{"logs"};
  char previous_directory[MAX_PATH];
  HWND host = nullptr;
  recovery_window_c* page = nullptr;
};

}  // namespace

// One scan from request to end: ticks sort the files into the tree by exact extension,
// the files reported right before the end are taken in too, and the bar ends at 100 %.
TEST_F(RecoveryPage, ScanFillsTheTreeAndEndsAtAFullBar) {
  start("connect|progress 1000 100|file a.JPG 20|file b.jpg 20|file c.mov 20|sleep 800"
        "|progress 1000 600|file d.wav 20|file e.jpg 20|file f.png 20|progress 1000 1000|end");
  EXPECT_EQ(page->run_state(), recovery_window_c::kRunning);
  EXPECT_TRUE(page->stop_button.IsWindowVisible());
  ASSERT_TRUE(pump_until([&] { return children(page->roots[0]).size() == 2; }));
  EXPECT_EQ(children(page->roots[0]), (std::vector<std::wstring>{L"JPG", L"jpg"}));
  EXPECT_LT(page->shown_percent(), 100);
  // No more ticks until the scan has ended: the one tick that sees the end takes in the rest.
  page->KillTimer(recovery_window_c::kTickTimer);
  ASSERT_TRUE(has_ended(poll_until(page->scan, has_ended, 20000)));
  EXPECT_LT(page->tree_cursor, 6u);
  page->SendMessage(WM_TIMER, recovery_window_c::kTickTimer);
  EXPECT_EQ(page->run_state(), recovery_window_c::kIdle);
  EXPECT_EQ(children(page->roots[0]), (std::vector<std::wstring>{L"JPG", L"jpg", L"png"}));
  EXPECT_EQ(children(page->roots[1]), std::vector<std::wstring>{L"mov"});
  EXPECT_EQ(children(page->roots[2]), std::vector<std::wstring>{L"wav"});
  EXPECT_EQ(page->tree_cursor, 6u);
  EXPECT_EQ(page->preview.categories["photo"].size(), 4u);
  page->UpdateWindow();
  EXPECT_EQ(page->shown_percent(), 100);
  EXPECT_FALSE(page->stop_button.IsWindowVisible());
  EXPECT_TRUE(process_gone(page->shown.engine_id));
  EXPECT_TRUE(g_boxes.empty());
}

// Stop ends the engine and keeps what was found; Start then scans again from a clean
// block. A stop while the engine never connects comes back at once.
TEST_F(RecoveryPage, StopLeavesNoEngineAndStartScansAgain) {
  start("connect|progress 100 10|file a.jpg 20|sleep 60000");
  ASSERT_TRUE(pump_until([&] { return page->tree_cursor == 1; }));
  const DWORD first_engine = page->scan.poll().engine_id;
  click(recovery_window_c::kStopId);
  EXPECT_EQ(page->run_state(), recovery_window_c::kIdle);
  EXPECT_EQ(page->scan.poll().state, ScanState::ended);
  EXPECT_TRUE(process_gone(first_engine));
  EXPECT_EQ(children(page->roots[0]), std::vector<std::wstring>{L"jpg"});
  page->UpdateWindow();
  EXPECT_EQ(page->shown_percent(), 10);

  SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", "connect|file b.png 20|end");
  click(recovery_window_c::kStartId);
  ASSERT_TRUE(scan_over());
  EXPECT_EQ(children(page->roots[0]), std::vector<std::wstring>{L"png"});
  EXPECT_EQ(listed(), 1u);
  EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? L"" : g_boxes[0].text).c_str();

  // Home with an extension chosen in the tree: the page empties without reading freed items.
  page->tree.SelectItem(page->tree.GetChildItem(page->roots[0]));
  EXPECT_EQ(page->preview.current_category, "png");
  click(recovery_window_c::kHomeId);
  EXPECT_EQ(top_level().size(), 3u);
  EXPECT_TRUE(children(page->roots[0]).empty());
  EXPECT_TRUE(page->extensions.empty());
  EXPECT_EQ(listed(), 0u);

  DeleteFileA((logs / "engine.log").c_str());
  start("sleep 60000");
  ASSERT_TRUE(engine_started());
  const DWORD silent_engine = page->scan.poll().engine_id;
  const DWORD before = GetTickCount();
  page->stop_scan();
  EXPECT_LT(GetTickCount() - before, 5000u);
  EXPECT_TRUE(process_gone(silent_engine));
  page->stop_scan();  // again, with nothing left to stop
  EXPECT_EQ(page->run_state(), recovery_window_c::kIdle);

  // Paused, then Home and yes: the suspended engine is ended without a resume.
  start("connect|file a.jpg 20|sleep 60000");
  ASSERT_TRUE(pump_until([&] { return page->tree_cursor == 1; }));
  click(recovery_window_c::kStartId);
  EXPECT_EQ(page->run_state(), recovery_window_c::kPaused);
  wchar_t label[32] = {};
  page->start_button.GetWindowText(label, 32);
  EXPECT_EQ(label, lookup_text("btn_resume"));
  const DWORD paused_engine = page->scan.poll().engine_id;
  click(recovery_window_c::kHomeId);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].mode, 3);
  EXPECT_EQ(g_boxes[0].text, lookup_text("cancel_confirm"));
  EXPECT_EQ(page->run_state(), recovery_window_c::kIdle);
  EXPECT_TRUE(process_gone(paused_engine));
  EXPECT_EQ(listed(), 0u);
}

// Scans that do not end well are told in a box, and keep what was found: an engine that
// dies or crashes mid-scan, or fails, a full cache disk, a card that could not be read
// to its end, and a pipe that cannot be made. Only a scan that went through the whole
// card shows a full bar.
TEST_F(RecoveryPage, ScansThatEndBadlySaySoAndKeepTheirFiles) {
  struct Case {
    const char* script;
    const char* key;  // the box's text, or none
    int mode;
    int percent;
  } cases[] = {
      {"connect|progress 1000 2500|file a.jpg 20|die", "engine_failed", 2, 99},  // more done than the total
      {"connect|progress 1000 500|file a.jpg 20|crash", "engine_failed", 2, 50},
      {"connect|progress 1000 500|file a.jpg 20|end|exit 1", "engine_failed", 2, 50},
      {"connect|progress 1000 500|file a.jpg 20|end|exit 4", "engine_cache_full", 2, 50},
      {"connect|progress 1000 1000|file a.jpg 20|end|exit 5", "engine_unreadable", 1, 100},
      {"connect|progress 1000 1000|file a.jpg 20|end|exit 0", nullptr, 0, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    g_boxes.clear();
    start(c.script);
    ASSERT_TRUE(scan_over());
    if (c.key) {
      ASSERT_EQ(g_boxes.size(), 1u);
      EXPECT_EQ(g_boxes[0].mode, c.mode);
      EXPECT_EQ(g_boxes[0].text, lookup_text(c.key));
      EXPECT_FALSE(g_boxes[0].text.empty());
    } else {
      EXPECT_TRUE(g_boxes.empty());
    }
    EXPECT_EQ(children(page->roots[0]), std::vector<std::wstring>{L"jpg"});
    page->UpdateWindow();
    EXPECT_EQ(page->shown_percent(), c.percent);
  }

  g_boxes.clear();
  HANDLE taken = create_engine_pipe();  // the one instance the page would make
  ASSERT_NE(taken, nullptr);
  start("connect|end");
  EXPECT_TRUE(scan_over(5000));
  close_engine_pipe(taken);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, lookup_text("engine_failed"));
}

// Unknown extensions are told after the tick has let go of the list, and a box that
// runs the timer while it is open doesn't start a second tick.
TEST_F(RecoveryPage, BoxesInTheTickNeitherHoldTheListNorReenter) {
  g_box_ms = 900;
  start("connect|file a.docx 20|sleep 400|file b.xyz 20|sleep 400|file c.jpg 20|end");
  ASSERT_TRUE(scan_over());
  ASSERT_TRUE(pump_until([&] { return page->tree_cursor == 3 && g_depth == 0; }));
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[0].text, L"docx");
  EXPECT_EQ(g_boxes[1].text, L"xyz");
  EXPECT_TRUE(g_boxes[0].list_free && g_boxes[1].list_free);
  EXPECT_EQ(g_deepest, 1);
  const std::vector<std::wstring> top = top_level();
  EXPECT_EQ(top.size(), 5u);
  EXPECT_EQ(top[3], L"docx");
  EXPECT_EQ(top[4], L"xyz");
}

// List-only mode after resuming hides Start and Stop, but not during a scan.
TEST_F(RecoveryPage, ListOnlyModeKeepsTheButtonsOfARunningScan) {
  start("connect|sleep 60000");
  page->SendMessage(kListOnlyMessage);
  EXPECT_TRUE(page->stop_button.IsWindowVisible());
  page->stop_scan();
  ASSERT_EQ(append_cached_file("C:\\cache\\tmp.1\\x.nef"), 0);
  page->SendMessage(kListOnlyMessage);
  EXPECT_FALSE(page->start_button.IsWindowVisible());
  ASSERT_TRUE(pump_until([&] { return page->tree_cursor == 1; }));
  EXPECT_EQ(children(page->roots[0]), std::vector<std::wstring>{L"nef"});

  // Shooting times the runtime cannot convert are painted as unknown, not followed.
  page->SendMessage(kFocusedFileMessage, 0);
  for (int64_t bad : {int64_t(-1), int64_t(1) << 40, INT64_MAX}) {
    {
      ListLock hold;
      g_found_files.records[0].timestamp = bad;
    }
    page->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
}

// Pictures of the page in English, German, Japanese and Arabic, during and after a scan.
TEST_F(RecoveryPage, Pictures) {
  for (int language = 0; language < 4; ++language) {
    close_page();
    open_page(language);
    // The engine holds after the first four files until the picture during the scan is taken.
    const std::string go = logs / ("go" + std::to_string(language));
    start("connect|progress 200000 0|file a.JPG 20|file b.nef 20|file c.mov 20|file d.mp3 20"
          "|progress 200000 90000|await " + go + "|file e.jpg 20|progress 200000 200000|end");
    ASSERT_TRUE(pump_until([&] { return page->tree_cursor == 4 && page->shown_percent() >= 40; }));
    {
      ListLock hold;
      FoundFile& first = g_found_files.records[1];
      first.timestamp = 1689326813;
      std::strcpy(first.camera, "Synth SynthCam K1");
      first.width = 128;
      first.height = 96;
    }
    page->SendMessage(kFocusedFileMessage, 1);
    page->SendMessage(kViewCountsMessage, 4, 1);
    picture(std::wstring(L"recovery_") + dialog_languages(language).code + L"_during");
    ASSERT_TRUE(write_bytes(go, {}));
    ASSERT_TRUE(scan_over());
    picture(std::wstring(L"recovery_") + dialog_languages(language).code + L"_after");
  }
}
