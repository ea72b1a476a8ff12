// The tree control of the recovery page: a superclass of the system tree view that never
// keeps the keyboard focus, so keys always reach the preview grid while clicks still
// select items and notify the page.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/controls.h"
#include "framework/window.h"

class treeview_c
    : public ATL::CWindowImpl<treeview_c, WTL::CTreeViewCtrlT<ATL::CWindow>, ATL::CWinTraits<0x56000000, 0>> {
 public:
  DECLARE_WND_SUPERCLASS(L"TreeView", L"SysTreeView32")

  BEGIN_MSG_MAP(treeview_c)
    MESSAGE_HANDLER(WM_SETFOCUS, on_set_focus)
  END_MSG_MAP()

 private:
  LRESULT on_set_focus(UINT, WPARAM, LPARAM, BOOL&);
};
