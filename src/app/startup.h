// The process's start: one instance per desktop, the initialisation steps in their
// order, and the main window's message loop.
#pragma once
#include <windows.h>

// 0 to go on as the first instance; -1 after waking the first instance's window.
int check_single_instance();
// 0 when the program can start; -1 after the numbered failure message was shown.
int initialise_application();
// The message loop's exit code, or -1 when the main window cannot be created.
int run_main_window(int show_command);
