// The window framework: a thin HWND wrapper, window traits, message maps and
// CWindowImpl, which gives a C++ object its own window (new class, superclass of a
// system class, or a subclassed existing window) without code thunks: the object
// pointer is kept in a window property set on the first message.
#pragma once
#include <windows.h>

// <windowsx.h> has a function-like macro of this name.
#undef SubclassWindow

namespace ATL {

// Lets Create take a rectangle by pointer, by reference or as null.
class RectArgument {
 public:
  RectArgument(LPRECT rect) : m_lpRect(rect) {}
  RectArgument(RECT& rect) : m_lpRect(&rect) {}
  LPRECT m_lpRect;
};

// Lets Create take a menu handle or a child-control id.
class MenuOrId {
 public:
  MenuOrId(HMENU menu) : m_hMenu(menu) {}
  MenuOrId(UINT id) : m_hMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))) {}
  HMENU m_hMenu;
};

class CWindow {
 public:
  static inline RECT rcDefault = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
  HWND m_hWnd = nullptr;

  CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
  CWindow& operator=(HWND hWnd) { m_hWnd = hWnd; return *this; }
  operator HWND() const { return m_hWnd; }

  void Attach(HWND hWnd) { m_hWnd = hWnd; }
  HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }

  HWND Create(LPCWSTR className, HWND parent, RectArgument rect = nullptr, LPCWSTR name = nullptr,
              DWORD style = 0, DWORD exStyle = 0, MenuOrId menuOrId = 0U,
              LPVOID param = nullptr) {
    RECT r = rect.m_lpRect ? *rect.m_lpRect : rcDefault;
    m_hWnd = ::CreateWindowExW(exStyle, className, name, style, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, parent, menuOrId.m_hMenu,
                               ::GetModuleHandleW(nullptr), param);
    return m_hWnd;
  }
  BOOL DestroyWindow() {
    if (!::DestroyWindow(m_hWnd)) return FALSE;
    m_hWnd = nullptr;
    return TRUE;
  }

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0) { return ModifyLong(GWL_STYLE, remove, add, flags); }

  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
  }
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
  }

  BOOL SetWindowText(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }
  int GetWindowText(LPWSTR buffer, int max) const { return ::GetWindowTextW(m_hWnd, buffer, max); }
  int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
  void SetFont(HFONT font, BOOL redraw = TRUE) {
    ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(redraw, 0));
  }
  HICON SetIcon(HICON icon, BOOL big = TRUE) {
    return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_SETICON, big, reinterpret_cast<LPARAM>(icon)));
  }

  BOOL GetWindowRect(LPRECT rect) const { return ::GetWindowRect(m_hWnd, rect); }
  BOOL GetClientRect(LPRECT rect) const { return ::GetClientRect(m_hWnd, rect); }
  BOOL ClientToScreen(LPPOINT point) const { return ::ClientToScreen(m_hWnd, point); }
  BOOL ClientToScreen(LPRECT rect) const {
    return ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(rect)) &&
           ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(rect) + 1);
  }
  BOOL ScreenToClient(LPPOINT point) const { return ::ScreenToClient(m_hWnd, point); }
  BOOL ScreenToClient(LPRECT rect) const {
    return ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(rect)) &&
           ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(rect) + 1);
  }
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  BOOL MoveWindow(LPCRECT rect, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left,
                        rect->bottom - rect->top, repaint);
  }
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
  BOOL SetWindowPos(HWND after, LPCRECT rect, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, rect->left, rect->top, rect->right - rect->left,
                          rect->bottom - rect->top, flags);
  }
  // Sizes the window so that its client area is width x height.
  BOOL ResizeClient(int width, int height, BOOL repaint = TRUE);
  // Centres on `center` (default: the owner or parent) when it is visible and not
  // minimised, else on the work area of the nearest monitor; kept inside that work area.
  BOOL CenterWindow(HWND center = nullptr);
  int SetWindowRgn(HRGN region, BOOL redraw = FALSE) { return ::SetWindowRgn(m_hWnd, region, redraw); }
  BOOL BringWindowToTop() { return ::BringWindowToTop(m_hWnd); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }

  BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL RedrawWindow(LPCRECT rect = nullptr, HRGN region = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, rect, region, flags);
  }
  HDC GetDC() { return ::GetDC(m_hWnd); }
  HDC GetWindowDC() { return ::GetWindowDC(m_hWnd); }
  int ReleaseDC(HDC dc) { return ::ReleaseDC(m_hWnd, dc); }
  HDC BeginPaint(LPPAINTSTRUCT ps) { return ::BeginPaint(m_hWnd, ps); }
  void EndPaint(LPPAINTSTRUCT ps) { ::EndPaint(m_hWnd, ps); }

  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) {
    return ::SetTimer(m_hWnd, id, elapse, proc);
  }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

  HWND GetParent() const { return ::GetParent(m_hWnd); }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  HWND SetFocus() { return ::SetFocus(m_hWnd); }

 private:
  BOOL ModifyLong(int index, DWORD remove, DWORD add, UINT flags);
};

