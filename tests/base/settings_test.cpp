// The settings store against the real registry of the current user. Each case starts
// without the program's keys and puts back whatever was there before.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "base/settings.h"
#include "base/system_probe.h"

namespace {

const wchar_t kSettingsKey[] = L"SOFTWARE\\Orvalin";
const wchar_t kInstallerKey[] = L"SOFTWARE\\Orvalin_Init";

struct StoredValue {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
};

// The values of one key, taken away for the test and written back afterwards.
class SavedKey {
 public:
  explicit SavedKey(const wchar_t* path) : path_(path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    existed_ = true;
    for (DWORD i = 0;; ++i) {
      wchar_t name[16384];
      DWORD name_chars = 16384, type = 0, bytes = 0;
      if (RegEnumValueW(key, i, name, &name_chars, nullptr, &type, nullptr, &bytes) !=
          ERROR_SUCCESS)
        break;
      StoredValue value{name, type, std::vector<BYTE>(bytes + 1)};
      RegQueryValueExW(key, name, nullptr, &type, value.data.data(), &bytes);
      value.data.resize(bytes);
      values_.push_back(value);
    }
    RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
  }
  ~SavedKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_);
    if (!existed_) return;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return;
    for (const StoredValue& v : values_)
      RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(),
                     static_cast<DWORD>(v.data.size()));
    RegCloseKey(key);
  }

 private:
  const wchar_t* path_;
  bool existed_ = false;
  std::vector<StoredValue> values_;
};

bool is_directory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring current_directory() {
  wchar_t dir[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, dir);
  return dir;
}

// Stores the bytes exactly as given. (RegSetValueExW may add a missing terminator to a
// string, which would hide the damaged values this test needs.)
void put_value(const wchar_t* key_path, const wchar_t* name, DWORD type, const void* data,
               DWORD bytes) {
  using SetValue = LONG(WINAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
  static const SetValue set_value = reinterpret_cast<SetValue>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
  ASSERT_NE(nullptr, set_value);
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, key_path, 0, nullptr, 0,
                                           KEY_WRITE, nullptr, &key, nullptr));
  UNICODE_STRING value_name;
  value_name.Buffer = const_cast<wchar_t*>(name);
  value_name.Length = static_cast<USHORT>(wcslen(name) * sizeof(wchar_t));
  value_name.MaximumLength = value_name.Length;
  EXPECT_EQ(0, set_value(key, &value_name, 0, type, data, bytes));
  RegCloseKey(key);
}

void put_string(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
  put_value(kSettingsKey, name, type, text.c_str(),
            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Value of the settings key as stored: type, and the text when it is a string.
bool stored_string(const wchar_t* name, std::wstring& text, DWORD& bytes) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  wchar_t buffer[600] = L"";
  DWORD type = 0;
  bytes = sizeof buffer;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  text = buffer;
  return true;
}

DWORD value_count(const wchar_t* key_path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  DWORD count = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_settings_for_test();
    base_ = current_directory() + L"\\settings_case";
    RemoveTree(base_);
    CreateDirectoryW(base_.c_str(), nullptr);
    wcscpy(program_dir, (base_ + L"\\").c_str());
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    default_cache_ = std::wstring(temp) + L"ORV_Cache";
    cache_existed_ = is_directory(default_cache_);
  }
  void TearDown() override {
    reset_settings_for_test();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kInstallerKey);
    if (!cache_existed_) RemoveDirectoryW(default_cache_.c_str());
    RemoveTree(base_);
  }
  static void RemoveTree(const std::wstring& path) {
    std::wstring list = path + L'\0';  // double-terminated for the shell
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }
  // Starts again as a new process would, with the keys as they now are.
  bool reload() {
    reset_settings_for_test();
    return load_settings();
  }

  SavedKey saved_settings_{kSettingsKey};
  SavedKey saved_installer_{kInstallerKey};
  std::wstring base_;
  std::wstring default_cache_;
  bool cache_existed_ = false;
};

