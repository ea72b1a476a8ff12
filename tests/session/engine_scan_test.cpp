// Whole scans through their owner, ScanJob, against the stand-in engine (Kestrune\kessrv.exe
// beside this test), scripted through the environment.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "base/paths.h"
#include "common/scan_run.h"
#include "common/test_files.h"
#include "session/engine_launch.h"
#include "session/engine_pipe.h"
#include "session/engine_report.h"
#include "session/found_file_list.h"
#include "session/scan_job.h"

namespace {
class EngineScan : public ::testing::Test {
 protected:
  void SetUp() override {
    cache = scratch / "cache\\deep";  // missing parents: the launch creates them
    std::strcpy(request.cache_folder, cache.c_str());
    std::strcpy(request.volume, "E:\\");
    request.photo = request.video = request.audio = 1;
    SetEnvironmentVariableA("TESS_STANDIN_LOG", (logs / "engine.log").c_str());
    // The engine is found from the program's folder, wherever the current one is.
    GetCurrentDirectoryA(MAX_PATH, previous_directory);
    SetCurrentDirectoryA(scratch.path().c_str());
  }
  void TearDown() override {
    job.stop();
    SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", nullptr);
    SetEnvironmentVariableA("TESS_STANDIN_LOG", nullptr);
    reset_found_files();
    SetCurrentDirectoryA(previous_directory);
  }

