#pragma once
#define IDD_TEST_DIALOG 300