TEST_F(SettingsStore, FirstRunTakesTheInstallerLanguageAndWritesAllValues) {
  DWORD japanese = 6;
  put_value(kInstallerKey, L"language", REG_DWORD, &japanese, sizeof japanese);
  ASSERT_TRUE(load_settings());
  EXPECT_STREQ(L"\u65e5\u672c\u8a9e", language_name);
  EXPECT_EQ(base_ + L"\\recovery", recovery_path);
  EXPECT_EQ(default_cache_, cache_path);

  std::wstring text;
  DWORD bytes = 0;
  ASSERT_TRUE(stored_string(L"RecoveryPath", text, bytes));
  EXPECT_EQ(recovery_path, text);
  EXPECT_EQ((text.size() + 1) * 2, bytes);  // the terminator is stored
  ASSERT_TRUE(stored_string(L"CachePath", text, bytes));
  EXPECT_EQ(cache_path, text);
  ASSERT_TRUE(stored_string(L"Language", text, bytes));
  EXPECT_EQ(L"\u65e5\u672c\u8a9e", text);
  EXPECT_EQ(3u, value_count(kSettingsKey));
  EXPECT_TRUE(is_directory(recovery_path));
  EXPECT_TRUE(is_directory(cache_path));
}

TEST_F(SettingsStore, FirstRunWithoutInstallerChoiceKeepsEnglish) {
  ASSERT_TRUE(load_settings());
  EXPECT_STREQ(L"English", language_name);
  EXPECT_EQ(0u, value_count(kInstallerKey));  // created, empty
  EXPECT_EQ(3u, value_count(kSettingsKey));

  for (DWORD number : {0ul, 12ul, 0xFFFFFFFFul}) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    put_value(kInstallerKey, L"language", REG_DWORD, &number, sizeof number);
    ASSERT_TRUE(reload());
    EXPECT_STREQ(L"English", language_name) << number;
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  DWORD arabic = 11;
  put_value(kInstallerKey, L"language", REG_DWORD, &arabic, sizeof arabic);
  ASSERT_TRUE(reload());
  EXPECT_STREQ(L"\u0627\u0644\u0639\u0631\u0628\u064a\u0629", language_name);

  // The number's type is not looked at: its first four bytes count, and a longer value
  // doesn't fit and is no number.
  struct Stored {
    DWORD type;
    std::vector<BYTE> bytes;
    const wchar_t* language;
  } stored[] = {
      {REG_SZ, {'6', 0, 0, 0}, L"English"},  // the text "6" is the number 54
      {REG_BINARY, {2}, L"Deutsch"},
      {REG_QWORD, {4, 0, 0, 0, 0, 0, 0, 0}, L"English"},
      {REG_NONE, {}, L"English"},
  };
  for (const Stored& v : stored) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    put_value(kInstallerKey, L"language", v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size()));
    ASSERT_TRUE(reload());
    EXPECT_STREQ(v.language, language_name) << v.type;
  }
}

TEST_F(SettingsStore, LaterRunsReadStoredValuesAndWriteNothing) {
  const std::wstring recovery = base_ + L"\\out\\nested\\photos";
  const std::wstring cache = base_ + L"\\cache";
  put_string(L"RecoveryPath", recovery);
  put_string(L"CachePath", cache);
  put_string(L"Language", L"Deutsch");
  DWORD japanese = 6;  // the installer's choice counts only on the first run
  put_value(kInstallerKey, L"language", REG_DWORD, &japanese, sizeof japanese);

  ASSERT_TRUE(load_settings());
  EXPECT_EQ(recovery, recovery_path);
  EXPECT_EQ(cache, cache_path);
  EXPECT_STREQ(L"Deutsch", language_name);
  EXPECT_TRUE(is_directory(recovery));  // missing parents created too
  EXPECT_TRUE(is_directory(cache));
  EXPECT_EQ(3u, value_count(kSettingsKey));

  // An existing key without values: defaults, and nothing written.
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                  nullptr);
  RegCloseKey(key);
  ASSERT_TRUE(reload());
  EXPECT_EQ(base_ + L"\\recovery", recovery_path);
  EXPECT_STREQ(L"English", language_name);
  EXPECT_EQ(0u, value_count(kSettingsKey));
}

