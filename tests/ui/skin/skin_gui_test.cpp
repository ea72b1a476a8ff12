// Real windows of the skin: the caption buttons of a skinned frame driven by non-client
// mouse messages, image push buttons driven by the mouse, and the tree view that hands
// the focus on to its parent.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "framework/window.h"
#include "resource.h"
#include "ui/skin/bitmap_button.h"
#include "ui/skin/treeview.h"
#include "ui/skin/ui_window.h"

namespace {

// A parent that records the commands and notifications its children send.
struct recorder : CWindowImpl<recorder, CWindow, CWinTraits<WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0>> {
  DECLARE_WND_CLASS(L"SkinTestParent")
  int clicks = 0;
  int last_click_id = 0;
  int selection_changes = 0;
  BEGIN_MSG_MAP(recorder)
    MESSAGE_HANDLER(WM_COMMAND, on_command)
    MESSAGE_HANDLER(WM_NOTIFY, on_notify)
  END_MSG_MAP()
  LRESULT on_command(UINT, WPARAM wparam, LPARAM, BOOL&) {
    if (HIWORD(wparam) == BN_CLICKED) ++clicks, last_click_id = LOWORD(wparam);
    return 0;
  }
  LRESULT on_notify(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
    if (reinterpret_cast<NMHDR*>(lparam)->code == TVN_SELCHANGEDW) ++selection_changes;
    handled = FALSE;
    return 0;
  }
};

// A top-level skinned window with two caption buttons side by side.
struct framed : CWindowImpl<framed, CWindow, CWinTraits<WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0>>,
                ui_window_c<framed> {
  DECLARE_WND_CLASS(L"SkinTestFrame")
  int first_clicks = 0, second_clicks = 0;
  framed() : ui_window_c<framed>(100) {}
  void first_clicked() { ++first_clicks; }
  void second_clicked() { ++second_clicks; }
  BEGIN_MSG_MAP(framed)
    if (process_message(uMsg, wParam, lParam, lResult)) return TRUE;
    MESSAGE_HANDLER(WM_CREATE, on_create)
  END_MSG_MAP()
  LRESULT on_create(UINT, WPARAM, LPARAM, BOOL&) {
    add(IDB_CLOSE_BUTTON, 0, &framed::first_clicked);
    add(IDB_MINIMISE_BUTTON, 30, &framed::second_clicked);
    return 0;
  }
  void add(int id, int offset, void (framed::*action)()) {
    auto* button = new system_button_c<framed>;
    button->create(GetModuleHandleW(nullptr), id, id + 1, id + 2, frame_width + offset, frame_height,
                   frame_width + offset + 30, frame_height + 21, L"");
    button->on_click = action;
    buttons.push_back(button);
  }
  // Sends a non-client mouse message at window coordinates (x, y).
  LRESULT mouse(UINT message, int x, int y) {
    RECT r;
    GetWindowRect(&r);
    return SendMessage(message, HTCAPTION, MAKELPARAM(r.left + x, r.top + y));
  }
  int state(int i) const { return buttons[i]->state; }
};

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class SkinWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
  }
};

