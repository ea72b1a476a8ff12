// Windows of our own classes, superclasses and subclassed controls, with real windows.
#include <gtest/gtest.h>

#include <cstdlib>

#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "framework/window.h"

namespace {

constexpr UINT kAsk = WM_USER + 1;
constexpr UINT kPassOn = WM_USER + 2;
constexpr UINT kMixinOnly = WM_USER + 3;

// A mixin with its own map, reached through CHAIN_MSG_MAP.
template <class T>
class counting_mixin {
 public:
  int seen = 0;
  BEGIN_MSG_MAP(counting_mixin)
    MESSAGE_HANDLER(kPassOn, on_any)
    MESSAGE_HANDLER(kMixinOnly, on_any)
  END_MSG_MAP()
  LRESULT on_any(UINT, WPARAM wParam, LPARAM, BOOL&) {
    ++seen;
    return 100 + static_cast<LRESULT>(wParam);
  }
};

class map_window : public CWindowImpl<map_window, CWindow, FrameTraits>,
                   public counting_mixin<map_window> {
 public:
  DECLARE_WND_CLASS(L"tess_test_map_window")

  std::vector<std::wstring> log;
  int final_messages = 0;
  bool throw_on_create = false;

  BEGIN_MSG_MAP(map_window)
    MESSAGE_HANDLER(WM_CREATE, on_create)
    MESSAGE_HANDLER(kAsk, on_ask)
    MESSAGE_HANDLER(kPassOn, on_pass_on)
    COMMAND_HANDLER(5, BN_CLICKED, on_clicked_5)
    COMMAND_ID_HANDLER(6, on_command_6)
    NOTIFY_HANDLER(7, NM_CLICK, on_notify_7)
    NOTIFY_CODE_HANDLER(NM_RCLICK, on_rclick)
    CHAIN_MSG_MAP(counting_mixin<map_window>)
  END_MSG_MAP()

  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&) {
    if (throw_on_create) throw std::runtime_error("no");
    log.push_back(L"create");
    return 0;
  }
  LRESULT on_ask(UINT, WPARAM wParam, LPARAM, BOOL&) { return static_cast<LRESULT>(wParam) * 2; }
  LRESULT on_pass_on(UINT, WPARAM, LPARAM, BOOL& handled) {
    log.push_back(L"pass");
    handled = FALSE;
    return 0;
  }
  LRESULT on_clicked_5(WORD code, WORD id, HWND, BOOL&) {
    log.push_back(L"clicked " + std::to_wstring(id) + L"/" + std::to_wstring(code));
    return 0;
  }
  LRESULT on_command_6(WORD code, WORD, HWND, BOOL&) {
    log.push_back(L"command 6/" + std::to_wstring(code));
    return 0;
  }
  LRESULT on_notify_7(int id, LPNMHDR, BOOL&) {
    log.push_back(L"notify " + std::to_wstring(id));
    return 11;
  }
  LRESULT on_rclick(int id, LPNMHDR, BOOL&) {
    log.push_back(L"rclick " + std::to_wstring(id));
    return 12;
  }
  void OnFinalMessage(HWND) override { ++final_messages; }
};

LRESULT notify(HWND window, UINT_PTR id, UINT code) {
  NMHDR header = {nullptr, id, code};
  return ::SendMessageW(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
}

TEST(Window, MessageMapDispatchesChainsAndFallsBackToDefault) {
  map_window window;
  RECT rect = {0, 0, 200, 100};
  ASSERT_NE(window.Create(nullptr, rect, L"map title"), nullptr);
  EXPECT_EQ(window.log, std::vector<std::wstring>{L"create"});

  EXPECT_EQ(window.SendMessage(kAsk, 21), 42);
  // The handler declines, the chained mixin answers.
  EXPECT_EQ(window.SendMessage(kPassOn, 5), 105);
  EXPECT_EQ(window.SendMessage(kMixinOnly, 1), 101);
  EXPECT_EQ(window.seen, 2);

  window.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED));
  window.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_DBLCLK));  // wrong code: nobody
  window.SendMessage(WM_COMMAND, MAKEWPARAM(6, EN_CHANGE));
  EXPECT_EQ(notify(window, 7, NM_CLICK), 11);
  EXPECT_EQ(notify(window, 8, NM_CLICK), 0);
  EXPECT_EQ(notify(window, 9, NM_RCLICK), 12);
  std::vector<std::wstring> expected = {L"create",    L"pass",     L"clicked 5/0",
                                        L"command 6/768", L"notify 7", L"rclick 9"};
  EXPECT_EQ(window.log, expected);

  // Unhandled messages reach DefWindowProc.
  wchar_t title[32] = {};
  window.GetWindowText(title, 32);
  EXPECT_STREQ(title, L"map title");

  HWND handle = window;
  EXPECT_TRUE(window.DestroyWindow());
  EXPECT_FALSE(::IsWindow(handle));
  EXPECT_EQ(window.m_hWnd, nullptr);
  EXPECT_EQ(window.final_messages, 1);
  EXPECT_EQ(::GetPropW(handle, L"tess.framework.object"), nullptr);
}

