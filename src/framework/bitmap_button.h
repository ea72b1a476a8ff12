// A push button drawn from an image list: one picture each for normal, pushed,
// focus-or-hover and disabled. In hover mode it tracks the mouse itself and sends
// the click command on release inside the button. T may replace DoPaint.
#pragma once
#include "framework/controls.h"
#include "framework/window.h"

// Extended styles of CBitmapButtonImpl.
#define BMPBTN_HOVER 0x00000001
#define BMPBTN_AUTOSIZE 0x00000008
#define BMPBTN_SHAREIMAGELISTS 0x00000010

namespace WTL {

template <class T, class TBase = CButtonT<>, class TWinTraits = ATL::ControlTraits>
class CBitmapButtonImpl : public ATL::CWindowImpl<T, TBase, TWinTraits> {
 public:
  DECLARE_WND_SUPERCLASS(nullptr, TBase::GetWndClassName())

  enum { _nImageNormal = 0, _nImagePushed, _nImageFocusOrHover, _nImageDisabled, _nImageCount = 4 };

  DWORD m_dwExtendedStyle;
  ImageList m_ImageList;
  int m_nImage[_nImageCount];
  // State bits: mouse over (1), focus (2), pressed (4).
  unsigned m_fMouseOver : 1;
  unsigned m_fFocus : 1;
  unsigned m_fPressed : 1;

  CBitmapButtonImpl(DWORD extendedStyle = BMPBTN_AUTOSIZE, HIMAGELIST imageList = nullptr)
      : m_dwExtendedStyle(extendedStyle), m_ImageList(imageList), m_fMouseOver(0), m_fFocus(0), m_fPressed(0) {
    for (int& index : m_nImage) index = -1;
  }
  // An image list not marked shared belongs to the button: destroyed with its window,
  // or here when the window never existed.
  ~CBitmapButtonImpl() override {
    if ((m_dwExtendedStyle & BMPBTN_SHAREIMAGELISTS) == 0) m_ImageList.Destroy();
  }

  DWORD GetBitmapButtonExtendedStyle() const { return m_dwExtendedStyle; }
  DWORD SetBitmapButtonExtendedStyle(DWORD style, DWORD mask = 0) {
    DWORD old = m_dwExtendedStyle;
    m_dwExtendedStyle = mask == 0 ? style : (m_dwExtendedStyle & ~mask) | (style & mask);
    return old;
  }
  HIMAGELIST GetImageList() const { return m_ImageList; }
  HIMAGELIST SetImageList(HIMAGELIST list) {
    HIMAGELIST old = m_ImageList;
    m_ImageList = list;
    if ((m_dwExtendedStyle & BMPBTN_AUTOSIZE) && this->IsWindow()) SizeToImage();
    return old;
  }
  // Only the indices given (not -1) change.
  void SetImages(int normal, int pushed = -1, int focusOrHover = -1, int disabled = -1) {
    if (normal != -1) m_nImage[_nImageNormal] = normal;
    if (pushed != -1) m_nImage[_nImagePushed] = pushed;
    if (focusOrHover != -1) m_nImage[_nImageFocusOrHover] = focusOrHover;
    if (disabled != -1) m_nImage[_nImageDisabled] = disabled;
  }
  bool IsHoverMode() const { return (m_dwExtendedStyle & BMPBTN_HOVER) != 0; }

  // Sizes the client area to the images.
  BOOL SizeToImage() {
    int cx = 0, cy = 0;
    if (m_ImageList.IsNull() || !m_ImageList.GetIconSize(cx, cy)) return FALSE;
    return this->ResizeClient(cx, cy);
  }

  // Attaches to a dialog's template button and initialises it.
  BOOL SubclassWindow(HWND hWnd) {
    if (!ATL::CWindowImpl<T, TBase, TWinTraits>::SubclassWindow(hWnd)) return FALSE;
    Init();
    return TRUE;
  }

