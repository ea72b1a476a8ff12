#include "session/engine_launch.h"

#include <windows.h>
#include <process.h>
#include <shellapi.h>

#include <cstring>

#include "base/paths.h"
#include "kestrune_command_line.h"
#include "session/engine_pipe.h"
#include "session/scan_job.h"
#include "session/found_file_list.h"

std::string engine_executable_path() {
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  char* slash = std::strrchr(module, '\\');
  if (!slash) return {};
  return std::string(module, slash + 1) + "Kestrune\\kessrv.exe";
}

std::string engine_volume_argument(const char* volume) {
  std::string v = volume;
  if (!v.empty() && v.back() == '\\') v.pop_back();
  return v;
}

std::string engine_command_line(const char* cache_folder, const char* volume,
                                const std::string& options) {
  return "client.exe /d \"" + scan_folder_path(cache_folder) + "\" /cmd " +
         engine_volume_argument(volume) + " " + options;
}

namespace {
bool is_scan_folder_name(const std::string& name) {
  const std::string scan = kestrune::kScanFolderName;
  return _stricmp(name.c_str(), scan.c_str()) == 0 || _strnicmp(name.c_str(), (scan + ".").c_str(), scan.size() + 1) == 0;
}
}  // namespace

int delete_old_scan_folders(const char* cache_folder) {
  std::string pattern = join_path(cache_folder, std::string(kestrune::kScanFolderName) + "*");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  std::string from;  // NUL-separated list ending in a double NUL
  int count = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && is_scan_folder_name(found.cFileName)) {
      from += join_path(cache_folder, found.cFileName);
      from += '\0';
      ++count;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  if (count == 0) return 0;
  from += '\0';

  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMMKDIR;
  SHFileOperationA(&op);
  return count;
}

namespace {
// A reader still waiting for the engine to connect would wait for ever once
// the engine has ended (crashed, or terminated by a stop). The watch connects
// to the pipe itself then; the reader sees a client that isn't the engine,
// finds the engine gone and ends.
struct EngineWatch {
  HANDLE engine;  // our own duplicate of the engine process handle
  HANDLE done;    // set when the reader has finished
};

unsigned __stdcall watch_engine(void* argument) {
  EngineWatch* watch = static_cast<EngineWatch*>(argument);
  HANDLE waits[2] = {watch->done, watch->engine};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
  // The pipe takes a client only while the reader listens; knock until the reader is done.
  do {
    knock_engine_pipe();
  } while (WaitForSingleObject(watch->done, 20) == WAIT_TIMEOUT);
  return 0;
}

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(STARTUPINFOA) == 68, "the engine is started with a 68-byte STARTUPINFOA");
#endif

// The engine ends right after its end message; one that lingers has nothing more to
// say (it is ended with its scan), so the scan counts as ended.
constexpr DWORD kEngineExitWaitMs = 10000;
}  // namespace

// The stopper reads the handles under the lock after setting the stop flag; the flag is
// read here under the same lock after storing them, so one of the two sees the other.
int ScanJob::start_engine() {
  std::string exe = engine_executable_path();
  const ScanRequest& request = block_.request;  // constant while the scan runs
  std::string command = engine_command_line(request.cache_folder, request.volume,
                                            kestrune::build_search_options(request.photo, request.video, request.audio));
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;  // 68
  PROCESS_INFORMATION created = {};
  if (exe.empty() || !CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE,
                                     CREATE_NO_WINDOW, nullptr, nullptr, &startup, &created))
    return -1;
  std::lock_guard<std::mutex> hold(lock_);
  block_.process = created.hProcess;
  block_.thread = created.hThread;
  block_.process_id = created.dwProcessId;
  block_.thread_id = created.dwThreadId;
  engine_id_ = created.dwProcessId;
  if (block_.pause) SuspendThread(block_.thread);  // paused while it was being started
  if (block_.stop) kill_engine();                   // stopped meanwhile: it must not outlive the scan
  return 0;
}

int ScanJob::read_watching_engine() {
  EngineWatch watch = {nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DuplicateHandle(GetCurrentProcess(), block_.process, GetCurrentProcess(), &watch.engine,
                  SYNCHRONIZE, FALSE, 0);
  HANDLE watcher = nullptr;
  if (watch.engine && watch.done)
    watcher = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, watch_engine, &watch, 0, nullptr));

  int rc = read_engine_reports();

  if (watch.done) SetEvent(watch.done);
  if (watcher) {
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
  }
  if (watch.engine) CloseHandle(watch.engine);
  if (watch.done) CloseHandle(watch.done);
  return rc;
}

// What the exit code of an engine that sent its end message says about the scan.
int ScanJob::outcome_after_end() {
  DWORD code = 0;
  if (WaitForSingleObject(block_.process, kEngineExitWaitMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(block_.process, &code))
    return kScanEnded;
  switch (code) {
    case kestrune::kExitOk:
      return kScanEnded;
    case kestrune::kExitWriteFailed:
      return kScanCacheFull;
    case kestrune::kExitUnreadable:
      return kScanUnreadable;
    case kestrune::kExitStopped:
      return kScanStopped;
    default:
      return kScanFailed;
  }
}

// The launch thread: clears the list, prepares the cache folder, starts the engine and
// reads its reports. The engine's handles stay in the block until the scan has ended.
int ScanJob::engine_launch_thread() {
  reset_found_files();
  const ScanRequest& request = block_.request;  // constant while the scan runs
  // Without a cache folder the wildcard would reach into the current folder;
  // without a volume the command line is malformed; without a pipe the engine
  // could report to nobody.
  if (!request.cache_folder[0] || !request.volume[0] || !pipe_) return kScanFailed;
  delete_old_scan_folders(request.cache_folder);
  ensure_directory(request.cache_folder);
  if (stopping()) return kScanStopped;
  // An engine that ended before it connected has read and written nothing: it is started
  // once more. Wine now and then fails to start a process, which then ends at once.
  int rc = kEngineEndedUnconnected;
  for (int start = 0; start < 2 && rc == kEngineEndedUnconnected && !stopping(); ++start) {
    if (start > 0) {
      std::lock_guard<std::mutex> hold(lock_);
      release_engine();
    }
    if (start_engine() != 0) return kScanFailed;
    rc = read_watching_engine();
  }
  if (rc > 0) return kScanStopped;  // before the engine connected: it has written nothing
  const int outcome = rc == 0 ? outcome_after_end() : kScanFailed;
  return stopping() ? kScanStopped : outcome;
}
