// Wrappers of the common controls the skin uses: push buttons, the tree view,
// tooltips and image lists. Each wraps a handle; none owns it unless stated.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/window.h"

namespace WTL {

// An image list handle. Not owned: Destroy is explicit, as with the system call.
class CImageList {
 public:
  HIMAGELIST m_hImageList = nullptr;

  CImageList(HIMAGELIST list = nullptr) : m_hImageList(list) {}
  CImageList& operator=(HIMAGELIST list) { m_hImageList = list; return *this; }
  operator HIMAGELIST() const { return m_hImageList; }
  bool IsNull() const { return m_hImageList == nullptr; }

  void Attach(HIMAGELIST list) { m_hImageList = list; }
  HIMAGELIST Detach() { HIMAGELIST list = m_hImageList; m_hImageList = nullptr; return list; }

  BOOL Create(int cx, int cy, UINT flags, int initial, int grow) {
    m_hImageList = ::ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
  }
  BOOL Destroy() {
    if (!m_hImageList) return FALSE;
    BOOL done = ::ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
    return done;
  }
  // The new image's index, -1 on failure.
  int Add(HBITMAP bitmap, HBITMAP mask = nullptr) { return ::ImageList_Add(m_hImageList, bitmap, mask); }
  int Add(HBITMAP bitmap, COLORREF mask) { return ::ImageList_AddMasked(m_hImageList, bitmap, mask); }
  int AddIcon(HICON icon) { return ::ImageList_AddIcon(m_hImageList, icon); }
  BOOL Remove(int index) { return ::ImageList_Remove(m_hImageList, index); }
  BOOL RemoveAll() { return ::ImageList_Remove(m_hImageList, -1); }
  int GetImageCount() const { return ::ImageList_GetImageCount(m_hImageList); }
  BOOL GetIconSize(int& cx, int& cy) const { return ::ImageList_GetIconSize(m_hImageList, &cx, &cy); }
  BOOL GetIconSize(SIZE& size) const {
    int cx = 0, cy = 0;
    BOOL done = GetIconSize(cx, cy);
    size.cx = cx;
    size.cy = cy;
    return done;
  }
  COLORREF SetBkColor(COLORREF color) { return ::ImageList_SetBkColor(m_hImageList, color); }
  BOOL Draw(HDC dc, int index, int x, int y, UINT style) const {
    return ::ImageList_Draw(m_hImageList, index, dc, x, y, style);
  }
  BOOL Draw(HDC dc, int index, POINT point, UINT style) const { return Draw(dc, index, point.x, point.y, style); }
};

// Owns its list: destroys it with the object.
class CImageListManaged : public CImageList {
 public:
  using CImageList::CImageList;
  CImageListManaged(const CImageListManaged&) = delete;
  CImageListManaged& operator=(const CImageListManaged&) = delete;
  ~CImageListManaged() { Destroy(); }
};

template <class TBase = ATL::CWindow>
class CButtonT : public TBase {
 public:
  CButtonT(HWND hWnd = nullptr) : TBase(hWnd) {}
  CButtonT& operator=(HWND hWnd) { this->m_hWnd = hWnd; return *this; }
  static LPCWSTR GetWndClassName() { return L"BUTTON"; }

  HWND Create(HWND parent, ATL::_U_RECT rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, ATL::_U_MENUorID menuOrId = 0U, LPVOID param = nullptr) {
    return TBase::Create(GetWndClassName(), parent, rect, name, style, exStyle, menuOrId, param);
  }
  UINT GetState() const { return static_cast<UINT>(this->SendMessage(BM_GETSTATE)); }
  void SetState(BOOL highlight) { this->SendMessage(BM_SETSTATE, highlight); }
  int GetCheck() const { return static_cast<int>(this->SendMessage(BM_GETCHECK)); }
  void SetCheck(int check) { this->SendMessage(BM_SETCHECK, check); }
  UINT GetButtonStyle() const { return static_cast<UINT>(this->GetStyle()) & 0xFFFF; }
  void SetButtonStyle(UINT style, BOOL redraw = TRUE) { this->SendMessage(BM_SETSTYLE, style, redraw); }
  HBITMAP GetBitmap() const { return reinterpret_cast<HBITMAP>(this->SendMessage(BM_GETIMAGE, IMAGE_BITMAP)); }
  HBITMAP SetBitmap(HBITMAP bitmap) {
    return reinterpret_cast<HBITMAP>(this->SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  }
  void Click() { this->SendMessage(BM_CLICK); }
};
typedef CButtonT<ATL::CWindow> CButton;

template <class TBase = ATL::CWindow>
class CToolTipCtrlT : public TBase {
 public:
  CToolTipCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
  static LPCWSTR GetWndClassName() { return TOOLTIPS_CLASSW; }