TEST_F(SkinWindows, CaptionButtonsFollowTheMouseOneChangePerMessage) {
  framed window;
  RECT place = {50, 50, 450, 350};
  ASSERT_NE(window.Create(nullptr, place, L"Frame"), nullptr);
  pump();
  const int w = 400, top = window.frame_height + 5;
  const int on_first = w - window.frame_width - 15, on_second = w - window.frame_width - 45;

  window.mouse(WM_NCMOUSEMOVE, on_first, top);
  EXPECT_EQ(window.state(0), 1);
  // Straight onto the neighbour: the first message clears the first button only.
  window.mouse(WM_NCMOUSEMOVE, on_second, top);
  EXPECT_EQ(window.state(0), 0);
  EXPECT_EQ(window.state(1), 0);
  window.mouse(WM_NCMOUSEMOVE, on_second, top);
  EXPECT_EQ(window.state(1), 1);

  // Press, drag off, release elsewhere: no click.
  window.mouse(WM_NCLBUTTONDOWN, on_second, top);
  EXPECT_EQ(window.state(1), 2);
  window.mouse(WM_NCMOUSEMOVE, 100, top);
  EXPECT_EQ(window.state(1), 0);
  window.mouse(WM_NCLBUTTONUP, 100, top);
  EXPECT_EQ(window.second_clicks, 0);

  // Press and release on the same button: one click, and the button shows hover.
  window.mouse(WM_NCLBUTTONDOWN, on_first, top);
  window.mouse(WM_NCLBUTTONUP, on_first, top);
  EXPECT_EQ(window.first_clicks, 1);
  EXPECT_EQ(window.state(0), 1);
  // A release over a button already in hover does not click again.
  window.mouse(WM_NCLBUTTONUP, on_first, top);
  EXPECT_EQ(window.first_clicks, 1);

  window.SendMessage(WM_NCMOUSELEAVE);
  EXPECT_EQ(window.state(0), 0);
  EXPECT_FALSE(window.leave_tracking);

  // The header is 100 pixels tall: the client area starts that far below the top
  // border, which is as thick as the side border.
  RECT r;
  window.GetWindowRect(&r);
  POINT origin = {0, 0};
  window.ClientToScreen(&origin);
  EXPECT_EQ(origin.y - r.top, (origin.x - r.left) + 100);
  window.DestroyWindow();
}

TEST_F(SkinWindows, ImageButtonPressedFollowsThePointerAndClicksOnlyInside) {
  recorder parent;
  RECT place = {0, 0, 300, 200};
  ASSERT_NE(parent.Create(nullptr, place), nullptr);
  bitmap_button_c button;
  button.set_images(IDB_OPTION_BUTTON, IDB_OPTION_BUTTON + 1, IDB_OPTION_BUTTON + 2);
  RECT at = {10, 10, 20, 20};
  ASSERT_NE(button.Create(parent, at, L"Go", 0, 0, 7U), nullptr);
  wchar_t class_name[32] = {};
  GetClassNameW(button, class_name, 32);
  EXPECT_STREQ(class_name, L"bitmap_button");
  RECT client;
  button.GetClientRect(&client);
  EXPECT_EQ(client.right, 100);
  EXPECT_EQ(client.bottom, 24);

  EXPECT_EQ(button.current_image(), 0);
  button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 12));
  EXPECT_EQ(button.current_image(), 2) << "hover";
  button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 12));
  EXPECT_EQ(button.current_image(), 1) << "pushed";
  button.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 12));
  EXPECT_NE(button.current_image(), 1) << "dragged out";
  button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(150, 12));
  EXPECT_EQ(parent.clicks, 0);

  button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 12));
  button.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 12));
  button.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 12));
  button.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(60, 12));
  EXPECT_EQ(parent.clicks, 1);
  EXPECT_EQ(parent.last_click_id, 7);
  parent.DestroyWindow();
}

TEST_F(SkinWindows, ImageIndicesDependOnTheImagesGiven) {
  bitmap_button_c only_normal;
  only_normal.set_images(IDB_PAGE_BUTTON);
  EXPECT_EQ(only_normal.m_nImage[0], 0);
  EXPECT_EQ(only_normal.m_nImage[1], -1);
  EXPECT_EQ(only_normal.m_nImage[2], -1);
  only_normal.m_fPressed = 1;
  EXPECT_EQ(only_normal.current_image(), 0);
  only_normal.m_fMouseOver = 1;
  EXPECT_EQ(only_normal.current_image(), 0);

  bitmap_button_c with_hover;
  with_hover.set_images(IDB_PAGE_BUTTON, -1, IDB_PAGE_BUTTON + 2);
  EXPECT_EQ(with_hover.m_nImage[2], 1);
  EXPECT_EQ(ImageList_GetImageCount(with_hover.own_image_list), 2);
  EXPECT_EQ(with_hover.GetBitmapButtonExtendedStyle(), 9u);
  with_hover.m_fMouseOver = 1;
  EXPECT_EQ(with_hover.current_image(), 1);
  with_hover.m_fPressed = 1;
  EXPECT_EQ(with_hover.current_image(), 0) << "no pushed picture: the normal one";
}

