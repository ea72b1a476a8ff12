// Image push buttons: real child push buttons, owner-drawn from an image list, with a
// text label (the window text) drawn over the picture. Dialogs attach one to a template
// button; pages create theirs as windows of the class "bitmap_button".
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "framework/bitmap_button.h"
#include "framework/controls.h"

class bitmap_button_c;
using BitmapButtonBase =
    CBitmapButtonImpl<bitmap_button_c, WTL::CButtonT<ATL::CWindow>,
                      ATL::CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>>;

class bitmap_button_c : public BitmapButtonBase {
 public:
  DECLARE_WND_SUPERCLASS(L"bitmap_button", L"BUTTON")

  HFONT text_font = nullptr;  // not owned; null keeps the device context's font
  COLORREF text_color = 0;
  HIMAGELIST own_image_list = nullptr;  // built by set_images
  int text_x = -1;  // top-left of the label; centred when either is -1
  int text_y = -1;

  bitmap_button_c() : CBitmapButtonImpl(BMPBTN_AUTOSIZE) {}
  ~bitmap_button_c() override;

  // Builds the button's own list from bitmap resources: normal at 0, then pushed and
  // hover in that order when given. Hover mode with automatic size.
  void set_images(int normal_id, int pushed_id = -1, int hover_id = -1);

  // The picture of the current state, then the label.
  void DoPaint(HDC dc);

  // The image index the button shows now (what DoPaint draws), -1 for none.
  int current_image() const;
  // Where the label of `text` starts in a client area of width x height in `dc`.
  POINT label_origin(HDC dc, const wchar_t* text, int width, int height) const;

  BEGIN_MSG_MAP(bitmap_button_c)
    MESSAGE_HANDLER(WM_DESTROY, on_destroy)
    CHAIN_MSG_MAP(BitmapButtonBase)
  END_MSG_MAP()

 private:
  // The base frees the list it holds unless it is marked shared.
  bool base_frees_own_list() const {
    return m_ImageList.m_hImageList == own_image_list && !(m_dwExtendedStyle & BMPBTN_SHAREIMAGELISTS);
  }
  LRESULT on_destroy(UINT, WPARAM, LPARAM, BOOL& handled);
};