  // A tooltip window owned by `parent` (a popup: destroy it with its tool's window).
  HWND Create(HWND parent, ATL::_U_RECT rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, ATL::_U_MENUorID menuOrId = 0U, LPVOID param = nullptr) {
    return TBase::Create(GetWndClassName(), parent, rect, name, style, exStyle, menuOrId, param);
  }
  void Activate(BOOL activate) { this->SendMessage(TTM_ACTIVATE, activate); }
  BOOL AddTool(HWND tool, LPCWSTR text) {
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = ::GetParent(tool);
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(this->SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
  }
  int GetToolCount() const { return static_cast<int>(this->SendMessage(TTM_GETTOOLCOUNT)); }
  void RelayEvent(LPMSG msg) { this->SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
};
typedef CToolTipCtrlT<ATL::CWindow> CToolTipCtrl;

template <class TBase = ATL::CWindow>
class CTreeViewCtrlT : public TBase {
 public:
  CTreeViewCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
  CTreeViewCtrlT& operator=(HWND hWnd) { this->m_hWnd = hWnd; return *this; }
  static LPCWSTR GetWndClassName() { return WC_TREEVIEWW; }

  HWND Create(HWND parent, ATL::_U_RECT rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, ATL::_U_MENUorID menuOrId = 0U, LPVOID param = nullptr) {
    return TBase::Create(GetWndClassName(), parent, rect, name, style, exStyle, menuOrId, param);
  }

  HTREEITEM InsertItem(LPTVINSERTSTRUCTW insert) {
    return reinterpret_cast<HTREEITEM>(this->SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert)));
  }
  HTREEITEM InsertItem(UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                       LPARAM param, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = mask;
    insert.item.pszText = const_cast<LPWSTR>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.state = state;
    insert.item.stateMask = stateMask;
    insert.item.lParam = param;
    return InsertItem(&insert);
  }
  HTREEITEM InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after) {
    return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0,
                      parent, after);
  }
  HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent, HTREEITEM after) {
    return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
  }
  BOOL DeleteItem(HTREEITEM item) {
    return static_cast<BOOL>(this->SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
  }
  BOOL DeleteAllItems() {
    return static_cast<BOOL>(this->SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
  }
  BOOL Expand(HTREEITEM item, UINT code = TVE_EXPAND) {
    return static_cast<BOOL>(this->SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
  }
  UINT GetCount() const { return static_cast<UINT>(this->SendMessage(TVM_GETCOUNT)); }

  HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
    return reinterpret_cast<HTREEITEM>(this->SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
  HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
  HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
  HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
  BOOL Select(HTREEITEM item, UINT code) {
    return static_cast<BOOL>(this->SendMessage(TVM_SELECTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  BOOL SelectItem(HTREEITEM item) { return Select(item, TVGN_CARET); }
  BOOL EnsureVisible(HTREEITEM item) {
    return static_cast<BOOL>(this->SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)));
  }

  BOOL GetItem(LPTVITEMW item) const {
    return static_cast<BOOL>(this->SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item)));
  }
  BOOL SetItem(LPTVITEMW item) {
    return static_cast<BOOL>(this->SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item)));
  }
  BOOL GetItemText(HTREEITEM handle, LPWSTR text, int max) const {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_TEXT;
    item.pszText = text;
    item.cchTextMax = max;
    return GetItem(&item);
  }
  BOOL SetItemText(HTREEITEM handle, LPCWSTR text) {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_TEXT;
    item.pszText = const_cast<LPWSTR>(text);
    return SetItem(&item);
  }
  DWORD_PTR GetItemData(HTREEITEM handle) const {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_PARAM;
    return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
  }
  BOOL SetItemData(HTREEITEM handle, DWORD_PTR data) {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_PARAM;
    item.lParam = static_cast<LPARAM>(data);
    return SetItem(&item);
  }
  BOOL GetItemImage(HTREEITEM handle, int& image, int& selectedImage) const {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    if (!GetItem(&item)) return FALSE;
    image = item.iImage;
    selectedImage = item.iSelectedImage;
    return TRUE;
  }
  BOOL SetItemImage(HTREEITEM handle, int image, int selectedImage) {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    return SetItem(&item);
  }
  UINT GetItemState(HTREEITEM handle, UINT stateMask) const {
    return static_cast<UINT>(this->SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(handle), stateMask));
  }
  BOOL SetItemState(HTREEITEM handle, UINT state, UINT stateMask) {
    TVITEMW item = {};
    item.hItem = handle;
    item.mask = TVIF_STATE;
    item.state = state;
    item.stateMask = stateMask;
    return SetItem(&item);
  }
  BOOL GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const {
    *reinterpret_cast<HTREEITEM*>(rect) = item;
    return static_cast<BOOL>(this->SendMessage(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(rect)));
  }

  HIMAGELIST GetImageList(int which = TVSIL_NORMAL) const {
    return reinterpret_cast<HIMAGELIST>(this->SendMessage(TVM_GETIMAGELIST, which));
  }
  HIMAGELIST SetImageList(HIMAGELIST list, int which = TVSIL_NORMAL) {
    return reinterpret_cast<HIMAGELIST>(this->SendMessage(TVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
  }

  HTREEITEM HitTest(TVHITTESTINFO* info) const {
    return reinterpret_cast<HTREEITEM>(this->SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
  }
  HTREEITEM HitTest(POINT point, UINT* flags) const {
    TVHITTESTINFO info = {};
    info.pt = point;
    HTREEITEM item = HitTest(&info);
    if (flags) *flags = info.flags;
    return item;
  }

  COLORREF SetBkColor(COLORREF color) { return static_cast<COLORREF>(this->SendMessage(TVM_SETBKCOLOR, 0, color)); }
  COLORREF SetTextColor(COLORREF color) { return static_cast<COLORREF>(this->SendMessage(TVM_SETTEXTCOLOR, 0, color)); }
  int SetItemHeight(int height) { return static_cast<int>(this->SendMessage(TVM_SETITEMHEIGHT, height)); }
  UINT GetIndent() const { return static_cast<UINT>(this->SendMessage(TVM_GETINDENT)); }
  void SetIndent(UINT indent) { this->SendMessage(TVM_SETINDENT, indent); }
};
typedef CTreeViewCtrlT<ATL::CWindow> CTreeViewCtrl;

}  // namespace WTL

using WTL::CButton;
using WTL::CButtonT;
using WTL::CImageList;
using WTL::CImageListManaged;
using WTL::CToolTipCtrl;
using WTL::CToolTipCtrlT;
using WTL::CTreeViewCtrl;
using WTL::CTreeViewCtrlT;