TEST_F(SkinWindows, LabelIsCentredUnlessBothOriginCoordinatesAreSet) {
  recorder parent;
  RECT place = {0, 0, 300, 200};
  ASSERT_NE(parent.Create(nullptr, place), nullptr);
  HIMAGELIST shared = ImageList_Create(100, 30, ILC_COLOR32, 3, 1);
  HBITMAP picture = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_PAGE_BUTTON),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ImageList_Add(shared, picture, nullptr);
  DeleteObject(picture);

  // Where the red label lands, painted through print-client into a memory bitmap.
  auto label_columns = [&](int text_x, int text_y, int& first, int& last) {
    bitmap_button_c button;
    button.SetBitmapButtonExtendedStyle(BMPBTN_HOVER | BMPBTN_AUTOSIZE | BMPBTN_SHAREIMAGELISTS);
    button.SetImageList(shared);
    button.SetImages(0);
    RECT at = {0, 0, 100, 30};
    button.Create(parent, at, L"WWWW", 0, 0, 8U);
    button.text_color = RGB(255, 0, 0);
    button.text_x = text_x;
    button.text_y = text_y;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 30);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    button.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    first = -1, last = -1;
    for (int x = 0; x < 100; ++x)
      for (int y = 0; y < 30; ++y) {
        const COLORREF p = GetPixel(dc, x, y);
        if (GetRValue(p) > 180 && GetGValue(p) < 90 && GetBValue(p) < 90) {
          if (first < 0) first = x;
          last = x;
          break;
        }
      }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    button.DestroyWindow();
  };
  int first = 0, last = 0;
  label_columns(-1, -1, first, last);
  ASSERT_GE(first, 0);
  EXPECT_LE(std::abs((first + last) - 99), 4) << first << ".." << last << " centred";
  label_columns(5, 4, first, last);
  EXPECT_LE(first, 7);
  EXPECT_GE(first, 5);
  label_columns(5, -1, first, last);
  EXPECT_GT(first, 10) << "one coordinate alone still centres";

  // The shared list outlives every button that drew from it.
  EXPECT_EQ(ImageList_GetImageCount(shared), 1);
  ImageList_Destroy(shared);
  parent.DestroyWindow();
}

TEST_F(SkinWindows, TreeNeverKeepsTheFocusButClicksStillSelect) {
  recorder parent;
  RECT place = {0, 0, 300, 300};
  ASSERT_NE(parent.Create(nullptr, place), nullptr);
  parent.SetFocus();
  treeview_c tree;
  RECT at = {10, 10, 200, 250};
  ASSERT_NE(tree.Create(parent, at, nullptr, 0, 0, 10U), nullptr);
  wchar_t class_name[32] = {};
  GetClassNameW(tree, class_name, 32);
  EXPECT_STREQ(class_name, L"TreeView");
  HTREEITEM photo = tree.InsertItem(L"Photo", TVI_ROOT, TVI_LAST);
  HTREEITEM video = tree.InsertItem(L"Video", TVI_ROOT, TVI_LAST);
  tree.SelectItem(photo);
  parent.selection_changes = 0;

  tree.SetFocus();
  EXPECT_EQ(GetFocus(), parent.m_hWnd);

  RECT item = {};  // the message takes the item's handle in the rectangle's place
  std::memcpy(&item, &video, sizeof video);
  ASSERT_TRUE(tree.SendMessage(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&item)));
  const LPARAM point = MAKELPARAM(item.left + 3, (item.top + item.bottom) / 2);
  tree.PostMessage(WM_LBUTTONUP, 0, point);  // ends the control's own drag tracking
  tree.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, point);
  pump();
  EXPECT_EQ(tree.GetSelectedItem(), video);
  EXPECT_GE(parent.selection_changes, 1);
  EXPECT_NE(GetFocus(), tree.m_hWnd);
  parent.DestroyWindow();
}

}  // namespace
