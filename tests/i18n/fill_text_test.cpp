#include <gtest/gtest.h>

#include "i18n/language.h"

namespace {

TEST(FillText, PlaceholdersTakeTheirArgumentsInOrder) {
  EXPECT_EQ(L"3 files", fill_text(L"%d files", {L"3"}));
  EXPECT_EQ(L"12 of 18446744073709551615",
            fill_text(L"%I64u of %I64u", {L"12", L"18446744073709551615"}));
  EXPECT_EQ(L"size 64.00G!", fill_text(L"size %ls!", {L"64.00G"}));
  EXPECT_EQ(L"a b c", fill_text(L"%s %llu %u", {L"a", L"b", L"c"}));
  EXPECT_EQ(L"50% done", fill_text(L"%d%% done", {L"50"}));
}

TEST(FillText, DamagedFormatsNeverReachForMissingArguments) {
  EXPECT_EQ(L"1 and %d", fill_text(L"%d and %d", {L"1"}));
  EXPECT_EQ(L"%n %x %5d", fill_text(L"%n %x %5d", {L"1"}));
  EXPECT_EQ(L"ends in %", fill_text(L"ends in %", {}));
  EXPECT_EQ(L"plain", fill_text(L"plain", {L"unused"}));
}

}  // namespace
