// POSIX side of the platform layer: devices and image files through pread.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

namespace kes {
namespace {

bool gone(int error) {
#ifdef ENOMEDIUM
  if (error == ENOMEDIUM) return true;
#endif
  return error == ENODEV || error == ENXIO;
}

class PosixDevice : public RawDevice {
 public:
  PosixDevice(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixDevice() override { ::close(fd_); }
  uint64_t size() const override { return size_; }
  size_t read(uint64_t off, void* dst, size_t n) override {
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(dst) + got, n - got, static_cast<off_t>(off + got));
      if (r < 0 && errno == EINTR) continue;
      // A device that is gone, or a medium that ends before its size: nothing more to read.
      if ((r < 0 && gone(errno)) || (r == 0 && off + got < size_)) mark_lost(off + got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    return got;
  }

 private:
  int fd_;
  uint64_t size_;
};

std::atomic<bool>* g_stop_flag = nullptr;
void on_stop_signal(int) {
  if (g_stop_flag) g_stop_flag->store(true);
}

}  // namespace

std::unique_ptr<RawDevice> open_device(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  uint64_t size = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    size = static_cast<uint64_t>(st.st_size);
  } else {
#ifdef BLKGETSIZE64
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
#endif
    if (size == 0) {
      off_t end = ::lseek(fd, 0, SEEK_END);
      if (end > 0) size = static_cast<uint64_t>(end);
    }
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    *error = path + " is a folder, not a device or image";
    return nullptr;
  }
  return std::make_unique<PosixDevice>(fd, size);
}

char path_separator() { return '/'; }

std::string absolute_path(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  std::free(real);
  return out;
}

bool make_directories(const std::string& path, std::string* error) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial = path.substr(0, i);
      if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = "cannot create folder " + partial + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = path + " is not a folder";
    return false;
  }
  return true;
}

bool rename_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void remove_file(const std::string& path) { ::unlink(path.c_str()); }

// Read buffers of a few MiB are faulted in on first use a page at a time, which costs
// as much as reading into them: in huge pages where the system lends them.
void* alloc_aligned(size_t bytes) {
  constexpr size_t kHugePage = size_t(2) << 20;
  const bool huge = bytes >= kHugePage;
  void* p = nullptr;
  if (::posix_memalign(&p, huge ? kHugePage : kIoAlign, bytes) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  if (huge) ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
  return p;
}

void free_aligned(void* p) { std::free(p); }

void prefault(void* p, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  ::madvise(p, bytes, MADV_POPULATE_WRITE);  // fails harmlessly on kernels before 5.14
#else
  (void)p;
  (void)bytes;
#endif
}

void install_stop_handler(std::atomic<bool>* flag) {
  g_stop_flag = flag;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

uint64_t monotonic_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

}  // namespace kes
