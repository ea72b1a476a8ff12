#include "base/settings.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "base/paths.h"
#include "base/system_probe.h"

wchar_t cache_path[kSettingsPathChars] = L"";
wchar_t recovery_path[kSettingsPathChars] = L"";
wchar_t language_name[kLanguageNameChars] = L"English";

namespace {

const wchar_t kSettingsKey[] = L"SOFTWARE\\Orvalin";
const wchar_t kInstallerKey[] = L"SOFTWARE\\Orvalin_Init";

// Opened once by load_settings and kept for every later save.
HKEY g_settings_key = nullptr;

// Language names by the installer's number (1 to 11).
const wchar_t* const kInstallerLanguages[] = {
    L"English",  L"Deutsch",  L"Español",    L"Français",  L"Italiano", L"日本語",
    L"简体中文", L"繁體中文", L"Nederlands", L"Português", L"العربية"};

void copy_field(wchar_t* field, int capacity, const std::wstring& text) {
  wcsncpy(field, text.c_str(), capacity - 1);
  field[capacity - 1] = L'\0';
}

void set_defaults() {
  wchar_t temp[MAX_PATH + 1] = L"";
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) temp[0] = L'\0';
  copy_field(cache_path, kSettingsPathChars, join_path(temp, L"ORV_Cache"));
  copy_field(recovery_path, kSettingsPathChars, join_path(program_dir, L"recovery"));
  copy_field(language_name, kLanguageNameChars, L"English");
}

// Takes a stored string into the field only when it is a terminated string that fits;
// anything else leaves the field as it was.
void read_string_value(const wchar_t* name, wchar_t* field, int capacity) {
  std::wstring buffer(capacity, L'\0');
  DWORD type = 0;
  DWORD bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
  LONG rc = RegQueryValueExW(g_settings_key, name, nullptr, &type,
                             reinterpret_cast<BYTE*>(&buffer[0]), &bytes);
  if (rc != ERROR_SUCCESS) return;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return;
  if (bytes % sizeof(wchar_t) != 0) return;
  DWORD chars = bytes / sizeof(wchar_t);
  if (chars == 0) {
    field[0] = L'\0';
    return;
  }
  if (chars > static_cast<DWORD>(capacity) || buffer[chars - 1] != L'\0') return;
  wmemcpy(field, buffer.data(), chars);
}

void write_string_value(const wchar_t* name, const wchar_t* field) {
  DWORD bytes = static_cast<DWORD>((wcslen(field) + 1) * sizeof(wchar_t));
  RegSetValueExW(g_settings_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(field), bytes);
}

// First run for this user: take over the language the installer chose.
void adopt_installer_language() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kInstallerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  DWORD number = 0;
  DWORD bytes = sizeof number;
  if (RegQueryValueExW(key, L"language", nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                       &bytes) == ERROR_SUCCESS &&
      number >= 1 && number <= 11)
    copy_field(language_name, kLanguageNameChars, kInstallerLanguages[number - 1]);
  RegCloseKey(key);
}

}  // namespace

bool load_settings() {
  set_defaults();
  if (g_settings_key) {  // loaded before: start from a fresh handle
    RegCloseKey(g_settings_key);
    g_settings_key = nullptr;
  }
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &g_settings_key,
                      &disposition) != ERROR_SUCCESS) {
    g_settings_key = nullptr;
    return false;
  }
  if (disposition == REG_OPENED_EXISTING_KEY) {
    read_string_value(L"CachePath", cache_path, kSettingsPathChars);
    read_string_value(L"RecoveryPath", recovery_path, kSettingsPathChars);
    read_string_value(L"Language", language_name, kLanguageNameChars);
  } else {
    adopt_installer_language();
    save_settings();
  }
  ensure_directory(recovery_path);
  ensure_directory(cache_path);
  return true;
}

bool save_settings() {
  if (!g_settings_key) return true;
  write_string_value(L"RecoveryPath", recovery_path);
  write_string_value(L"CachePath", cache_path);
  write_string_value(L"language", language_name);
  return true;
}

void reset_settings_for_test() {
  if (g_settings_key) RegCloseKey(g_settings_key);
  g_settings_key = nullptr;
  cache_path[0] = L'\0';
  recovery_path[0] = L'\0';
  copy_field(language_name, kLanguageNameChars, L"English");
}
