// The image button base and the tree-view wrapper on real controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/bitmap_button.h"
#include "framework/controls.h"
#include "framework/window.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class host_window : public CWindowImpl<host_window, CWindow, FrameTraits> {
 public:
  DECLARE_WND_CLASS(L"tess_test_host")
  std::vector<std::wstring> log;
  BEGIN_MSG_MAP(host_window)
    MESSAGE_HANDLER(WM_COMMAND, on_command)
    NOTIFY_CODE_HANDLER(TVN_SELCHANGEDW, on_selection)
  END_MSG_MAP()
  LRESULT on_command(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
    HWND from = reinterpret_cast<HWND>(lParam);
    log.push_back(L"command " + std::to_wstring(LOWORD(wParam)) + L"/" + std::to_wstring(HIWORD(wParam)) +
                  (from && ::IsWindow(from) ? L" from control" : L""));
    return 0;
  }
  LRESULT on_selection(int id, LPNMHDR header, BOOL&) {
    auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
    log.push_back(L"selected " + std::to_wstring(id) + L" data " + std::to_wstring(change->itemNew.lParam));
    return 0;
  }
};

class image_button : public CBitmapButtonImpl<image_button> {
 public:
  DECLARE_WND_SUPERCLASS(L"tess_test_image_button", CButtonT<>::GetWndClassName())
  image_button(DWORD style = BMPBTN_AUTOSIZE, HIMAGELIST list = nullptr) : CBitmapButtonImpl(style, list) {}
  BEGIN_MSG_MAP(image_button)
    CHAIN_MSG_MAP(CBitmapButtonImpl<image_button>)
  END_MSG_MAP()
};

HBITMAP solid_bitmap(int width, int height, COLORREF color) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  HBRUSH brush = ::CreateSolidBrush(color);
  RECT rect = {0, 0, width, height};
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return bitmap;
}

// Red, green, blue pictures of 40 x 20 at indices 0, 1, 2.
HIMAGELIST three_colour_list() {
  HIMAGELIST list = ::ImageList_Create(40, 20, ILC_COLOR32, 3, 0);
  for (COLORREF colour : {kRed, kGreen, kBlue}) {
    HBITMAP bitmap = solid_bitmap(40, 20, colour);
    ::ImageList_Add(list, bitmap, nullptr);
    ::DeleteObject(bitmap);
  }
  return list;
}

// What the button paints, read back from a memory bitmap.
COLORREF painted_colour(HWND button) {
  HDC screen = ::GetDC(nullptr);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 40, 20);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  COLORREF colour = ::GetPixel(dc, 20, 10);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return colour;
}

void mouse(HWND button, UINT msg, int x, int y) { ::SendMessageW(button, msg, 0, MAKELPARAM(x, y)); }

struct ImageButton : ::testing::Test {
  void SetUp() override {
    RECT rect = {0, 0, 300, 200};
    // Shown but never activated: hiding an activated window waits 2 s for a window
    // manager that Xvfb doesn't have.
    ASSERT_NE(host.Create(nullptr, rect, L"host", WS_POPUP | WS_CLIPCHILDREN, WS_EX_NOACTIVATE), nullptr);
    host.ShowWindow(SW_SHOWNOACTIVATE);
  }
  void TearDown() override {
    if (host.IsWindow()) host.DestroyWindow();
  }
  host_window host;
};

