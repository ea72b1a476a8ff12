// A program folder without Kestrune\kessrv.exe: the scan ends at once, failed.
#include <gtest/gtest.h>

#include <cstring>

#include "common/scan_run.h"
#include "common/test_files.h"
#include "session/engine_launch.h"
#include "session/engine_pipe.h"

TEST(NoEngine, TheScanFailsAndLeavesThePipeToTheNextOne) {
  ScratchFolder cache;
  ScanRequest request = {};
  std::strcpy(request.cache_folder, cache.path().c_str());
  std::strcpy(request.volume, "E:");
  ASSERT_FALSE(exists(engine_executable_path()));
  ScanJob job;
  ScanSnapshot end = run_scan(job, request);
  EXPECT_EQ(end.state, ScanState::ended);
  EXPECT_EQ(end.outcome, kScanFailed);
  EXPECT_EQ(end.engine_id, 0u);
  // The ended scan's pipe is gone: another can be made at once.
  HANDLE pipe = create_engine_pipe();
  EXPECT_NE(pipe, nullptr);
  close_engine_pipe(pipe);

  request.cache_folder[0] = '\0';  // no cache folder: nothing is deleted in the current one
  CreateDirectoryA("tmp.keep", nullptr);
  EXPECT_EQ(run_scan(job, request).outcome, kScanFailed);
  EXPECT_TRUE(exists("tmp.keep"));
  RemoveDirectoryA("tmp.keep");
}
