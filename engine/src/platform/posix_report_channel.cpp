// Natively the report channel is optional. KESTRUNE_REPORT_FD names an inherited
// descriptor, KESTRUNE_REPORT_PATH a FIFO or file to open for writing. A byte stream
// keeps no message boundaries, so each message goes out framed: its length as a
// 32-bit little-endian number (280, or 0 for the end), then that many bytes.
#include "report_channel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace kes {
namespace {

class FdChannel : public ReportChannel {
 public:
  FdChannel(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~FdChannel() override {
    if (owned_) ::close(fd_);
  }
  bool send(const EngineReport& report) override { return frame(&report, sizeof report); }
  bool send_end() override { return frame(nullptr, 0); }

 private:
  bool frame(const void* payload, uint32_t n) {
    uint8_t buf[4 + sizeof(EngineReport)];
    for (int i = 0; i < 4; ++i) buf[i] = static_cast<uint8_t>(n >> (8 * i));
    if (n) std::memcpy(buf + 4, payload, n);
    std::lock_guard<std::mutex> lock(mutex_);
    if (broken_) return false;
    size_t done = 0, total = 4 + n;
    while (done < total) {
      ssize_t w = ::write(fd_, buf + done, total - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        broken_ = true;
        return false;
      }
      done += static_cast<size_t>(w);
    }
    return true;
  }

  int fd_;
  bool owned_;
  bool broken_ = false;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<ReportChannel> open_report_channel(std::string* error) {
  error->clear();
  if (const char* fd_text = std::getenv("KESTRUNE_REPORT_FD")) {
    char* end = nullptr;
    long fd = std::strtol(fd_text, &end, 10);
    if (*fd_text == '\0' || *end != '\0' || fd < 0 || ::fcntl(static_cast<int>(fd), F_GETFD) < 0) {
      *error = std::string("KESTRUNE_REPORT_FD is not an open descriptor: ") + fd_text;
      return nullptr;
    }
    return std::make_unique<FdChannel>(static_cast<int>(fd), false);
  }
  if (const char* path = std::getenv("KESTRUNE_REPORT_PATH")) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = std::string("cannot open report channel ") + path + ": " + std::strerror(errno);
      return nullptr;
    }
    return std::make_unique<FdChannel>(fd, true);
  }
  return nullptr;
}

}  // namespace kes
