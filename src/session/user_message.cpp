#include "session/user_message.h"

#include <atomic>

namespace {

// Until the program installs its box, nothing is shown and the answer is "closed".
int no_message_box(HWND, int, const wchar_t*) { return 0; }

std::atomic<UserMessageFunction> g_show{no_message_box};

}  // namespace

int show_user_message(HWND owner, int mode, const wchar_t* text) {
  return g_show.load()(owner, mode, text ? text : L"");
}

UserMessageFunction set_user_message_function(UserMessageFunction function) {
  return g_show.exchange(function ? function : no_message_box);
}
