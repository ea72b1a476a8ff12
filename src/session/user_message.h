// The one door through which the program tells the user something: the session code and
// the pages call it, and start-up installs the skinned message box behind it (a layer the
// session must not include); tests install a recorder.
#pragma once
#include <windows.h>

// Message box modes: 0 information, 1 warning, 2 error, 3 question, 4 finished.
// Results: 1 first control, 2 second control, 0 closed.
using UserMessageFunction = int (*)(HWND owner, int mode, const wchar_t* text);

// Shows `text` modally in the given mode and returns the box's result.
int show_user_message(HWND owner, int mode, const wchar_t* text);

// Installs the box (the skinned one, or a recorder in tests); null removes it, and then
// nothing is shown and every box answers 0. Returns the previous function.
UserMessageFunction set_user_message_function(UserMessageFunction function);
