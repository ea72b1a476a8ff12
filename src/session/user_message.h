// The one door through which the session code tells the user something.
#pragma once
#include <windows.h>

// Message box modes: 0 information, 1 warning, 2 error, 3 question, 4 finished.
// Results: 1 first control, 2 second control, 0 closed.
using UserMessageFunction = int (*)(HWND owner, int mode, const wchar_t* text);

// Shows `text` modally in the given mode and returns the box's result.
int show_user_message(HWND owner, int mode, const wchar_t* text);

// Replaces the box (the skinned one, or a recorder in tests); null restores the
// skinned default. Returns the previous function.
UserMessageFunction set_user_message_function(UserMessageFunction function);
