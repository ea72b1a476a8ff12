#include "session/user_message.h"

#include <atomic>

namespace {

int plain_message_box(HWND owner, int mode, const wchar_t* text) {
  UINT style = MB_OK;
  switch (mode) {
    case 1: style |= MB_ICONWARNING; break;
    case 2: style |= MB_ICONERROR; break;
    case 3: style = MB_YESNO | MB_ICONQUESTION; break;
    default: style |= MB_ICONINFORMATION; break;
  }
  int answer = MessageBoxW(owner, text, L"Tessaline", style);
  return answer == IDOK || answer == IDYES ? 1 : answer == IDNO ? 2 : 0;
}

std::atomic<UserMessageFunction> g_show{plain_message_box};

}  // namespace

int show_user_message(HWND owner, int mode, const wchar_t* text) {
  return g_show.load()(owner, mode, text ? text : L"");
}

UserMessageFunction set_user_message_function(UserMessageFunction function) {
  return g_show.exchange(function ? function : plain_message_box);
}
