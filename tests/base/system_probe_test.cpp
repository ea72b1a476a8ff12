#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "base/system_probe.h"

namespace {

TEST(SystemProbe, RecordsTheCurrentDirectoryWithOneTrailingBackslash) {
  wchar_t original[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, original);
  CreateDirectoryW(L"probe_dir", nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(L"probe_dir"));
  wchar_t here[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, here);
  ASSERT_TRUE(probe_system());
  EXPECT_EQ(std::wstring(here) + L"\\", program_dir);

  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));  // a root already ends in its backslash
  ASSERT_TRUE(probe_system());
  EXPECT_STREQ(L"C:\\", program_dir);

  SetCurrentDirectoryW(original);
  RemoveDirectoryW(L"probe_dir");
}

TEST(SystemProbe, CapacityTextsGiveTheirLeadingNumber) {
  EXPECT_EQ(536870912, parse_capacity(L"536870912"));
  EXPECT_EQ(8589934592LL, parse_capacity(L"  8589934592 bytes"));
  EXPECT_EQ(-42, parse_capacity(L"-42"));
  EXPECT_EQ(0, parse_capacity(L"unknown"));
  EXPECT_EQ(0, parse_capacity(L""));
  EXPECT_EQ(0, parse_capacity(nullptr));
  EXPECT_EQ(INT64_MAX, parse_capacity(L"99999999999999999999999"));
  EXPECT_EQ(INT64_MIN, parse_capacity(L"-99999999999999999999999"));
}

TEST(SystemProbe, CapacitiesAddUpWithoutWrapping) {
  // Two half-gigabyte modules reach the thumbnail worker's threshold of 1048576000 bytes.
  EXPECT_EQ(1073741824u, sum_capacities({L"536870912", L"536870912"}));
  EXPECT_EQ(1048575999u, sum_capacities({L"1048575999"}));
  EXPECT_EQ(100u, sum_capacities({L"100", L"-50", L"junk"}));
  EXPECT_EQ(UINT64_MAX, sum_capacities({L"9223372036854775807", L"9223372036854775807",
                                        L"9223372036854775807"}));
  EXPECT_EQ(0u, sum_capacities({}));
}

TEST(SystemProbe, MeasuresInstalledMemoryThroughWmi) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  physical_memory = 0;
  ASSERT_EQ(0, measure_physical_memory());
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  // Installed modules hold at least what the system can use, and not vastly more.
  EXPECT_GE(physical_memory, status.ullTotalPhys / 10 * 9);
  EXPECT_LE(physical_memory, status.ullTotalPhys * 2 + (1ull << 30));
  // A second measurement in the same process (COM security already set) agrees.
  std::uint64_t first = physical_memory;
  ASSERT_EQ(0, measure_physical_memory());
  EXPECT_EQ(first, physical_memory);
  CoUninitialize();
}

}  // namespace
