// Whole scans: the real engine_launch_thread against the stand-in engine
// (Kestrune\kessrv.exe beside this test), scripted through the environment.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "common/test_files.h"
#include "session/engine_control.h"
#include "session/engine_launch.h"
#include "session/engine_pipe.h"
#include "session/engine_report.h"
#include "session/found_file_list.h"
#include "session/worker_thread.h"

namespace {
class EngineScan : public ::testing::Test {
 protected:
  void SetUp() override {
    cache = scratch / "cache\\deep";  // missing parents: the launch creates them
    std::memset(&block, 0, sizeof block);
    std::strcpy(block.cache_folder, cache.c_str());
    std::strcpy(block.volume, "E:\\");
    block.photo = block.video = block.audio = 1;
    pipe = create_engine_pipe();
    ASSERT_NE(pipe, nullptr);
    block.pipe = &pipe;
    SetEnvironmentVariableA("TESS_STANDIN_LOG", (logs / "engine.log").c_str());
    // The engine is found from the program's folder, wherever the current one is.
    GetCurrentDirectoryA(MAX_PATH, previous_directory);
    SetCurrentDirectoryA(scratch.path().c_str());
  }
  void TearDown() override {
    if (block.process) {
      TerminateProcess(block.process, 0xFFFFFFFF);
      WaitForSingleObject(block.process, 10000);
      CloseHandle(block.process);
      CloseHandle(block.thread);
    }
    close_engine_pipe(pipe);
    SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", nullptr);
    SetEnvironmentVariableA("TESS_STANDIN_LOG", nullptr);
    reset_found_files();
    SetCurrentDirectoryA(previous_directory);
  }