  void script(const std::string& commands) { SetEnvironmentVariableA("TESS_STANDIN_SCRIPT", commands.c_str()); }
  // One scan from its start to its end.
  ScanSnapshot scan(const std::string& commands) {
    script(commands);
    return wait_until(has_ended, true);
  }
  ScanSnapshot wait_until(const std::function<bool(const ScanSnapshot&)>& done, bool start = false) {
    if (start) {
      EXPECT_TRUE(job.start(request));
    }
    ScanSnapshot now = poll_until(job, done, 30000);
    EXPECT_TRUE(done(now)) << "state " << static_cast<int>(now.state);
    return now;
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
  std::vector<std::string> listed_paths() {
    ListLock hold;
    std::vector<std::string> paths;
    for (const FoundFile& f : g_found_files.records) paths.push_back(f.file_path);
    return paths;
  }

  ScratchFolder scratch, logs;
  std::string cache;
  ScanRequest request = {};
  char previous_directory[MAX_PATH];
  ScanJob job;
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
  ensure_directory(cache);
  CreateDirectoryA(scan_folder().c_str(), nullptr);
  write_bytes(scan_folder() + "\\stale.jpg", {1});
  CreateDirectoryA((cache + "\\tmpx").c_str(), nullptr);
  ASSERT_EQ(append_cached_file("C:\\old\\tmp\\x.jpg"), 0);  // the scan clears the list
  request.video = 0;

  ScanSnapshot end = scan("connect|progress 6000000000 0|file f1.jpg 40|file sub\\f2.png 10"
                          "|progress 6000000000 5000000001|file f3.mov 0|end");
  EXPECT_EQ(end.outcome, kScanEnded) << engine_log();
  std::string s = scan_folder();
  EXPECT_EQ(listed_paths(),
            (std::vector<std::string>{s + "\\f1.jpg", s + "\\sub\\f2.png", s + "\\f3.mov"}));
  ASSERT_EQ(g_found_files.records.size(), 3u);
  EXPECT_STREQ(g_found_files.records[1].ext, "png");
  for (const FoundFile& f : g_found_files.records) EXPECT_EQ(f.complemented, 1) << f.file_path;
  EXPECT_EQ(read_bytes(s + "\\f1.jpg"), engine_bytes(40, true));
  EXPECT_EQ(read_bytes(s + "\\sub\\f2.png"), engine_bytes(10, true));
  EXPECT_EQ(end.sectors_total, 6000000000ull);
  EXPECT_EQ(end.sectors_done, 5000000001ull);
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
  EXPECT_NE(end.engine_id, 0u);
}

TEST_F(EngineScan, EndsWellOnlyForTheZeroLengthMessage) {
  EXPECT_EQ(scan("connect|progress 0 0|end").outcome, kScanEnded);
  EXPECT_TRUE(g_found_files.records.empty());

  EXPECT_EQ(scan("connect|file a.jpg 20|short 100|file b.jpg 20|end").outcome, kScanFailed);
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\a.jpg"});

  ScanSnapshot broken = scan("connect|file a.jpg 20|progress 10 4|die");
  EXPECT_EQ(broken.outcome, kScanFailed) << "broken pipe";
  EXPECT_EQ(g_found_files.records.size(), 1u);
  EXPECT_EQ(broken.sectors_done, 4u);

  EXPECT_EQ(scan("connect|short 281").outcome, kScanFailed) << "longer than a report";
}

TEST_F(EngineScan, PathsOutsideTheScanFolderAreIgnored) {
  ensure_directory(cache);
  CreateDirectoryA((cache + "\\tmpx").c_str(), nullptr);
  std::vector<unsigned char> content = engine_bytes(30, false);
  write_bytes(cache + "\\outside.jpg", content);
  write_bytes(cache + "\\tmpx\\near.jpg", content);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  std::string win_ini = std::string(windows) + "\\win.ini";
  std::vector<unsigned char> win_ini_before = read_bytes(win_ini);

  ScanSnapshot end = scan("connect|report " + win_ini + "|report " + scan_folder() + "\\..\\outside.jpg" +
                          "|report ..\\..\\x|report " + cache + "\\tmpx\\near.jpg|file good.jpg 20|end");
  EXPECT_EQ(end.outcome, kScanEnded);
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\good.jpg"});
  EXPECT_EQ(read_bytes(cache + "\\outside.jpg"), content);
  EXPECT_EQ(read_bytes(cache + "\\tmpx\\near.jpg"), content);
  EXPECT_EQ(read_bytes(win_ini), win_ini_before);
}

// Strangers come while the scan starts, before the engine: the job's pipe exists once
// start() has returned, and the reader listens a little later.
TEST_F(EngineScan, StrangersOnThePipeAreDroppedAndTheEngineStillHeard) {
  // A stranger that connects first and reports a file: dropped, its report unread.
  script("connect|file real.jpg 20|end");
  ASSERT_TRUE(job.start(request));
  HANDLE stranger = connect_as_stranger();
  EngineReport fake = {};
  std::strcpy(fake.file_path, (scan_folder() + "\\fake.jpg").c_str());
  fake.sectors_total[0] = 99;
  DWORD written = 0;
  WriteFile(stranger, &fake, sizeof fake, &written, nullptr);
  ScanSnapshot end = wait_until(has_ended);
  EXPECT_EQ(end.outcome, kScanEnded) << engine_log();
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\real.jpg"});
  EXPECT_EQ(end.sectors_total, 0u);
  CloseHandle(stranger);

  // A stranger that connects and is gone before anyone listens.
  script("connect|file again.jpg 20|end");
  ASSERT_TRUE(job.start(request));
  CloseHandle(connect_as_stranger());
  end = wait_until(has_ended);
  EXPECT_EQ(end.outcome, kScanEnded) << engine_log();
  EXPECT_EQ(listed_paths(), std::vector<std::string>{scan_folder() + "\\again.jpg"});
}

// The owner's table of transitions: what each request or event of the engine turns a
// scan into, and how it ends. A stop asks the engine, which stops by itself (exit code 3)
// unless it has not connected yet or stays deaf to it for the grace; no stop leaves an
// engine behind.
TEST_F(EngineScan, TheOwnersStatesFollowRequestsAndTheEngine) {
  enum Act { kStart, kUntilEngine, kUntilListed, kPause, kHold, kResume, kStop, kUntilEnded };
  struct Step {
    Act act;
    ScanState state;  // after the act
  };
  constexpr DWORD kAny = 1, kKilled = 0xFFFFFFFF;
  struct Row {
    const char* what;
    const char* script;
    int old_files;  // files in earlier scan folders, for a clean-up that takes a while
    std::vector<Step> steps;
    int outcome;
    DWORD engine_exit;  // 0: no engine was started
  };
  using S = ScanState;
  const std::string dies_first = "die-first " + logs / "died_once" + "|connect|file a.jpg 20|end";
  const Row rows[] = {
      {"a whole scan", "connect|file a.jpg 20|end", 0,
       {{kStart, S::starting}, {kUntilEnded, S::ended}}, kScanEnded, kAny},
      {"an engine that dies", "connect|file a.jpg 20|die", 0,
       {{kStart, S::starting}, {kUntilEnded, S::ended}}, kScanFailed, kAny},
      {"an engine that dies before it connects, started once more", "die", 0,
       {{kStart, S::starting}, {kUntilEnded, S::ended}}, kScanFailed, kAny},
      {"an engine that dies before it connects the first time only",
       dies_first.c_str(), 0, {{kStart, S::starting}, {kUntilEnded, S::ended}}, kScanEnded, kAny},
      {"pause holds engine and reader, resume lets them go",
       "connect|file a.jpg 20|sleep 400|file b.jpg 20|sleep 400|file c.jpg 20|end", 0,
       {{kStart, S::starting}, {kUntilListed, S::running}, {kPause, S::paused}, {kHold, S::paused},
        {kResume, S::running}, {kUntilEnded, S::ended}},
       kScanEnded, kAny},
      {"a stop of a running scan", "connect|file a.jpg 20|sleep 60000", 0,
       {{kStart, S::starting}, {kUntilListed, S::running}, {kStop, S::ended}}, kScanStopped, 3},
      {"a stop of a paused scan", "connect|file a.jpg 20|sleep 60000", 0,
       {{kStart, S::starting}, {kUntilListed, S::running}, {kPause, S::paused}, {kStop, S::ended}},
       kScanStopped, 3},
      {"a stop the engine does not hear", "connect|file a.jpg 20|hang 60000", 0,
       {{kStart, S::starting}, {kUntilListed, S::running}, {kStop, S::ended}}, kScanStopped, kKilled},
      {"a stop before the engine connects", "sleep 60000", 0,
       {{kStart, S::starting}, {kUntilEngine, S::starting}, {kStop, S::ended}}, kScanStopped, kAny},
      {"a stop while old scan folders are deleted", "connect|end", 2000,
       {{kStart, S::starting}, {kStop, S::ended}}, kScanStopped, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DeleteFileA((logs / "engine.log").c_str());
    for (int i = 0; i < row.old_files; ++i) {
      const std::string folder = cache + "\\tmp." + std::to_string(i / 500);
      if (i % 500 == 0) SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
      write_bytes(folder + "\\f" + std::to_string(i) + ".jpg", {1, 2, 3});
    }
    script(row.script);
    reset_found_files();  // what the last row listed is not this one's
    HANDLE engine = nullptr;
    DWORD stop_ms = 0;
    for (const Step& step : row.steps) {
      size_t held = 0;
      const DWORD before = GetTickCount();
      switch (step.act) {
        case kStart: ASSERT_TRUE(job.start(request)); break;
        case kUntilEngine: ASSERT_TRUE(engine_started()); break;
        case kUntilListed: wait_until([this](const ScanSnapshot&) { return !listed_paths().empty(); }); break;
        case kPause: job.pause(); break;
        case kHold:  // the held reader owns no list lock, and takes in nothing
          held = listed_paths().size();
          Sleep(1500);
          EXPECT_EQ(listed_paths().size(), held);
          break;
        case kResume: job.resume(); break;
        case kStop: job.stop(); stop_ms = GetTickCount() - before; break;
        case kUntilEnded: wait_until(has_ended); break;
      }
      const ScanSnapshot now = job.poll();
      EXPECT_EQ(static_cast<int>(now.state), static_cast<int>(step.state)) << "after act " << step.act;
      if (!engine && now.engine_id) engine = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, now.engine_id);
    }
    EXPECT_EQ(job.poll().outcome, row.outcome);
    EXPECT_EQ(engine != nullptr, row.engine_exit != 0) << "an engine was started";
    if (engine) {
      EXPECT_EQ(WaitForSingleObject(engine, 5000), WAIT_OBJECT_0) << "no engine outlives its scan";
      DWORD code = 0;
      GetExitCodeProcess(engine, &code);
      if (row.engine_exit != kAny) {
        EXPECT_EQ(code, row.engine_exit);
      }
      if (row.engine_exit == kKilled) {
        EXPECT_GE(stop_ms, ScanJob::kStopGraceMs - 100) << "ended only after the grace";
      }
      if (row.engine_exit == 3) {
        EXPECT_LT(stop_ms, ScanJob::kStopGraceMs) << "it stopped by itself";
      }
      CloseHandle(engine);
    }
    EXPECT_FALSE(exists(cache + "\\tmp.0")) << "the clean-up is never cut short";
  }
}
