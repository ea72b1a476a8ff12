// The edition's installer under Wine (Tessaline-Setup.exe, or Tessaline-Setup-x64.exe for the
// 64-bit edition), one road: a silent install in Japanese into a scratch Program Files
// folder, the installed program's first start, then the silent uninstall, which must leave
// the user's recovered and cached files alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/program_driver.h"
#include "common/test_files.h"
#include "i18n/language.h"

namespace {

const wchar_t kSettingsKey[] = L"SOFTWARE\\Orvalin";
const wchar_t kFirstRunKey[] = L"SOFTWARE\\Orvalin_Init";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessaline";
constexpr int kHomeStart = 1;

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A path of the build machine as the test sees it through Wine's Z: drive.
std::wstring host_path(const char* unix_path) {
  std::wstring path = L"Z:" + wide(unix_path);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

// Runs a command line to its end; its exit code, or -1 when it cannot start.
DWORD run(std::wstring command) {
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return static_cast<DWORD>(-1);
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

bool key_exists(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The value's raw bytes (a string keeps its terminator), or nothing.
std::vector<BYTE> value_of(HKEY root, const wchar_t* path, const wchar_t* name, DWORD& type) {
  std::vector<BYTE> data(1024);
  DWORD size = static_cast<DWORD>(data.size());
  type = REG_NONE;
  if (RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size) != ERROR_SUCCESS)
    size = 0;
  data.resize(size);
  return data;
}

std::wstring string_value(HKEY root, const wchar_t* path, const wchar_t* name) {
  DWORD type;
  std::vector<BYTE> data = value_of(root, path, name, type);
  if (type != REG_SZ) return L"(not a string)";
  return reinterpret_cast<const wchar_t*>(data.data());
}

// A version-information text of an executable, e.g. "ProductName".
std::wstring version_text(const std::wstring& exe, const wchar_t* field) {
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  if (info.empty() || !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
    return L"(no version information)";
  wchar_t* text = nullptr;
  UINT length = 0;
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) return L"(missing)";
  return text;
}

std::wstring start_menu_link() {
  wchar_t programs[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
  return std::wstring(programs) + L"\\Tessaline\\Tessaline.lnk";
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The machine a Windows executable is built for, from its PE header; 0 when unreadable.
WORD pe_machine(const std::wstring& exe) {
  std::string bytes = get_file(narrow(exe));
  if (bytes.size() < 0x40) return 0;
  DWORD header = *reinterpret_cast<const DWORD*>(&bytes[0x3C]);
  if (header > bytes.size() - 6 || bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return *reinterpret_cast<const WORD*>(&bytes[header + 4]);
}

// Each edition's installer carries that edition and is itself of it.
constexpr WORD kEditionMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

}  // namespace

TEST(Installer, InstallsFirstStartsInTheChosenLanguageAndUninstallsOnlyItsOwn) {
  const std::wstring setup = host_path(TESS_SETUP_EXE);
  ScratchFolder scratch("setup");
  const std::wstring folder = scratch.wide() + L"\\Program Files\\Tessaline";
  const std::vector<std::wstring> installed = {folder + L"\\Tessaline.exe", folder + L"\\language.ini",
                                               folder + L"\\Kestrune\\kessrv.exe", folder + L"\\uninstall.exe"};
  // A user who never ran the program.
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, kFirstRunKey);

  ASSERT_EQ(0u, run(L"\"" + setup + L"\" /S /LANG=6 /D=" + folder));
  for (const std::wstring& file : installed) EXPECT_TRUE(exists(file)) << narrow(file);
  EXPECT_TRUE(exists(start_menu_link()));
  DWORD type;
  EXPECT_EQ((std::vector<BYTE>{6, 0, 0, 0}), value_of(HKEY_CURRENT_USER, kFirstRunKey, L"language", type));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(L"\"" + folder + L"\\uninstall.exe\"", string_value(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"));
  for (const std::wstring& exe : {installed[0], installed[2], installed[3], setup})
    EXPECT_EQ(kEditionMachine, pe_machine(exe)) << narrow(exe);
  for (const std::wstring& exe : {installed[0], installed[2], setup}) {
    EXPECT_EQ(L"Tessaline", version_text(exe, L"ProductName")) << narrow(exe);
    EXPECT_EQ(wide(TESS_VERSION), version_text(exe, L"FileVersion")) << narrow(exe);
  }

  {  // The first start takes over the installer's language.
    driver::program program(installed[0]);
    ASSERT_TRUE(program.start());
    reset_language_for_test();
    load_language_file(installed[1], L"日本語", true);
    std::wstring start = lookup_text("home_btn_start");
    EXPECT_FALSE(start.empty());
    EXPECT_EQ(start, driver::text_of(GetDlgItem(program.page(L"HomeWindow"), kHomeStart)));
    EXPECT_EQ(L"日本語", string_value(HKEY_CURRENT_USER, kSettingsKey, L"Language"));
    PostMessageW(program.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.wait_exit(20000));
  }

  // The user's files: a recovered one in the default destination inside the install
  // folder and a cached one in the cache folder.
  const std::wstring destination = string_value(HKEY_CURRENT_USER, kSettingsKey, L"RecoveryPath");
  EXPECT_EQ(folder + L"\\recovery", destination);
  const std::wstring cache = string_value(HKEY_CURRENT_USER, kSettingsKey, L"CachePath");
  const std::string recovered = narrow(destination) + "\\FILE00000.jpg";
  const std::string cached = narrow(cache) + "\\tmp_setup_test.jpg";
  ASSERT_TRUE(put_file(recovered, "recovered"));
  ASSERT_TRUE(put_file(cached, "cached"));

  // The uninstaller runs on from a copy of itself; its registration goes last.
  ASSERT_EQ(0u, run(L"\"" + installed[3] + L"\" /S"));
  EXPECT_TRUE(driver::wait_until([] { return !key_exists(HKEY_LOCAL_MACHINE, kUninstallKey); }, 60000));
  for (const std::wstring& file : installed) EXPECT_FALSE(exists(file)) << narrow(file);
  EXPECT_FALSE(exists(folder + L"\\Kestrune"));
  EXPECT_FALSE(exists(start_menu_link()));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kFirstRunKey));
  EXPECT_EQ("recovered", get_file(recovered));
  EXPECT_EQ("cached", get_file(cached));
  DeleteFileA(cached.c_str());
}