// Default styles for windows created without explicit ones.
template <DWORD t_dwStyle = 0, DWORD t_dwExStyle = 0>
class CWinTraits {
 public:
  static DWORD GetWndStyle(DWORD style) { return style == 0 ? t_dwStyle : style; }
  static DWORD GetWndExStyle(DWORD exStyle) { return exStyle == 0 ? t_dwExStyle : exStyle; }
};
typedef CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0> ControlTraits;
typedef CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>
    FrameTraits;

// Anything with a message map: the map answers whether it handled a message.
class MessageMap {
 public:
  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                    LRESULT& lResult, DWORD dwMsgMapID) = 0;
};

// The registration data of one window class. With an original class name it is a
// superclass: the original's window procedure and extra bytes, our own class styles,
// background and cursor.
struct WindowClassInfo {
  WindowClassInfo(LPCWSTR name, UINT style, HBRUSH background, LPCWSTR origName = nullptr,
                LPCWSTR cursor = IDC_ARROW);
  // Registers once; hands back the procedure the class's windows chain to.
  ATOM Register(WNDPROC* superProc, WNDPROC startProc);

  WNDCLASSEXW m_wc;
  LPCWSTR m_lpszOrigName;
  WNDPROC pWndProc;
  LPCWSTR m_lpszCursorID;
  ATOM m_atom;
  wchar_t m_szAutoName[32];
};

namespace detail {
// The object whose window is being created on this thread (one slot each for windows
// and dialogs), taken by the first message that arrives for a window without an object.
void set_creating_window(void* object);
void* take_creating_window();
void set_creating_dialog(void* object);
void* take_creating_dialog();
// The property that holds the object pointer of a framework window.
LPCWSTR object_property();
// The chained procedure of a registered superclass, for windows of that class created
// without an object (plain CreateWindowEx or a dialog template).
WNDPROC super_proc_of_class(ATOM atom);
// Handles a message of a framework window that has no object (anymore): the
// superclass's procedure, or the default one.
LRESULT without_object(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
}  // namespace detail

}  // namespace ATL

// Window class declarations, placed inside a class body.
#define DECLARE_WND_CLASS_EX(WndClassName, style, bkgnd)                                  \
  static ATL::WindowClassInfo& GetWndClassInfo() {                                        \
    static ATL::WindowClassInfo wc(WndClassName, style,                                   \
                                 reinterpret_cast<HBRUSH>(static_cast<INT_PTR>((bkgnd) + 1))); \
    return wc;                                                                            \
  }
#define DECLARE_WND_CLASS(WndClassName) \
  DECLARE_WND_CLASS_EX(WndClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)
#define DECLARE_WND_SUPERCLASS(WndClassName, OrigWndClassName)                            \
  static ATL::WindowClassInfo& GetWndClassInfo() {                                        \
    static ATL::WindowClassInfo wc(WndClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,    \
                                 reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)), \
                                 OrigWndClassName);                                       \
    return wc;                                                                            \
  }

