// Dialogs over a dialog resource: T names its template with `enum { IDD = ... };` and
// runs it modally (DoModal returns the EndDialog code) or modelessly (Create).
#pragma once
#include "framework/module.h"
#include "framework/window.h"

namespace ATL {

template <class TBase = CWindow>
class DialogImplBase : public WindowImplRoot<TBase> {
 public:
  typedef DialogImplBase<TBase> thisClass;

  // An object that goes before its dialog lets go of it (the dialog then gets only
  // the default processing).
  ~DialogImplBase() override {
    if (this->m_hWnd && ::GetPropW(this->m_hWnd, detail::object_property()) == static_cast<thisClass*>(this))
      ::RemovePropW(this->m_hWnd, detail::object_property());
  }

  virtual DLGPROC GetDialogProc() { return DialogProc; }
  virtual void OnFinalMessage(HWND) {}

  // Dialog procedure until the object is attached (first message of the dialog).
  static INT_PTR CALLBACK StartDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<thisClass*>(detail::take_creating_dialog());
    if (!self) return FALSE;
    self->m_hWnd = hWnd;
    ::SetPropW(hWnd, detail::object_property(), self);
    ::SetWindowLongPtrW(hWnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(self->GetDialogProc()));
    return self->GetDialogProc()(hWnd, uMsg, wParam, lParam);
  }

  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<thisClass*>(::GetPropW(hWnd, detail::object_property()));
    if (!self) return FALSE;
    MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
    const MSG* outer = self->m_pCurrentMsg;
    self->m_pCurrentMsg = &msg;
    LRESULT result = 0;
    BOOL handled = self->Dispatch(hWnd, uMsg, wParam, lParam, result);
    self->m_pCurrentMsg = outer;
    if (uMsg == WM_NCDESTROY) self->m_dwState |= thisClass::WINSTATE_DESTROYED;
    if ((self->m_dwState & thisClass::WINSTATE_DESTROYED) && outer == nullptr) {
      ::RemovePropW(hWnd, detail::object_property());
      self->m_dwState &= ~thisClass::WINSTATE_DESTROYED;
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hWnd);
      return handled;
    }
    if (!handled) return FALSE;
    switch (uMsg) {
      // These return their result directly rather than through DWLP_MSGRESULT.
      case WM_COMPAREITEM:
      case WM_VKEYTOITEM:
      case WM_CHARTOITEM:
      case WM_INITDIALOG:
      case WM_QUERYDRAGICON:
      case WM_CTLCOLORMSGBOX:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSCROLLBAR:
      case WM_CTLCOLORSTATIC:
        return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
  }

 private:
  // No exception leaves the dialog procedure; a failed handler leaves the message
  // to the dialog's default processing.
  BOOL Dispatch(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    try {
      return this->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0);
    } catch (...) {
      result = 0;
      return FALSE;
    }
  }
};

template <class T, class TBase = CWindow>
class CDialogImpl : public DialogImplBase<TBase> {
 public:
  // Runs the dialog modally over `parent`; the EndDialog code, or -1 when the dialog
  // could not be created.
  INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM initParam = 0) {
    if (this->m_hWnd != nullptr) return -1;
    m_bModal = true;
    detail::set_creating_dialog(static_cast<DialogImplBase<TBase>*>(this));
    INT_PTR result = ::DialogBoxParamW(g_module.GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                       DialogImplBase<TBase>::StartDialogProc, initParam);
    detail::take_creating_dialog();
    return result;
  }
  BOOL EndDialog(int result) { return ::EndDialog(this->m_hWnd, result); }

  // Creates the dialog modelessly; destroy it with DestroyWindow.
  HWND Create(HWND parent, LPARAM initParam = 0) {
    if (this->m_hWnd != nullptr) return nullptr;
    m_bModal = false;
    detail::set_creating_dialog(static_cast<DialogImplBase<TBase>*>(this));
    HWND hWnd = ::CreateDialogParamW(g_module.GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                     DialogImplBase<TBase>::StartDialogProc, initParam);
    detail::take_creating_dialog();
    return hWnd;
  }
  BOOL DestroyWindow() { return ::DestroyWindow(this->m_hWnd); }

  bool m_bModal = false;
};

}  // namespace ATL

using ATL::CDialogImpl;
using ATL::DialogImplBase;
