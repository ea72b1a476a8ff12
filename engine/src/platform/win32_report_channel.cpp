// The application's named pipe, in message mode: one report per message and a
// zero-length message at the end.
#include "report_channel.h"

#include <windows.h>
#include <mutex>

namespace kes {
namespace {

constexpr int kBusyWaits = 60;  // seconds to wait for a pipe that another client holds

class PipeChannel : public ReportChannel {
 public:
  explicit PipeChannel(HANDLE h) : h_(h) {}
  ~PipeChannel() override { CloseHandle(h_); }
  bool send(const EngineReport& report) override { return write(&report, sizeof report); }
  bool send_end() override {
    char none = 0;
    return write(&none, 0);
  }

 private:
  bool write(const void* data, DWORD n) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (broken_) return false;
    DWORD written = 0;
    if (!WriteFile(h_, data, n, &written, nullptr) || written != n) broken_ = true;
    return !broken_;
  }

  HANDLE h_;
  bool broken_ = false;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ReportChannel> open_report_channel(std::string* error) {
  error->clear();
  for (int attempt = 0;; ++attempt) {
    HANDLE h = CreateFileA(kestrune::kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      SetNamedPipeHandleState(h, &mode, nullptr, nullptr);
      return std::make_unique<PipeChannel>(h);
    }
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return nullptr;  // run on its own, without an application
    if (code != ERROR_PIPE_BUSY || attempt >= kBusyWaits) {
      *error = "cannot connect to the application's pipe";
      return nullptr;
    }
    WaitNamedPipeA(kestrune::kPipeName, 1000);
  }
}

}  // namespace kes
