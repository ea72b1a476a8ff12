// Modal and modeless dialogs over a template of the test's resources.
#include <gtest/gtest.h>

#include <functional>

#include "framework/dialog.h"
#include "test_ids.h"

namespace {

class test_dialog : public CDialogImpl<test_dialog> {
 public:
  enum { IDD = IDD_TEST_DIALOG };

  std::function<void(test_dialog&)> on_start;  // runs at the end of WM_INITDIALOG
  LPARAM init_param = -1;
  int final_messages = 0;

  BEGIN_MSG_MAP(test_dialog)
    MESSAGE_HANDLER(WM_INITDIALOG, on_init)
    MESSAGE_HANDLER(WM_USER + 7, on_close_with_zero)
    MESSAGE_HANDLER(WM_ERASEBKGND, on_erase)
    COMMAND_ID_HANDLER(IDOK, on_button)
    COMMAND_ID_HANDLER(IDCANCEL, on_button)
  END_MSG_MAP()

  LRESULT on_init(UINT, WPARAM, LPARAM lParam, BOOL&) {
    init_param = lParam;
    if (on_start) on_start(*this);
    return TRUE;
  }
  LRESULT on_close_with_zero(UINT, WPARAM, LPARAM, BOOL&) {
    EndDialog(0);
    return 0;
  }
  LRESULT on_erase(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT on_button(WORD, WORD id, HWND, BOOL&) {
    if (m_bModal) EndDialog(id);
    else DestroyWindow();
    return 0;
  }
  void OnFinalMessage(HWND) override { ++final_messages; }
};

// Posts a key to the control that has the focus, as a keyboard would.
void post_key(test_dialog& dialog, WPARAM key) {
  HWND target = ::GetFocus();
  if (!target || !::IsChild(dialog, target)) target = dialog.GetDlgItem(IDOK);
  ::PostMessageW(target, WM_KEYDOWN, key, 1);
  ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

TEST(Dialog, EnterEndsWithOneEscapeWithTwoAndAHandlerWithZero) {
  test_dialog enter;
  enter.on_start = [](test_dialog& d) { post_key(d, VK_RETURN); };
  EXPECT_EQ(enter.DoModal(nullptr, 42), 1);
  EXPECT_EQ(enter.init_param, 42);
  EXPECT_EQ(enter.m_hWnd, nullptr);
  EXPECT_EQ(enter.final_messages, 1);

  test_dialog escape;
  escape.on_start = [](test_dialog& d) { post_key(d, VK_ESCAPE); };
  EXPECT_EQ(escape.DoModal(nullptr), 2);

  test_dialog zero;
  zero.on_start = [](test_dialog& d) { d.PostMessage(WM_USER + 7); };
  EXPECT_EQ(zero.DoModal(nullptr), 0);

  // Clicking the second button ends with its id.
  test_dialog click;
  click.on_start = [](test_dialog& d) { ::PostMessageW(d.GetDlgItem(IDCANCEL), BM_CLICK, 0, 0); };
  EXPECT_EQ(click.DoModal(nullptr), 2);
}

TEST(Dialog, HandledMessagesReturnTheirResultThroughTheDialog) {
  test_dialog dialog;
  ASSERT_NE(dialog.Create(nullptr, 5), nullptr);
  EXPECT_EQ(dialog.init_param, 5);
  wchar_t title[32] = {};
  dialog.GetWindowText(title, 32);
  EXPECT_STREQ(title, L"Test dialog");
  // A handled message's result arrives through DWLP_MSGRESULT.
  HDC dc = ::GetDC(dialog);
  EXPECT_EQ(dialog.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 1);
  ::ReleaseDC(dialog, dc);
  // An unhandled one gets the dialog's default processing.
  EXPECT_EQ(dialog.SendMessage(DM_GETDEFID), MAKELRESULT(IDOK, DC_HASDEFID));

  HWND handle = dialog;
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));  // modeless: destroys
  EXPECT_FALSE(::IsWindow(handle));
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_EQ(dialog.final_messages, 1);
}

TEST(Dialog, MissingTemplateFailsWithoutAttachingTheObject) {
  class missing : public CDialogImpl<missing> {
   public:
    enum { IDD = 999 };
    BEGIN_MSG_MAP(missing)
    END_MSG_MAP()
  } dialog;
  EXPECT_EQ(dialog.DoModal(nullptr), -1);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  // A following dialog on the same thread is not confused by the failed one.
  test_dialog next;
  next.on_start = [](test_dialog& d) { post_key(d, VK_ESCAPE); };
  EXPECT_EQ(next.DoModal(nullptr), 2);
}

}  // namespace
