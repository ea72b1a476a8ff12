// The program's own window messages, WM_USER + n: who sends each one to whom, and what
// its parameters carry (both 0 unless said). Every window and thread uses these names.
#pragma once
#include <windows.h>

// A second instance → the main window: show it and bring it to the front.
constexpr UINT kWakeMessage = WM_USER + 1;
// The options or recovery page → the main window: show the home page, step 0.
constexpr UINT kShowHomeMessage = WM_USER + 2;
// The home or recovery page → the main window: show the options page, step 1.
constexpr UINT kShowOptionsMessage = WM_USER + 3;
// The options page → the main window: show the recovery page, step 2; with wParam 1 and
// lParam the scan request, start a scan with it.
constexpr UINT kShowScanMessage = WM_USER + 4;
// The home page → the main window: show the recovery page with the resumed files.
constexpr UINT kShowResumedMessage = WM_USER + 5;
// The main window → the recovery page: lParam the scan request, start a scan.
constexpr UINT kStartScanMessage = WM_USER + 6;
// The preview grid → the recovery page: wParam the list index of the focused file, -1 none.
constexpr UINT kFocusedFileMessage = WM_USER + 7;
// The preview grid → the recovery page: wParam the files in the view, lParam the selected.
constexpr UINT kViewCountsMessage = WM_USER + 8;
// The recovering thread → the preview grid (posted): recovering has finished.
constexpr UINT kRecoveryFinishedMessage = WM_USER + 9;
// The resume thread → the home page (posted): resuming has finished.
constexpr UINT kResumeFinishedMessage = WM_USER + 10;
// The main window → the recovery page: list-only mode (after resuming, no engine).
constexpr UINT kListOnlyMessage = WM_USER + 11;
// The preview grid → the main window: files were recovered, step 3.
constexpr UINT kFilesRecoveredMessage = WM_USER + 12;