  // The picture for the current state at (0, 0); a missing index falls back to normal.
  void DoPaint(HDC dc) {
    int image = -1;
    if (!this->IsWindowEnabled()) image = m_nImage[_nImageDisabled];
    else if (m_fPressed) image = m_nImage[_nImagePushed];
    else if ((!IsHoverMode() && m_fFocus) || (IsHoverMode() && m_fMouseOver)) image = m_nImage[_nImageFocusOrHover];
    if (image == -1) image = m_nImage[_nImageNormal];
    if (image != -1 && !m_ImageList.IsNull()) m_ImageList.Draw(dc, image, 0, 0, ILD_NORMAL);
  }

  BEGIN_MSG_MAP(CBitmapButtonImpl)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
    MESSAGE_HANDLER(WM_SETFOCUS, OnFocus)
    MESSAGE_HANDLER(WM_KILLFOCUS, OnFocus)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
    MESSAGE_HANDLER(WM_ENABLE, OnEnable)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
  END_MSG_MAP()

  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL& handled) {
    Init();
    handled = FALSE;
    return 1;
  }
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    if ((m_dwExtendedStyle & BMPBTN_SHAREIMAGELISTS) == 0) m_ImageList.Destroy();
    handled = FALSE;
    return 1;
  }
  LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) { return 1; }  // the picture covers it
  LRESULT OnPaint(UINT, WPARAM wParam, LPARAM, BOOL&) {
    T* self = static_cast<T*>(this);
    if (wParam != 0) {
      self->DoPaint(reinterpret_cast<HDC>(wParam));
    } else {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(this->m_hWnd, &ps);
      self->DoPaint(dc);
      ::EndPaint(this->m_hWnd, &ps);
    }
    return 0;
  }
  LRESULT OnFocus(UINT uMsg, WPARAM, LPARAM, BOOL& handled) {
    m_fFocus = uMsg == WM_SETFOCUS ? 1 : 0;
    Redraw();
    handled = FALSE;
    return 1;
  }
  LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
    LRESULT result = 0;
    if (IsHoverMode()) ::SetCapture(this->m_hWnd);
    else result = this->DefWindowProc(uMsg, wParam, lParam);
    if (::GetCapture() == this->m_hWnd) {
      m_fPressed = 1;
      Redraw();
    }
    return result;
  }
  LRESULT OnLButtonUp(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&) {
    LRESULT result = 0;
    bool hover = IsHoverMode();
    if (!hover) result = this->DefWindowProc(uMsg, wParam, lParam);
    if (::GetCapture() == this->m_hWnd) {
      if (hover && m_fPressed)
        ::SendMessageW(this->GetParent(), WM_COMMAND, MAKEWPARAM(this->GetDlgCtrlID(), BN_CLICKED),
                       reinterpret_cast<LPARAM>(this->m_hWnd));
      ::ReleaseCapture();
    }
    return result;
  }
  LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL& handled) {
    if (m_fPressed) {
      m_fPressed = 0;
      Redraw();
    }
    handled = FALSE;
    return 1;
  }
  LRESULT OnEnable(UINT, WPARAM, LPARAM, BOOL& handled) {
    Redraw();
    handled = FALSE;
    return 1;
  }
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
    if (::GetCapture() == this->m_hWnd) {
      POINT cursor = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT client;
      this->GetClientRect(&client);
      unsigned pressed = ::PtInRect(&client, cursor) ? 1 : 0;
      if (m_fPressed != pressed) {
        m_fPressed = pressed;
        Redraw();
      }
    } else if (IsHoverMode() && !m_fMouseOver) {
      m_fMouseOver = 1;
      Redraw();
      TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, this->m_hWnd, HOVER_DEFAULT};
      ::TrackMouseEvent(&track);
    }
    handled = FALSE;
    return 1;
  }
  LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&) {
    if (m_fMouseOver) {
      m_fMouseOver = 0;
      Redraw();
    }
    return 0;
  }

 protected:
  // Owner-drawn (the system never paints it), and the size of the images when asked to.
  void Init() {
    this->ModifyStyle(0, BS_OWNERDRAW);
    if (!m_ImageList.IsNull() && (m_dwExtendedStyle & BMPBTN_AUTOSIZE)) SizeToImage();
  }
  void Redraw() {
    this->Invalidate();
    this->UpdateWindow();
  }
};

}  // namespace WTL

using WTL::CBitmapButtonImpl;
