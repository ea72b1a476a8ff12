#include "ui/skin/bitmap_button.h"

#include <string>

namespace {

HBITMAP load_bitmap(int id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

// The list built by set_images goes exactly once: through the base when it still holds
// it unshared (with the window, or in its destructor), otherwise here.
bitmap_button_c::~bitmap_button_c() {
  if (own_image_list && !base_frees_own_list()) ImageList_Destroy(own_image_list);
  own_image_list = nullptr;
}

LRESULT bitmap_button_c::on_destroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  if (own_image_list && base_frees_own_list()) own_image_list = nullptr;
  handled = FALSE;
  return 0;
}

void bitmap_button_c::set_images(int normal_id, int pushed_id, int hover_id) {
  HBITMAP normal = load_bitmap(normal_id);
  if (!normal) return;
  BITMAP info = {};
  GetObjectW(normal, sizeof info, &info);
  if (own_image_list) {
    if (m_ImageList.m_hImageList == own_image_list) m_ImageList.m_hImageList = nullptr;
    ImageList_Destroy(own_image_list);
    own_image_list = nullptr;
  }
  const int count = 1 + (pushed_id != -1) + (hover_id != -1);
  own_image_list = ImageList_Create(info.bmWidth, info.bmHeight, ILC_COLOR32, count, 1);
  ImageList_Add(own_image_list, normal, nullptr);
  DeleteObject(normal);
  int pushed_index = -1, hover_index = -1;
  for (int* index : {&pushed_index, &hover_index}) {
    const int id = index == &pushed_index ? pushed_id : hover_id;
    if (id == -1) continue;
    HBITMAP picture = load_bitmap(id);
    *index = ImageList_Add(own_image_list, picture, nullptr);
    if (picture) DeleteObject(picture);
  }
  SetBitmapButtonExtendedStyle(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
  SetImageList(own_image_list);
  SetImages(0, pushed_index, hover_index);
}

int bitmap_button_c::current_image() const {
  int image = -1;
  if (m_hWnd && !IsWindowEnabled()) image = m_nImage[_nImageDisabled];
  else if (m_fPressed) image = m_nImage[_nImagePushed];
  else if ((!IsHoverMode() && m_fFocus) || (IsHoverMode() && m_fMouseOver)) image = m_nImage[_nImageFocusOrHover];
  return image == -1 ? m_nImage[_nImageNormal] : image;
}

POINT bitmap_button_c::label_origin(HDC dc, const wchar_t* text, int width, int height) const {
  if (text_x != -1 && text_y != -1) return {text_x, text_y};
  SIZE extent = {};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
  return {(width - extent.cx) / 2, (height - extent.cy) / 2};
}

void bitmap_button_c::DoPaint(HDC dc) {
  const int image = current_image();
  if (image != -1 && !m_ImageList.IsNull()) m_ImageList.Draw(dc, image, 0, 0, ILD_NORMAL);

  const int length = GetWindowTextLength();
  if (length <= 0) return;
  std::wstring text(length + 1, L'\0');
  GetWindowText(&text[0], length + 1);
  text.resize(lstrlenW(text.c_str()));

  HGDIOBJ old_font = text_font ? SelectObject(dc, text_font) : nullptr;
  const COLORREF old_colour = SetTextColor(dc, text_color);
  const int old_mode = SetBkMode(dc, TRANSPARENT);
  RECT client;
  GetClientRect(&client);
  const POINT origin = label_origin(dc, text.c_str(), client.right, client.bottom);
  TextOutW(dc, origin.x, origin.y, text.c_str(), static_cast<int>(text.size()));
  SetBkMode(dc, old_mode);
  SetTextColor(dc, old_colour);
  if (old_font) SelectObject(dc, old_font);
}
