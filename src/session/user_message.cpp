#include "session/user_message.h"

#include <atomic>

#include "ui/pages/message_window.h"

namespace {

// The skinned message box of the pages.
int skinned_message_box(HWND owner, int mode, const wchar_t* text) {
  return show_message_window(owner, mode, text);
}

std::atomic<UserMessageFunction> g_show{skinned_message_box};

}  // namespace

int show_user_message(HWND owner, int mode, const wchar_t* text) {
  return g_show.load()(owner, mode, text ? text : L"");
}

UserMessageFunction set_user_message_function(UserMessageFunction function) {
  return g_show.exchange(function ? function : skinned_message_box);
}
