// Wrappers of the common controls the skin uses: push buttons, the tree view and
// image lists. Each wraps a handle; none owns it unless stated.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/window.h"

namespace WTL {

// An image list handle. Not owned: Destroy is explicit, as with the system call.
class ImageList {
 public:
  HIMAGELIST m_hImageList = nullptr;

  ImageList(HIMAGELIST list = nullptr) : m_hImageList(list) {}
  ImageList& operator=(HIMAGELIST list) { m_hImageList = list; return *this; }
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
class OwnedImageList : public ImageList {
 public:
  using ImageList::ImageList;
  OwnedImageList(const OwnedImageList&) = delete;
  OwnedImageList& operator=(const OwnedImageList&) = delete;
  ~OwnedImageList() { Destroy(); }
};

template <class TBase = ATL::CWindow>
class CButtonT : public TBase {
 public:
  CButtonT(HWND hWnd = nullptr) : TBase(hWnd) {}
  CButtonT& operator=(HWND hWnd) { this->m_hWnd = hWnd; return *this; }
  static LPCWSTR GetWndClassName() { return L"BUTTON"; }

  HWND Create(HWND parent, ATL::RectArgument rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, ATL::MenuOrId menuOrId = 0U, LPVOID param = nullptr) {
    return TBase::Create(GetWndClassName(), parent, rect, name, style, exStyle, menuOrId, param);
  }
};

template <class TBase = ATL::CWindow>
class CTreeViewCtrlT : public TBase {
 public:
  CTreeViewCtrlT(HWND hWnd = nullptr) : TBase(hWnd) {}
  CTreeViewCtrlT& operator=(HWND hWnd) { this->m_hWnd = hWnd; return *this; }
  static LPCWSTR GetWndClassName() { return WC_TREEVIEWW; }

  HWND Create(HWND parent, ATL::RectArgument rect = nullptr, LPCWSTR name = nullptr, DWORD style = 0,
              DWORD exStyle = 0, ATL::MenuOrId menuOrId = 0U, LPVOID param = nullptr) {
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
  HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
  BOOL Select(HTREEITEM item, UINT code) {
    return static_cast<BOOL>(this->SendMessage(TVM_SELECTITEM, code, reinterpret_cast<LPARAM>(item)));
  }
  BOOL SelectItem(HTREEITEM item) { return Select(item, TVGN_CARET); }

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
  UINT GetItemState(HTREEITEM handle, UINT stateMask) const {
    return static_cast<UINT>(this->SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(handle), stateMask));
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
};

}  // namespace WTL

using WTL::CButtonT;
using WTL::ImageList;
using WTL::OwnedImageList;
using WTL::CTreeViewCtrlT;
