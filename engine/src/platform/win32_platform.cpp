// Windows side of the platform layer: volumes, drives and image files read raw.
#include "platform/platform.h"

#include <windows.h>
#include <winioctl.h>
#include <malloc.h>
#include <csignal>
#include <mutex>

#include "kestrune_contract.h"

namespace kes {
namespace {

bool gone(DWORD error) {
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_INVALID:  // the volume was dismounted under the handle
    case ERROR_MEDIA_CHANGED:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

class Win32Device : public RawDevice {
 public:
  Win32Device(HANDLE h, uint64_t size) : h_(h), size_(size) {}
  ~Win32Device() override { CloseHandle(h_); }
  uint64_t size() const override { return size_; }
  size_t read(uint64_t off, void* dst, size_t n) override {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t got = 0;
    while (got < n) {
      OVERLAPPED ov = {};
      uint64_t at = off + got;
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD r = 0;
      const bool ok = ReadFile(h_, static_cast<char*>(dst) + got, static_cast<DWORD>(n - got), &r, &ov);
      // A device that is gone, or a medium that ends before its size: nothing more to read.
      if ((!ok && gone(GetLastError())) || (ok && r == 0 && at < size_)) mark_lost(at);
      if (!ok || r == 0) break;
      got += r;
    }
    return got;
  }

 private:
  HANDLE h_;
  uint64_t size_;
  std::mutex mutex_;
};

std::string last_error_text() {
  char buf[256] = {};
  DWORD code = GetLastError();
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                           sizeof buf, nullptr);
  while (n && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = '\0';
  std::string text = n ? buf : "error";
  std::string num;
  do {
    num.insert(num.begin(), static_cast<char>('0' + code % 10));
    code /= 10;
  } while (code);
  return text + " (" + num + ")";
}

HANDLE open_raw(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Devices report their length by ioctl, files by their size; the end of the handle is
// the last resort (Wine's drives answer only the latter two).
uint64_t device_size(HANDLE h) {
  GET_LENGTH_INFORMATION info = {};
  DWORD got = 0;
  if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info, &got, nullptr))
    return static_cast<uint64_t>(info.Length.QuadPart);
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(h, &size) && size.QuadPart > 0) return static_cast<uint64_t>(size.QuadPart);
  LARGE_INTEGER zero = {}, end = {};
  if (SetFilePointerEx(h, zero, &end, FILE_END)) {
    SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
    return static_cast<uint64_t>(end.QuadPart);
  }
  return 0;
}

bool gives_data(HANDLE h) {
  void* buf = alloc_aligned(kIoAlign);
  OVERLAPPED ov = {};
  DWORD r = 0;
  bool ok = ReadFile(h, buf, kIoAlign, &r, &ov) && r > 0;
  free_aligned(buf);
  return ok;
}

bool is_volume_name(const std::string& p) { return p.compare(0, 11, "\\\\?\\Volume{") == 0; }

// The volume's first drive-letter mount as "\\.\X:", or empty.
std::string drive_of_volume(const std::string& volume) {
  char names[1024] = {};
  DWORD len = 0;
  if (!GetVolumePathNamesForVolumeNameA((volume + "\\").c_str(), names, sizeof names, &len)) return {};
  for (const char* p = names; *p; p += lstrlenA(p) + 1)
    if (lstrlenA(p) == 3 && p[1] == ':' && p[2] == '\\') return std::string("\\\\.\\") + p[0] + ":";
  return {};
}

std::atomic<bool>* g_stop_flag = nullptr;
BOOL WINAPI on_console_event(DWORD) {
  if (g_stop_flag) g_stop_flag->store(true);
  return TRUE;
}
void on_signal(int) {
  if (g_stop_flag) g_stop_flag->store(true);
}
VOID CALLBACK on_stop_event(PVOID, BOOLEAN) {
  if (g_stop_flag) g_stop_flag->store(true);
}

// The program's stop (kestrune_contract.h), as clean as an interrupt. Run on its own, the
// engine finds no such event.
void watch_stop_event() {
  HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, kestrune::kStopEventName);
  HANDLE wait = nullptr;
  if (event) RegisterWaitForSingleObject(&wait, event, on_stop_event, nullptr, INFINITE, WT_EXECUTEONLYONCE);
}

// A fault ends the engine at once with its code: no debugger is started and no box
// waits for a click (Wine ignores the error mode here), so the program sees its pipe
// break and tells the user.
LONG WINAPI end_on_fault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

std::unique_ptr<RawDevice> open_device(const std::string& given, std::string* error) {
  std::string path = given;
  if (path.size() == 2 && path[1] == ':') path = "\\\\.\\" + path;  // "E:" is the drive, not its folder
  if (is_volume_name(path) && path.back() == '\\') path.pop_back();
  HANDLE h = open_raw(path);
  if (h != INVALID_HANDLE_VALUE && is_volume_name(path) && !gives_data(h)) {
    // Some systems open a volume by its name but give no data through it: read the
    // drive it is mounted as instead.
    std::string drive = drive_of_volume(path);
    if (!drive.empty()) {
      HANDLE d = open_raw(drive);
      if (d != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        h = d;
      }
    }
  }
  if (h == INVALID_HANDLE_VALUE) {
    *error = "cannot open " + given + ": " + last_error_text();
    return nullptr;
  }
  // A mounted file system may hide the sectors past its own end; ask to read the whole
  // volume (files and Wine's drives refuse, harmlessly).
  DWORD none = 0;
  DeviceIoControl(h, FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0, &none, nullptr);
  uint64_t size = device_size(h);
  if (size == 0) {
    CloseHandle(h);
    *error = "cannot read the size of " + given + " (or it is empty)";
    return nullptr;
  }
  return std::make_unique<Win32Device>(h, size);
}

char path_separator() { return '\\'; }

std::string absolute_path(const std::string& path) {
  char buf[MAX_PATH * 2] = {};
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return path;
  std::string out(buf, n);
  while (out.size() > 3 && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  return out;
}

bool make_directories(const std::string& path, std::string* error) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
    std::string partial = path.substr(0, i);
    if (partial.back() == ':' || partial == "\\\\" || partial == "\\\\?" || partial == "\\\\.") continue;
    CreateDirectoryA(partial.c_str(), nullptr);  // parents that exist or can't be made are judged below
  }
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "cannot create folder " + path + ": " + last_error_text();
    return false;
  }
  return true;
}

bool rename_file(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), 0) != 0;
}

void remove_file(const std::string& path) { DeleteFileA(path.c_str()); }

void* alloc_aligned(size_t bytes) { return _aligned_malloc(bytes, kIoAlign); }
void free_aligned(void* p) { _aligned_free(p); }
void prefault(void*, size_t) {}  // Windows hands out pages it has cleared beforehand

void install_stop_handler(std::atomic<bool>* flag) {
  g_stop_flag = flag;
  // No "insert a disk" box for a removed card, no crash box: the engine runs unseen.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(end_on_fault);
  SetConsoleCtrlHandler(on_console_event, TRUE);
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  watch_stop_event();
}

uint64_t monotonic_ms() { return GetTickCount64(); }

}  // namespace kes