  int scan(const std::string& script) {
    SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", script.c_str());
    return engine_launch_thread(&block);
  }
  std::string scan_folder() const { return cache + "\\tmp"; }
  std::string engine_log() const {
    std::ifstream in(logs / "engine.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // True once the engine runs its own code. An engine terminated while Wine is
  // still starting it leaves its console host behind, holding our output open.
  bool engine_started(DWORD deadline_ms = 30000) {
    for (DWORD waited = 0; waited < deadline_ms; waited += 20) {
      if (engine_log().find("cmd: ") != std::string::npos) return true;
      Sleep(20);
    }
    return false;
  }
  bool wait_until_listed(DWORD deadline_ms = 30000) {
    for (DWORD waited = 0; waited < deadline_ms && listed_paths().empty(); waited += 10) Sleep(10);
    return !listed_paths().empty();
  }
  std::vector<std::string> listed_paths() {
    ListLock hold;
    std::vector<std::string> paths;
    for (const FoundFile& f : g_found_files.records) paths.push_back(f.file_path);
    return paths;
  }

  ScratchFolder scratch, logs;
  std::string cache;
  ScanSession block;
  HANDLE pipe = nullptr;
  char previous_directory[MAX_PATH];
};

// The stand-in writes byte i as (i * 7 + 1) & 0xFF.
std::vector<unsigned char> engine_bytes(size_t size, bool complemented) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<unsigned char>((i * 7 + 1) & 0xFF);
    if (complemented && i < 16) bytes[i] = static_cast<unsigned char>(~bytes[i]);
  }
  return bytes;
}

// Connects to the pipe as a client of this (non-engine) process.
HANDLE connect_as_stranger() {
  HANDLE client = CreateFileW(kEnginePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(client, INVALID_HANDLE_VALUE);
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
  return client;
}
}  // namespace

TEST_F(EngineScan, ReportedFilesAreListedInOrderWithHeadersComplemented) {
  ensure_cache_folder(cache.c_str());
  CreateDirectoryA(scan_folder().c_str(), nullptr);
  write_bytes(scan_folder() + "\\stale.jpg", {1});
  CreateDirectoryA((cache + "\\tmpx").c_str(), nullptr);
  ASSERT_EQ(append_cached_file("C:\\old\\tmp\\x.jpg"), 0);  // the scan clears the list
  block.video = 0;

  int rc = scan("connect|progress 6000000000 0|file f1.jpg 40|file sub\\f2.png 10"
                "|progress 6000000000 5000000001|file f3.mov 0|end");
  EXPECT_EQ(rc, 0) << engine_log();
  std::string s = scan_folder();
  EXPECT_EQ(listed_paths(),
            (std::vector<std::string>{s + "\\f1.jpg", s + "\\sub\\f2.png", s + "\\f3.mov"}));
  ASSERT_EQ(g_found_files.records.size(), 3u);
  EXPECT_STREQ(g_found_files.records[1].ext, "png");
  for (const FoundFile& f : g_found_files.records) EXPECT_EQ(f.complemented, 1) << f.file_path;
  EXPECT_EQ(read_bytes(s + "\\f1.jpg"), engine_bytes(40, true));
  EXPECT_EQ(read_bytes(s + "\\sub\\f2.png"), engine_bytes(10, true));
  EXPECT_EQ(sectors_total(block), 6000000000ull);
  EXPECT_EQ(sectors_done(block), 5000000001ull);
  EXPECT_FALSE(exists(s + "\\stale.jpg")) << "the old scan folder is deleted first";
  EXPECT_TRUE(exists(cache + "\\tmpx"));

  std::string log = engine_log();
  EXPECT_NE(log.find("cmd: client.exe /d \"" + s + "\" /cmd E: fileopt,everything,disable,tif,"),
            std::string::npos) << log;
  // The engine reads back the photo options, then the audio ones, and no video.
  std::string wanted = "enabled: ";
  for (const char* option : kestrune::kPhotoSearch) wanted += std::string(option) + ",";
  for (const char* option : kestrune::kAudioSearch) wanted += std::string(option) + ",";
  wanted.back() = '\n';
  EXPECT_NE(log.find(wanted), std::string::npos) << log;
  EXPECT_NE(log.find("done"), std::string::npos) << log;
  EXPECT_NE(block.process, nullptr);
  EXPECT_NE(block.process_id, 0u);
}

TEST_F(EngineScan, EndsWithZeroOnlyForTheZeroLengthMessage) {
  EXPECT_EQ(scan("connect|progress 0 0|end"), 0);
  EXPECT_TRUE(g_found_files.records.empty());

  EXPECT_EQ(scan("connect|file a.jpg 20|short 100|file b.jpg 20|end"), -1);
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\a.jpg"});

  EXPECT_EQ(scan("connect|file a.jpg 20|progress 10 4|die"), -1) << "broken pipe";
  EXPECT_EQ(g_found_files.records.size(), 1u);
  EXPECT_EQ(sectors_done(block), 4u);

  EXPECT_EQ(scan("die"), -1) << "an engine that dies before connecting";
  EXPECT_EQ(scan("connect|short 281"), -1) << "longer than a report";
}

TEST_F(EngineScan, PathsOutsideTheScanFolderAreIgnored) {
  ensure_cache_folder(cache.c_str());
  CreateDirectoryA((cache + "\\tmpx").c_str(), nullptr);
  std::vector<unsigned char> content = engine_bytes(30, false);
  write_bytes(cache + "\\outside.jpg", content);
  write_bytes(cache + "\\tmpx\\near.jpg", content);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  std::string win_ini = std::string(windows) + "\\win.ini";
  std::vector<unsigned char> win_ini_before = read_bytes(win_ini);

  int rc = scan("connect|report " + win_ini + "|report " + scan_folder() + "\\..\\outside.jpg" +
                "|report ..\\..\\x|report " + cache + "\\tmpx\\near.jpg|file good.jpg 20|end");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\good.jpg"});
  EXPECT_EQ(read_bytes(cache + "\\outside.jpg"), content);
  EXPECT_EQ(read_bytes(cache + "\\tmpx\\near.jpg"), content);
  EXPECT_EQ(read_bytes(win_ini), win_ini_before);
}

TEST_F(EngineScan, StrangersOnThePipeAreDroppedAndTheEngineStillHeard) {
  // A stranger that connects first and reports a file: dropped, its report unread.
  HANDLE stranger = connect_as_stranger();
  EngineReport fake = {};
  std::strcpy(fake.file_path, (scan_folder() + "\\fake.jpg").c_str());
  fake.sectors_total[0] = 99;
  DWORD written = 0;
  WriteFile(stranger, &fake, sizeof fake, &written, nullptr);
  EXPECT_EQ(scan("connect|file real.jpg 20|end"), 0) << engine_log();
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\real.jpg"});
  EXPECT_EQ(sectors_total(block), 0u);
  CloseHandle(stranger);

  // A stranger that connects and is gone before anyone listens.
  close_engine_pipe(pipe);
  pipe = create_engine_pipe();
  CloseHandle(connect_as_stranger());
  EXPECT_EQ(scan("connect|file again.jpg 20|end"), 0) << engine_log();
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\again.jpg"});
}

TEST_F(EngineScan, StopReleasesAScanWhoseEngineNeverConnects) {
  SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", "sleep 60000");
  write_flag(block.stop, 1);  // left over from an earlier stopped scan
  WorkerThread launch(engine_launch_thread, &block);
  ASSERT_EQ(launch.start(), 0);
  ASSERT_TRUE(engine_started());
  ASSERT_NE(block.process_id, 0u);
  EXPECT_FALSE(launch.wait(200)) << "still waiting for the engine";
  stop_engine(block);
  ASSERT_TRUE(launch.wait(10000));
  EXPECT_EQ(launch.result(), 0);
}

TEST_F(EngineScan, PauseHoldsEngineAndReaderAndStopEndsAPausedScan) {
  SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", "connect|file a.jpg 20|sleep 400|file b.jpg 20"
                                                 "|sleep 400|file c.jpg 20|end");
  WorkerThread launch(engine_launch_thread, &block);
  ASSERT_EQ(launch.start(), 0);
  ASSERT_TRUE(wait_until_listed());
  pause_engine(block);
  size_t at_pause = listed_paths().size();  // the held reader owns no list lock
  EXPECT_FALSE(launch.wait(1500));
  EXPECT_EQ(listed_paths().size(), at_pause);
  resume_engine(block);
  ASSERT_TRUE(launch.wait(10000));
  EXPECT_EQ(launch.result(), 0);
  EXPECT_EQ(g_found_files.records.size(), 3u);
  launch.close_handle();
  release_engine_handles(block);

  reset_found_files();  // so that the wait below sees this scan's first file
  ASSERT_EQ(launch.start(), 0);  // the same block again, as the start button does
  ASSERT_TRUE(wait_until_listed());
  pause_engine(block);
  stop_engine(block);
  ASSERT_TRUE(launch.wait(10000));
  EXPECT_EQ(launch.result(), 0);
}