TEST(Window, ClassIsRegisteredWithStandardStylesAndCanBeCreatedAgain) {
  map_window first;
  map_window second;
  ASSERT_NE(first.Create(nullptr, nullptr, L"one"), nullptr);
  ASSERT_NE(second.Create(nullptr, nullptr, L"two"), nullptr);
  WNDCLASSEXW info = {sizeof info};
  ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), L"tess_test_map_window", &info));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  EXPECT_EQ(info.hCursor, ::LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(first.GetStyle() & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
  first.DestroyWindow();
  // The object can own a new window after the first is gone.
  ASSERT_NE(first.Create(nullptr, nullptr, L"again"), nullptr);
  EXPECT_NE(first.m_hWnd, second.m_hWnd);
  first.DestroyWindow();
  second.DestroyWindow();
}

TEST(Window, ExceptionInCreateHandlerFailsCreationWithoutEscaping) {
  map_window window;
  window.throw_on_create = true;
  EXPECT_EQ(window.Create(nullptr, nullptr, L"fails"), nullptr);
  EXPECT_EQ(window.m_hWnd, nullptr);
  EXPECT_EQ(window.final_messages, 1);
  // A later creation works.
  window.throw_on_create = false;
  ASSERT_NE(window.Create(nullptr, nullptr, L"works"), nullptr);
  window.DestroyWindow();
}

// A superclass of the system button: our map sees messages first, the button does
// everything else.
class super_button : public CWindowImpl<super_button> {
 public:
  DECLARE_WND_SUPERCLASS(L"tess_test_button", L"BUTTON")
  int button_downs = 0;
  int focus_seen = 0;
  BEGIN_MSG_MAP(super_button)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, on_button_down)
    MESSAGE_HANDLER(WM_SETFOCUS, on_focus)
  END_MSG_MAP()
  LRESULT on_button_down(UINT, WPARAM, LPARAM, BOOL& handled) {
    ++button_downs;
    handled = FALSE;
    return 0;
  }
  LRESULT on_focus(UINT, WPARAM, LPARAM, BOOL&) {
    ++focus_seen;
    ::SetFocus(GetParent());
    return 0;
  }
};

TEST(Window, SuperclassedButtonKeepsButtonBehaviour) {
  map_window parent;
  ASSERT_NE(parent.Create(nullptr, nullptr, L"parent", WS_POPUP), nullptr);
  parent.ShowWindow(SW_SHOW);
  super_button button;
  RECT rect = {10, 10, 110, 40};
  ASSERT_NE(button.Create(parent, rect, L"press", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 5U),
            nullptr);
  wchar_t name[64] = {};
  ::GetClassNameW(button, name, 64);
  EXPECT_STREQ(name, L"tess_test_button");

  WNDCLASSEXW info = {sizeof info};
  ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), L"tess_test_button", &info));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));

  // The button's own procedure handles check state and clicks.
  button.SendMessage(BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(button.SendMessage(BM_GETCHECK), BST_CHECKED);
  button.SendMessage(BM_CLICK);
  EXPECT_EQ(button.button_downs, 1);
  EXPECT_EQ(button.SendMessage(BM_GETCHECK), BST_UNCHECKED);
  EXPECT_EQ(parent.log.back(), L"clicked 5/0");

  // Focus is refused to the parent.
  ::SetFocus(button);
  EXPECT_GE(button.focus_seen, 1);
  EXPECT_EQ(::GetFocus(), parent.m_hWnd);
  parent.DestroyWindow();
  EXPECT_EQ(button.m_hWnd, nullptr);
}

