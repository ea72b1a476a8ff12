#include "framework/window.h"

#include <commctrl.h>

#include <cwchar>
#include <map>
#include <mutex>

namespace ATL {

BOOL CWindow::ModifyLong(int index, DWORD remove, DWORD add, UINT flags) {
  DWORD old = static_cast<DWORD>(::GetWindowLongW(m_hWnd, index));
  DWORD updated = (old & ~remove) | add;
  if (old == updated) return FALSE;
  ::SetWindowLongW(m_hWnd, index, static_cast<LONG>(updated));
  if (flags != 0)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
  return TRUE;
}

BOOL CWindow::ResizeClient(int width, int height, BOOL repaint) {
  RECT rect = {0, 0, width, height};
  DWORD style = GetStyle();
  BOOL menu = !(style & WS_CHILD) && ::GetMenu(m_hWnd) != nullptr;
  if (!::AdjustWindowRectEx(&rect, style, menu, GetExStyle())) return FALSE;
  UINT flags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE;
  if (!repaint) flags |= SWP_NOREDRAW;
  return ::SetWindowPos(m_hWnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, flags);
}

BOOL CWindow::CenterWindow(HWND center) {
  if (center == nullptr) {
    center = (GetStyle() & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
  }
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  MONITORINFO monitor = {sizeof monitor};
  ::GetMonitorInfoW(::MonitorFromWindow(center ? center : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT area = monitor.rcWork;
  RECT target = area;
  if (center && ::IsWindowVisible(center) && !::IsIconic(center)) ::GetWindowRect(center, &target);

  int width = window.right - window.left;
  int height = window.bottom - window.top;
  int x = (target.left + target.right - width) / 2;
  int y = (target.top + target.bottom - height) / 2;
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  if (GetStyle() & WS_CHILD) {
    POINT origin = {x, y};
    ::ScreenToClient(::GetParent(m_hWnd), &origin);
    x = origin.x;
    y = origin.y;
  }
  return ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

WindowClassInfo::WindowClassInfo(LPCWSTR name, UINT style, HBRUSH background, LPCWSTR origName,
                             LPCWSTR cursor)
    : m_wc{}, m_lpszOrigName(origName), pWndProc(nullptr), m_lpszCursorID(cursor), m_atom(0),
      m_szAutoName{} {
  m_wc.cbSize = sizeof m_wc;
  m_wc.style = style;
  m_wc.hbrBackground = background;
  m_wc.lpszClassName = name;
}

namespace {

std::mutex& registry_lock() {
  static std::mutex lock;
  return lock;
}

// Chained procedures of our superclasses, by class atom.
std::map<ATOM, WNDPROC>& superclass_procs() {
  static std::map<ATOM, WNDPROC> procs;
  return procs;
}

// Makes sure the common-control classes exist before a superclass copies one of them.
bool original_class_info(LPCWSTR name, WNDCLASSEXW* info) {
  info->cbSize = sizeof *info;
  if (::GetClassInfoExW(nullptr, name, info)) return true;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  return ::GetClassInfoExW(nullptr, name, info) != FALSE;
}

thread_local void* creating_window = nullptr;
thread_local void* creating_dialog = nullptr;

}  // namespace

ATOM WindowClassInfo::Register(WNDPROC* superProc, WNDPROC startProc) {
  std::lock_guard<std::mutex> guard(registry_lock());
  if (m_atom == 0) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = m_wc;
    if (m_lpszOrigName) {
      WNDCLASSEXW original;
      if (!original_class_info(m_lpszOrigName, &original)) return 0;
      pWndProc = original.lpfnWndProc;
      wc.cbClsExtra = original.cbClsExtra;
      wc.cbWndExtra = original.cbWndExtra;
      wc.hIcon = original.hIcon;
      wc.hIconSm = original.hIconSm;
    }
    if (wc.lpszClassName == nullptr) {
      std::swprintf(m_szAutoName, sizeof m_szAutoName / sizeof m_szAutoName[0], L"tess:%p",
                    static_cast<void*>(this));
      wc.lpszClassName = m_szAutoName;
    }
    wc.lpfnWndProc = startProc;
    wc.hInstance = instance;
    wc.style &= ~CS_GLOBALCLASS;
    if (m_lpszCursorID) wc.hCursor = ::LoadCursorW(nullptr, m_lpszCursorID);
    // Another object of the same class name may already have registered it.
    WNDCLASSEXW existing = {sizeof existing};
    if (::GetClassInfoExW(instance, wc.lpszClassName, &existing)) {
      m_atom = static_cast<ATOM>(::GetClassInfoExW(instance, wc.lpszClassName, &existing));
    } else {
      m_atom = ::RegisterClassExW(&wc);
    }
    if (m_atom && pWndProc) superclass_procs()[m_atom] = pWndProc;
  }
  if (m_atom && pWndProc) *superProc = pWndProc;
  return m_atom;
}

namespace detail {

void set_creating_window(void* object) { creating_window = object; }
void* take_creating_window() {
  void* object = creating_window;
  creating_window = nullptr;
  return object;
}
void set_creating_dialog(void* object) { creating_dialog = object; }
void* take_creating_dialog() {
  void* object = creating_dialog;
  creating_dialog = nullptr;
  return object;
}

LPCWSTR object_property() { return L"tess.framework.object"; }

WNDPROC super_proc_of_class(ATOM atom) {
  std::lock_guard<std::mutex> guard(registry_lock());
  auto it = superclass_procs().find(atom);
  return it == superclass_procs().end() ? nullptr : it->second;
}

LRESULT without_object(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  WNDPROC super = super_proc_of_class(static_cast<ATOM>(::GetClassWord(hWnd, GCW_ATOM)));
  return ::CallWindowProcW(super ? super : ::DefWindowProcW, hWnd, uMsg, wParam, lParam);
}

}  // namespace detail
}  // namespace ATL
