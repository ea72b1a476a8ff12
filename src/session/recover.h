// Recovering: the selected found files are copied to the destination folder as
// FILE<index>.<ext>, with their real header restored.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/messages.h"

// Results of recover_file.
enum RecoverResult {
  kRecovered = 0,
  kSourceUnreadable = 1,     // the cached file can't be opened or read
  kDestinationFailed = 2,    // the destination file can't be created
  kShortWrite = 3,           // a write stored fewer bytes (typically a full disk)
};

// Thread procedure; `owner` is the HWND to notify, or null. Copies every selected file
// (or, when none is selected, the current item), shows the first failure of the run
// and returns how many files were really copied.
int recover_selected_thread(void* owner);

// Copies record `index` of the found-file list into the destination folder; one of
// RecoverResult. A failed copy leaves no destination file behind.
int recover_file(uint32_t index);
// The same into `folder`, which the recovering thread fixes when it starts.
int recover_file(uint32_t index, const std::wstring& folder);

// Shows the error box for a recover_file failure (codes 1, 2 and 3); others show nothing.
void show_recovery_failure(HWND owner, int code);

// "FILE%05d.<ext>" with every character Windows forbids in a file name replaced by
// '_', so the name can never leave the destination folder; no dot for an empty ext.
std::wstring recovery_file_name(uint32_t index, const char* ext);