TEST_F(ImageButton, HoverModeFollowsMouseAndClicksOnlyOnReleaseInside) {
  image_button button(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
  button.SetImageList(three_colour_list());
  button.SetImages(0, 1, 2);
  RECT rect = {10, 10, 20, 20};
  ASSERT_NE(button.Create(host, rect, L"go", WS_CHILD | WS_VISIBLE, 0, 33U), nullptr);

  // Initialised: owner-drawn, sized to the images.
  EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
  RECT client;
  button.GetClientRect(&client);
  EXPECT_EQ(client.right, 40);
  EXPECT_EQ(client.bottom, 20);

  EXPECT_EQ(painted_colour(button), kRed);
  mouse(button, WM_MOUSEMOVE, 5, 5);
  EXPECT_EQ(painted_colour(button), kBlue);
  mouse(button, WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(::GetCapture(), button.m_hWnd);
  EXPECT_EQ(painted_colour(button), kGreen);

  // Dragged out: not pressed; released outside: no click.
  mouse(button, WM_MOUSEMOVE, 100, 5);
  EXPECT_EQ(painted_colour(button), kBlue);
  mouse(button, WM_LBUTTONUP, 100, 5);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_TRUE(host.log.empty());

  // Dragged back in before the release: one click, with the button's id and handle.
  mouse(button, WM_LBUTTONDOWN, 5, 5);
  mouse(button, WM_MOUSEMOVE, 100, 5);
  mouse(button, WM_MOUSEMOVE, 6, 6);
  EXPECT_EQ(painted_colour(button), kGreen);
  mouse(button, WM_LBUTTONUP, 6, 6);
  EXPECT_EQ(host.log, std::vector<std::wstring>{L"command 33/0 from control"});
  EXPECT_EQ(painted_colour(button), kBlue);

  button.SendMessage(WM_MOUSELEAVE);
  EXPECT_EQ(painted_colour(button), kRed);

  // Disabled without a disabled picture: the normal one.
  button.EnableWindow(FALSE);
  mouse(button, WM_MOUSEMOVE, 5, 5);
  EXPECT_EQ(painted_colour(button), kRed);
}

TEST_F(ImageButton, MissingIndicesFallBackToNormal) {
  image_button button(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
  button.SetImageList(three_colour_list());
  button.SetImages(0, -1, 1);  // normal and hover only
  ASSERT_NE(button.Create(host, nullptr, L"", WS_CHILD | WS_VISIBLE, 0, 34U), nullptr);
  mouse(button, WM_MOUSEMOVE, 5, 5);
  EXPECT_EQ(painted_colour(button), kGreen);
  mouse(button, WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(painted_colour(button), kRed);
  mouse(button, WM_LBUTTONUP, 5, 5);
}

TEST_F(ImageButton, OwnListDiesWithTheWindowSharedListSurvives) {
  HIMAGELIST shared = three_colour_list();
  {
    image_button first(BMPBTN_HOVER | BMPBTN_AUTOSIZE | BMPBTN_SHAREIMAGELISTS, shared);
    image_button second(BMPBTN_HOVER | BMPBTN_AUTOSIZE);
    second.SetImageList(three_colour_list());
    second.SetImages(0);
    ASSERT_NE(first.Create(host, nullptr, L"", WS_CHILD | WS_VISIBLE, 0, 35U), nullptr);
    ASSERT_NE(second.Create(host, nullptr, L"", WS_CHILD | WS_VISIBLE, 0, 36U), nullptr);
    host.DestroyWindow();
    EXPECT_EQ(first.GetImageList(), shared);
    EXPECT_EQ(second.GetImageList(), nullptr);
  }
  EXPECT_EQ(::ImageList_GetImageCount(shared), 3);
  ::ImageList_Destroy(shared);
}

TEST_F(ImageButton, SubclassingATemplateButtonInitialisesIt) {
  HWND plain = ::CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, 75, 23,
                                 host, reinterpret_cast<HMENU>(1), nullptr, nullptr);
  image_button button(BMPBTN_HOVER | BMPBTN_AUTOSIZE | BMPBTN_SHAREIMAGELISTS);
  OwnedImageList list(three_colour_list());
  button.SetImageList(list);
  button.SetImages(0, 1, 2);
  ASSERT_TRUE(button.SubclassWindow(plain));
  EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW));
  RECT client;
  button.GetClientRect(&client);
  EXPECT_EQ(client.right, 40);
  EXPECT_EQ(client.bottom, 20);
  EXPECT_EQ(painted_colour(button), kRed);
  mouse(button, WM_LBUTTONDOWN, 1, 1);
  mouse(button, WM_LBUTTONUP, 1, 1);
  EXPECT_EQ(host.log, std::vector<std::wstring>{L"command 1/0 from control"});
  host.DestroyWindow();
}

// A superclassed tree that never keeps the focus.
class test_tree : public CWindowImpl<test_tree, CTreeViewCtrlT<CWindow>, CWinTraits<0x56000000, 0>> {
 public:
  DECLARE_WND_SUPERCLASS(L"tess_test_tree", CTreeViewCtrlT<>::GetWndClassName())
  BEGIN_MSG_MAP(test_tree)
    MESSAGE_HANDLER(WM_SETFOCUS, on_focus)
  END_MSG_MAP()
  LRESULT on_focus(UINT, WPARAM, LPARAM, BOOL&) {
    ::SetFocus(GetParent());
    return 0;
  }
};

TEST(TreeView, ItemsImagesSelectionExpansionAndHitTest) {
  host_window host;
  RECT rect = {0, 0, 300, 300};
  ASSERT_NE(host.Create(nullptr, rect, L"tree host", WS_POPUP | WS_CLIPCHILDREN), nullptr);
  host.ShowWindow(SW_SHOW);
  test_tree tree;
  RECT area = {10, 10, 200, 250};
  ASSERT_NE(tree.Create(host, area, nullptr, 0, 0, 10U), nullptr);
  EXPECT_EQ(tree.GetStyle() & 0xFFFF0000, 0x56000000u);
  tree.ModifyStyle(0, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS);

  OwnedImageList images(three_colour_list());
  EXPECT_EQ(tree.SetImageList(images), nullptr);
  EXPECT_EQ(tree.GetImageList(), images.m_hImageList);

  HTREEITEM photo = tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, L"Photo", 0, 0,
                                    0, 0, 100, TVI_ROOT, TVI_LAST);
  HTREEITEM video = tree.InsertItem(L"Video", 1, 1, TVI_ROOT, TVI_LAST);
  HTREEITEM jpg = tree.InsertItem(L"jpg", photo, TVI_LAST);
  ASSERT_TRUE(photo && video && jpg);
  tree.SetItemData(jpg, 7);
  EXPECT_EQ(tree.GetCount(), 3u);
  EXPECT_EQ(tree.GetRootItem(), photo);
  EXPECT_EQ(tree.GetNextSiblingItem(photo), video);
  EXPECT_EQ(tree.GetChildItem(photo), jpg);
  EXPECT_EQ(tree.GetParentItem(jpg), photo);
  wchar_t text[16] = {};
  ASSERT_TRUE(tree.GetItemText(video, text, 16));
  EXPECT_STREQ(text, L"Video");
  int image = -1, selected = -1;
  ASSERT_TRUE(tree.GetItemImage(video, image, selected));
  EXPECT_EQ(image, 1);
  EXPECT_EQ(tree.GetItemData(photo), 100u);

  tree.Expand(photo);
  EXPECT_TRUE(tree.GetItemState(photo, TVIS_EXPANDED) & TVIS_EXPANDED);
  EXPECT_TRUE(tree.SelectItem(jpg));
  EXPECT_EQ(tree.GetSelectedItem(), jpg);
  EXPECT_EQ(host.log.back(), L"selected 10 data 7");

  RECT item_rect;
  ASSERT_TRUE(tree.GetItemRect(video, &item_rect, TRUE));
  POINT inside = {(item_rect.left + item_rect.right) / 2, (item_rect.top + item_rect.bottom) / 2};
  UINT flags = 0;
  EXPECT_EQ(tree.HitTest(inside, &flags), video);
  EXPECT_TRUE(flags & TVHT_ONITEM);

  // A click selects and notifies, and the focus ends on the parent.
  // (The control waits for the release in its own loop, so it is queued first.)
  ::PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(inside.x, inside.y));
  mouse(tree, WM_LBUTTONDOWN, inside.x, inside.y);
  EXPECT_EQ(tree.GetSelectedItem(), video);
  EXPECT_EQ(host.log.back(), L"selected 10 data 0");
  EXPECT_EQ(::GetFocus(), host.m_hWnd);
  ::SetFocus(nullptr);
  tree.SetFocus();
  EXPECT_EQ(::GetFocus(), host.m_hWnd);

  EXPECT_TRUE(tree.DeleteItem(photo));
  EXPECT_EQ(tree.GetCount(), 1u);
  EXPECT_TRUE(tree.DeleteAllItems());
  EXPECT_EQ(tree.GetCount(), 0u);
  tree.SetImageList(nullptr);
  host.DestroyWindow();
}

}  // namespace
