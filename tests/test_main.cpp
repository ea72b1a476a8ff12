// The main of every Windows test executable: runs the tests, reports, then ends the
// process at once. Wine has crashed in a test process's exit after every test had passed
// (threads the tests left parked, DLL detach); nothing of the code under test runs
// there, and a passed run must not turn into a failure. The program's own exit is
// checked by tests that start it as a process of its own.
// Output is unbuffered: a process that dies keeps what it printed, and a run that printed
// nothing at all never reached its tests (tools/wine-test.sh relies on that).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(rc));
  return rc;
}