// Message maps. A handler sets bHandled to FALSE to let the message go on to the
// next entry and, at the end of the map, to the default processing.
#define BEGIN_MSG_MAP(theClass)                                                            \
 public:                                                                                   \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,            \
                            LRESULT& lResult, DWORD dwMsgMapID = 0) {                      \
    BOOL bHandled = TRUE;                                                                  \
    (void)hWnd; (void)uMsg; (void)wParam; (void)lParam; (void)lResult; (void)bHandled;    \
    switch (dwMsgMapID) {                                                                  \
      case 0:

#define MESSAGE_HANDLER(msg, func)                         \
  if (uMsg == (msg)) {                                     \
    bHandled = TRUE;                                       \
    lResult = func(uMsg, wParam, lParam, bHandled);        \
    if (bHandled) return TRUE;                             \
  }

#define MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)     \
  if (uMsg >= (msgFirst) && uMsg <= (msgLast)) {           \
    bHandled = TRUE;                                       \
    lResult = func(uMsg, wParam, lParam, bHandled);        \
    if (bHandled) return TRUE;                             \
  }

#define COMMAND_HANDLER(id, code, func)                                                   \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) {         \
    bHandled = TRUE;                                                                      \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

#define COMMAND_ID_HANDLER(id, func)                                                      \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                     \
    bHandled = TRUE;                                                                      \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

#define COMMAND_RANGE_HANDLER(idFirst, idLast, func)                                      \
  if (uMsg == WM_COMMAND && LOWORD(wParam) >= (idFirst) && LOWORD(wParam) <= (idLast)) {  \
    bHandled = TRUE;                                                                      \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

#define NOTIFY_HANDLER(id, cd, func)                                                      \
  if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->idFrom == static_cast<UINT_PTR>(id) && \
      reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) {                 \
    bHandled = TRUE;                                                                      \
    lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

#define NOTIFY_CODE_HANDLER(cd, func)                                                     \
  if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->code == static_cast<UINT>(cd)) { \
    bHandled = TRUE;                                                                      \
    lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                            \
  }

// Hands the message to a base or mixin class's own map.
#define CHAIN_MSG_MAP(theChainClass)                                                   \
  if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return TRUE;

#define END_MSG_MAP() \
  break;              \
  default:            \
    break;            \
    }                 \
    return FALSE;     \
    }

namespace ATL {

// What every framework window carries beside its handle: its message map and the
// message being dispatched.
template <class TBase = CWindow>
class WindowImplRoot : public TBase, public MessageMap {
 public:
  enum { WINSTATE_DESTROYED = 1 };
  const MSG* m_pCurrentMsg = nullptr;
  DWORD m_dwState = 0;

  virtual ~WindowImplRoot() {}
};

template <class TBase = CWindow, class TWinTraits = ControlTraits>
class WindowImplBase : public WindowImplRoot<TBase> {
 public:
  typedef WindowImplBase<TBase, TWinTraits> thisClass;
  WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;

  // An object that goes before its window lets go of it: the window carries on with
  // its original procedure instead of calling into a dead object.
  ~WindowImplBase() override {
    HWND hWnd = this->m_hWnd;
    if (!hWnd || ::GetPropW(hWnd, detail::object_property()) != static_cast<thisClass*>(this)) return;
    ::RemovePropW(hWnd, detail::object_property());
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == GetWindowProc())
      ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
  }

  static DWORD GetWndStyle(DWORD style) { return TWinTraits::GetWndStyle(style); }
  static DWORD GetWndExStyle(DWORD exStyle) { return TWinTraits::GetWndExStyle(exStyle); }

  virtual WNDPROC GetWindowProc() { return WindowProc; }
  virtual void OnFinalMessage(HWND) {}

  LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuperWindowProc, this->m_hWnd, uMsg, wParam, lParam);
  }
  LRESULT DefWindowProc() {
    const MSG* msg = this->m_pCurrentMsg;
    return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
  }

  BOOL DestroyWindow() { return ::DestroyWindow(this->m_hWnd); }

  // Takes over an existing window (a dialog's control): its procedure becomes ours and
  // the old one handles whatever the map leaves unhandled.
  BOOL SubclassWindow(HWND hWnd) {
    if (this->m_hWnd != nullptr || !::IsWindow(hWnd) || ::GetPropW(hWnd, detail::object_property()))
      return FALSE;
    ::SetPropW(hWnd, detail::object_property(), static_cast<thisClass*>(this));
    WNDPROC old = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc())));
    m_pfnSuperWindowProc = old;
    this->m_hWnd = hWnd;
    return TRUE;
  }
  // Gives the window its old procedure back; refuses when someone subclassed it after us.
  HWND UnsubclassWindow(BOOL force = FALSE) {
    HWND hWnd = this->m_hWnd;
    if (!hWnd) return nullptr;
    WNDPROC current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    if (current != GetWindowProc() && !force) return nullptr;
    ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    ::RemovePropW(hWnd, detail::object_property());
    m_pfnSuperWindowProc = ::DefWindowProcW;
    this->m_hWnd = nullptr;
    return hWnd;
  }

  // Window procedure of the class until the object is attached.
  static LRESULT CALLBACK StartWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<thisClass*>(detail::take_creating_window());
    if (!self) return detail::without_object(hWnd, uMsg, wParam, lParam);
    self->m_hWnd = hWnd;
    ::SetPropW(hWnd, detail::object_property(), self);
    ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->GetWindowProc()));
    return self->GetWindowProc()(hWnd, uMsg, wParam, lParam);
  }

  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<thisClass*>(::GetPropW(hWnd, detail::object_property()));
    if (!self) return detail::without_object(hWnd, uMsg, wParam, lParam);
    MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
    const MSG* outer = self->m_pCurrentMsg;
    self->m_pCurrentMsg = &msg;
    LRESULT result = self->Dispatch(hWnd, uMsg, wParam, lParam);
    self->m_pCurrentMsg = outer;
    if (uMsg == WM_NCDESTROY) self->m_dwState |= thisClass::WINSTATE_DESTROYED;
    if ((self->m_dwState & thisClass::WINSTATE_DESTROYED) && outer == nullptr) self->Finish(hWnd);
    return result;
  }

 protected:
  HWND Create(HWND parent, RectArgument rect, LPCWSTR name, DWORD style, DWORD exStyle,
              MenuOrId menuOrId, ATOM atom, LPVOID param) {
    if (atom == 0 || this->m_hWnd != nullptr) return nullptr;
    RECT r = rect.m_lpRect ? *rect.m_lpRect : CWindow::rcDefault;
    detail::set_creating_window(static_cast<thisClass*>(this));
    HWND hWnd = ::CreateWindowExW(exStyle, MAKEINTATOM(atom), name, style, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, parent, menuOrId.m_hMenu,
                                  ::GetModuleHandleW(nullptr), param);
    detail::take_creating_window();  // clear the slot if no message ever came
    return hWnd;
  }

 private:
  // The map first, the default processing for what it leaves; no exception leaves here.
  LRESULT Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    try {
      LRESULT result = 0;
      if (this->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0)) return result;
      return DefWindowProc(uMsg, wParam, lParam);
    } catch (...) {
      // A failing creation handler fails the creation instead of half-building the window.
      if (uMsg == WM_NCCREATE) return FALSE;
      if (uMsg == WM_CREATE) return -1;
      return 0;
    }
  }
  void Finish(HWND hWnd) {
    WNDPROC current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    if (current == GetWindowProc() && m_pfnSuperWindowProc != ::DefWindowProcW)
      ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
    ::RemovePropW(hWnd, detail::object_property());
    this->m_dwState &= ~thisClass::WINSTATE_DESTROYED;
    this->m_hWnd = nullptr;
    OnFinalMessage(hWnd);
  }
};

// A window of its own class (DECLARE_WND_CLASS / DECLARE_WND_SUPERCLASS in T; an
// automatic name otherwise).
template <class T, class TBase = CWindow, class TWinTraits = ControlTraits>
class CWindowImpl : public WindowImplBase<TBase, TWinTraits> {
 public:
  DECLARE_WND_CLASS(nullptr)

  HWND Create(HWND parent, RectArgument rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, MenuOrId menuOrId = 0U, LPVOID param = nullptr) {
    ATOM atom = T::GetWndClassInfo().Register(&this->m_pfnSuperWindowProc,
                                              WindowImplBase<TBase, TWinTraits>::StartWindowProc);
    style = T::GetWndStyle(style);
    exStyle = T::GetWndExStyle(exStyle);
    if (menuOrId.m_hMenu == nullptr && (style & WS_CHILD))
      menuOrId.m_hMenu = reinterpret_cast<HMENU>(this);  // an id nobody else has
    return WindowImplBase<TBase, TWinTraits>::Create(parent, rect, name, style, exStyle,
                                                      menuOrId, atom, param);
  }
};

}  // namespace ATL

using ATL::MenuOrId;
using ATL::RectArgument;
using ATL::ControlTraits;
using ATL::FrameTraits;
using ATL::MessageMap;
using ATL::CWindow;
using ATL::CWindowImpl;
using ATL::WindowImplBase;
using ATL::WindowImplRoot;
using ATL::CWinTraits;
using ATL::WindowClassInfo;
