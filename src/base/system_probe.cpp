#include "base/system_probe.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cwchar>
#include <cwctype>
#include <limits>

wchar_t program_dir[kProgramDirChars] = L"";
std::uint64_t physical_memory = 0;

namespace {

bool query_os_version() {
  OSVERSIONINFOEXW extended = {};
  extended.dwOSVersionInfoSize = sizeof extended;
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "extended version structure");
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) return true;
  OSVERSIONINFOW basic = {};
  basic.dwOSVersionInfoSize = sizeof basic;
  static_assert(sizeof(OSVERSIONINFOW) == 276, "basic version structure");
  return GetVersionExW(&basic) != FALSE;
}

// Releases a COM interface when it goes out of scope.
template <class T>
struct ComRef {
  T* p = nullptr;
  ~ComRef() {
    if (p) p->Release();
  }
};

// "Capacity" of one result object as text; empty when missing or null.
std::wstring read_capacity_text(IWbemClassObject* object) {
  VARIANT value;
  VariantInit(&value);
  std::wstring text;
  if (SUCCEEDED(object->Get(L"Capacity", 0, &value, nullptr, nullptr)) &&
      value.vt != VT_NULL && value.vt != VT_EMPTY) {
    // WMI hands 64-bit numbers over as text; other forms are converted to text.
    if (value.vt == VT_BSTR || SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR))) {
      if (value.bstrVal) text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    }
  }
  VariantClear(&value);
  return text;
}

}  // namespace

bool probe_system() {
  if (!query_os_version()) return false;
  wchar_t dir[MAX_PATH] = L"";
  DWORD length = GetCurrentDirectoryW(MAX_PATH, dir);
  if (length == 0 || length >= MAX_PATH) dir[0] = L'\0';
  std::wstring recorded = dir;
  // A drive root already ends in a backslash; a second one would double it.
  if (recorded.empty() || recorded.back() != L'\\') recorded += L'\\';
  wcsncpy(program_dir, recorded.c_str(), kProgramDirChars - 1);
  program_dir[kProgramDirChars - 1] = L'\0';
  return true;
}

std::int64_t parse_capacity(const wchar_t* text) {
  if (!text) return 0;
  while (std::iswspace(*text)) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = (*text++ == L'-');
  const std::uint64_t limit = negative
      ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
      : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    unsigned digit = static_cast<unsigned>(*text - L'0');
    value = (value > (limit - digit) / 10) ? limit : value * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(value);
  return value == limit ? std::numeric_limits<std::int64_t>::min()
                        : -static_cast<std::int64_t>(value);
}

std::uint64_t sum_capacities(const std::vector<std::wstring>& texts) {
  std::uint64_t total = 0;
  for (const std::wstring& text : texts) {
    std::int64_t capacity = parse_capacity(text.c_str());
    if (capacity <= 0) continue;
    std::uint64_t add = static_cast<std::uint64_t>(capacity);
    total = (total > std::numeric_limits<std::uint64_t>::max() - add)
                ? std::numeric_limits<std::uint64_t>::max()
                : total + add;
  }
  return total;
}

int measure_physical_memory() {
  HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  // Security set earlier in this process (a repeated measurement) is no reason to give up.
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) return -1;

  ComRef<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWbemLocator, reinterpret_cast<void**>(&locator.p))))
    return -1;

  ComRef<IWbemServices> services;
  BSTR space = SysAllocString(L"ROOT\\CIMV2");
  hr = locator.p->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                &services.p);
  SysFreeString(space);
  if (FAILED(hr)) return -1;

  if (FAILED(CoSetProxyBlanket(services.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE)))
    return -1;

  ComRef<IEnumWbemClassObject> results;
  BSTR language = SysAllocString(L"WQL");
  BSTR query = SysAllocString(L"SELECT * FROM Win32_PhysicalMemory");
  hr = services.p->ExecQuery(language, query,
                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             &results.p);
  SysFreeString(query);
  SysFreeString(language);
  if (FAILED(hr)) return -1;

  std::vector<std::wstring> capacities;
  for (;;) {
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    hr = results.p->Next(WBEM_INFINITE, 1, &object, &returned);
    if (FAILED(hr) || returned == 0 || !object) break;
    std::wstring text = read_capacity_text(object);
    if (!text.empty()) capacities.push_back(text);
    object->Release();
  }
  physical_memory = sum_capacities(capacities);
  return 0;
}
