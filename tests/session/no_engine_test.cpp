// A program folder without Kestrune\kessrv.exe: the scan ends at once.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_files.h"
#include "session/engine_launch.h"
#include "session/engine_pipe.h"

TEST(NoEngine, LaunchReturnsMinusOneWithoutTouchingThePipe) {
  ScratchFolder cache;
  ScanSession block;
  std::memset(&block, 0, sizeof block);
  std::strcpy(block.cache_folder, cache.path().c_str());
  std::strcpy(block.volume, "E:");
  HANDLE pipe = create_engine_pipe();
  ASSERT_NE(pipe, nullptr);
  block.pipe = &pipe;
  ASSERT_FALSE(exists(engine_executable_path()));
  EXPECT_EQ(engine_launch_thread(&block), -1);
  EXPECT_EQ(block.process, nullptr);
  // Still listening: a client connects as to a fresh pipe.
  HANDLE client = CreateFileW(kEnginePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(client, INVALID_HANDLE_VALUE);
  if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
  close_engine_pipe(pipe);

  block.pipe = nullptr;  // no pipe: no engine is started either
  EXPECT_EQ(engine_launch_thread(&block), -1);
  block.pipe = &pipe;
  block.cache_folder[0] = '\0';  // no cache folder: nothing is deleted in the current one
  CreateDirectoryA("tmp.keep", nullptr);
  EXPECT_EQ(engine_launch_thread(&block), -1);
  EXPECT_TRUE(exists("tmp.keep"));
  RemoveDirectoryA("tmp.keep");
}