TEST(Window, SubclassedControlReportsAndIsReleased) {
  map_window parent;
  ASSERT_NE(parent.Create(nullptr, nullptr, L"parent"), nullptr);
  HWND plain = ::CreateWindowExW(0, L"BUTTON", L"plain", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                 80, 20, parent, reinterpret_cast<HMENU>(5), nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  WNDPROC original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(plain, GWLP_WNDPROC));

  super_button button;
  ASSERT_TRUE(button.SubclassWindow(plain));
  super_button second;
  EXPECT_FALSE(second.SubclassWindow(plain));  // already taken
  ::SendMessageW(plain, BM_CLICK, 0, 0);
  EXPECT_EQ(button.button_downs, 1);
  EXPECT_EQ(parent.log.back(), L"clicked 5/0");

  EXPECT_EQ(button.UnsubclassWindow(), plain);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(plain, GWLP_WNDPROC)), original);
  ::SendMessageW(plain, BM_CLICK, 0, 0);
  EXPECT_EQ(button.button_downs, 1);

  // Subclassed until destruction: the original procedure comes back for the last messages.
  ASSERT_TRUE(button.SubclassWindow(plain));
  parent.DestroyWindow();
  EXPECT_EQ(button.m_hWnd, nullptr);
}

TEST(Window, ObjectGoneBeforeItsWindowLeavesAWorkingWindow) {
  map_window parent;
  ASSERT_NE(parent.Create(nullptr, nullptr, L"parent", WS_POPUP), nullptr);
  auto* button = new super_button;
  RECT rect = {0, 0, 80, 20};
  HWND handle = button->Create(parent, rect, L"orphan", WS_CHILD | BS_AUTOCHECKBOX, 0, 9U);
  ASSERT_NE(handle, nullptr);
  delete button;
  EXPECT_EQ(::GetPropW(handle, L"tess.framework.object"), nullptr);
  // Still a working check box, through the system button's procedure.
  ::SendMessageW(handle, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(::SendMessageW(handle, BM_GETCHECK, 0, 0), BST_CHECKED);
  ::SendMessageW(handle, BM_CLICK, 0, 0);
  EXPECT_EQ(::SendMessageW(handle, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  auto* window = new map_window;
  HWND top = window->Create(nullptr, nullptr, L"orphan window");
  ASSERT_NE(top, nullptr);
  delete window;
  EXPECT_EQ(::SendMessageW(top, kAsk, 21, 0), 0);
  wchar_t title[32] = {};
  ::GetWindowTextW(top, title, 32);
  EXPECT_STREQ(title, L"orphan window");
  EXPECT_TRUE(::DestroyWindow(top));
  parent.DestroyWindow();
  EXPECT_FALSE(::IsWindow(handle));
}

TEST(Window, CenterWindowKeepsTheWindowInsideTheWorkArea) {
  map_window window;
  RECT rect = {0, 0, 300, 200};
  ASSERT_NE(window.Create(nullptr, rect, L"centre", WS_POPUP), nullptr);
  ASSERT_TRUE(window.CenterWindow());
  RECT placed;
  window.GetWindowRect(&placed);
  MONITORINFO monitor = {sizeof monitor};
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  EXPECT_EQ(placed.right - placed.left, 300);
  EXPECT_LE(std::abs((placed.left + placed.right) - (work.left + work.right)), 1);
  EXPECT_LE(std::abs((placed.top + placed.bottom) - (work.top + work.bottom)), 1);

  // A window larger than the work area starts at its top-left corner.
  window.SetWindowPos(nullptr, 0, 0, work.right - work.left + 100, work.bottom - work.top + 100,
                      SWP_NOMOVE | SWP_NOZORDER);
  window.CenterWindow();
  window.GetWindowRect(&placed);
  EXPECT_EQ(placed.left, work.left);
  EXPECT_EQ(placed.top, work.top);
  window.DestroyWindow();
}

}  // namespace
