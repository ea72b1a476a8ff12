#pragma once
// The three per-user settings, kept in the registry under HKEY_CURRENT_USER.
// The fields are written on the main thread only; worker threads read them without a lock.

constexpr int kSettingsPathChars = 260;     // including the terminator
constexpr int kLanguageNameChars = 32;      // including the terminator

extern wchar_t cache_path[kSettingsPathChars];
extern wchar_t recovery_path[kSettingsPathChars];
extern wchar_t language_name[kLanguageNameChars];

// Fills the fields (defaults, then stored values or the installer's language on the first
// run) and creates both folders. False only when the settings key is unavailable.
bool load_settings();

// Writes all three fields through the key opened by load_settings. Always true.
bool save_settings();

// Closes the settings key and puts the fields back to their state before loading,
// so that a test can load again as if the process had just started.
void reset_settings_for_test();
