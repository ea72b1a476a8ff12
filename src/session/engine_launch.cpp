#include "session/engine_launch.h"

#include <windows.h>
#include <process.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstring>

#include "kestrune_command_line.h"
#include "session/engine_pipe.h"
#include "session/engine_reports.h"
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

void ensure_cache_folder(const char* cache_folder) {
  DWORD attributes = GetFileAttributesA(cache_folder);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  SHCreateDirectoryExA(nullptr, cache_folder, nullptr);
}

namespace {
// A reader still waiting for the engine to connect would wait for ever once
// the engine has ended (crashed, or terminated by the user's stop). The watch
// connects to the pipe itself then; the reader sees a client that isn't the
// engine, finds the engine gone and ends.
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

int start_engine(ScanSession* block) {
  std::string exe = engine_executable_path();
  std::string command = engine_command_line(block->cache_folder, block->volume,
                                            kestrune::build_search_options(block->photo, block->video, block->audio));
  block->process = nullptr;
  block->thread = nullptr;
  block->process_id = 0;
  block->thread_id = 0;
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;  // 68
  PROCESS_INFORMATION created = {};
  if (exe.empty() || !CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE,
                                     CREATE_NO_WINDOW, nullptr, nullptr, &startup, &created))
    return -1;
  block->process = created.hProcess;
  block->thread = created.hThread;
  block->process_id = created.dwProcessId;
  block->thread_id = created.dwThreadId;
  // The stopper reads the handle after setting the stop flag; we read the flag after
  // storing the handle. The barrier keeps one of the two from missing the other.
  MemoryBarrier();
  return 0;
}

int read_watching_engine(HANDLE pipe, ScanSession* block) {
  EngineWatch watch = {nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DuplicateHandle(GetCurrentProcess(), block->process, GetCurrentProcess(), &watch.engine,
                  SYNCHRONIZE, FALSE, 0);
  HANDLE watcher = nullptr;
  if (watch.engine && watch.done)
    watcher = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, watch_engine, &watch, 0, nullptr));

  int rc = read_engine_reports(pipe, block);

  if (watch.done) SetEvent(watch.done);
  if (watcher) {
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
  }
  if (watch.engine) CloseHandle(watch.engine);
  if (watch.done) CloseHandle(watch.done);
  return rc;
}
}  // namespace

namespace {
// The engine ends right after its end message; one that lingers has nothing more to
// say (the page ends it), so the scan counts as ended.
constexpr DWORD kEngineExitWaitMs = 10000;

// What the exit code of an engine that sent its end message says about the scan.
int outcome_after_end(const ScanSession* block) {
  DWORD code = 0;
  if (WaitForSingleObject(block->process, kEngineExitWaitMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(block->process, &code))
    return kScanEnded;
  switch (code) {
    case kestrune::kExitOk:
      return kScanEnded;
    case kestrune::kExitWriteFailed:
      return kScanCacheFull;
    case kestrune::kExitUnreadable:
      return kScanUnreadable;
    default:
      return kScanFailed;
  }
}
}  // namespace

int engine_launch_thread(void* argument) {
  ScanSession* block = static_cast<ScanSession*>(argument);
  // A scan restarted with the block of a stopped one starts unstopped.
  write_flag(block->stop, 0);
  write_flag(block->pause, 0);
  reset_found_files();
  block->cache_folder[sizeof block->cache_folder - 1] = '\0';
  block->volume[sizeof block->volume - 1] = '\0';
  // Without a cache folder the wildcard would reach into the current folder;
  // without a volume the command line is malformed; without a pipe the engine
  // could report to nobody.
  if (!block->cache_folder[0] || !block->volume[0] || !block->pipe || !*block->pipe) return -1;
  delete_old_scan_folders(block->cache_folder);
  ensure_cache_folder(block->cache_folder);
  if (read_flag(block->stop)) return 0;
  if (start_engine(block) != 0) return -1;
  if (read_flag(block->stop)) {  // stopped while the engine was being started
    TerminateProcess(block->process, 0xFFFFFFFF);
    return 0;
  }
  int rc = read_watching_engine(*block->pipe, block);
  // Stopped before the engine was known to the stopper: it must not outlive the scan.
  if (read_flag(block->stop)) {
    TerminateProcess(block->process, 0xFFFFFFFF);
    return kScanEnded;
  }
  return rc == 0 ? outcome_after_end(block) : kScanFailed;
}