TEST_F(SettingsStore, StoredValuesAreTakenOnlyWhenTheyAreSoundStrings) {
  struct Case {
    const char* what;
    const wchar_t* name;
    DWORD type;
    std::wstring text;
    int byte_adjust;         // added to the byte count that includes the terminator
    const wchar_t* expected;  // null: the field keeps its default
  };
  const std::wstring longest(31, L'x');
  const Case cases[] = {
      {"31 characters fit", L"Language", REG_SZ, longest, 0, longest.c_str()},
      {"32 characters do not", L"Language", REG_SZ, std::wstring(32, L'y'), 0, nullptr},
      {"without terminator", L"Language", REG_SZ, L"Deutsch", -2, nullptr},
      {"odd length", L"Language", REG_SZ, L"Deutsch", 1, nullptr},
      {"expandable string", L"Language", REG_EXPAND_SZ, L"%LANG%", 0, L"%LANG%"},
      {"binary", L"Language", REG_BINARY, L"Deutsch", 0, nullptr},
      {"empty value", L"Language", REG_SZ, L"", -2, L""},
      {"a number", L"CachePath", REG_DWORD, L"C:", -2, nullptr},
      {"a list of texts", L"CachePath", REG_MULTI_SZ, std::wstring(L"C:\\a\0C:\\b\0", 10), 0, nullptr},
      {"a 64-bit number", L"RecoveryPath", REG_QWORD, L"C:\\x", -2, nullptr},
      {"no type", L"RecoveryPath", REG_NONE, L"C:\\x", 0, nullptr},
      {"a link", L"RecoveryPath", REG_LINK, L"C:\\x", 0, nullptr},
  };
  for (const Case& c : cases) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    std::vector<wchar_t> data(c.text.begin(), c.text.end());
    data.push_back(L'\0');
    data.push_back(L'\0');  // room for the odd extra byte
    DWORD bytes = static_cast<DWORD>((c.text.size() + 1) * 2 + c.byte_adjust);
    put_value(kSettingsKey, c.name, c.type, data.data(), bytes);
    ASSERT_TRUE(reload());
    const std::wstring name = c.name;
    const wchar_t* field = name == L"Language" ? language_name : name == L"CachePath" ? cache_path : recovery_path;
    const std::wstring fallback = name == L"Language"    ? L"English"
                                  : name == L"CachePath" ? default_cache_
                                                         : base_ + L"\\recovery";
    EXPECT_EQ(c.expected ? std::wstring(c.expected) : fallback, field) << c.what;
  }

  // A path with an environment reference is used as it stands.
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  put_string(L"CachePath", L"%TEMP%\\cards", REG_EXPAND_SZ);
  ASSERT_TRUE(reload());
  EXPECT_STREQ(L"%TEMP%\\cards", cache_path);
  // A path longer than its field keeps the default.
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  put_string(L"RecoveryPath", L"C:\\" + std::wstring(300, L'p'));
  ASSERT_TRUE(reload());
  EXPECT_EQ(base_ + L"\\recovery", recovery_path);
}

TEST_F(SettingsStore, SavedChangesAreThereAtTheNextStart) {
  ASSERT_TRUE(load_settings());
  const std::wstring recovery = base_ + L"\\chosen";
  wcscpy(recovery_path, recovery.c_str());
  wcscpy(language_name, L"Fran\u00e7ais");
  EXPECT_TRUE(save_settings());
  ASSERT_TRUE(reload());
  EXPECT_EQ(recovery, recovery_path);
  EXPECT_STREQ(L"Fran\u00e7ais", language_name);
  EXPECT_TRUE(is_directory(recovery));
  EXPECT_EQ(3u, value_count(kSettingsKey));  // "language" and "Language" name one value
}

}  // namespace
