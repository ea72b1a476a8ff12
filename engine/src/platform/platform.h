// The thin layer between the engine and the operating system: raw reads of the
// medium, files and folders of the output, stop requests and a clock.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kes {

// Offsets, lengths and buffers of raw reads are multiples of this; raw Windows
// devices refuse anything not aligned to their sector size.
constexpr size_t kIoAlign = 4096;

class RawDevice {
 public:
  virtual ~RawDevice() = default;
  virtual uint64_t size() const = 0;
  // Reads n bytes at off (both aligned, dst aligned); returns the count read, short at
  // the end of the medium or where it cannot be read. Safe to call from two threads.
  virtual size_t read(uint64_t off, void* dst, size_t n) = 0;
  // Where the medium stopped answering altogether (removed, or ended before its size),
  // UINT64_MAX while it answers. Past that, nothing is worth asking for again.
  uint64_t lost_at() const { return lost_at_.load(); }

 protected:
  void mark_lost(uint64_t off) {
    uint64_t seen = lost_at_.load();
    while (off < seen && !lost_at_.compare_exchange_weak(seen, off)) {
    }
  }

 private:
  std::atomic<uint64_t> lost_at_{UINT64_MAX};
};

// Opens a volume, drive or image file read-only, sharing it with its other users.
std::unique_ptr<RawDevice> open_device(const std::string& path, std::string* error);

char path_separator();
std::string absolute_path(const std::string& path);
// Creates `path` and any missing parents; true when it is a folder afterwards.
bool make_directories(const std::string& path, std::string* error);
bool rename_file(const std::string& from, const std::string& to);
void remove_file(const std::string& path);

// Buffers aligned for raw reads.
void* alloc_aligned(size_t bytes);
void free_aligned(void* p);
// Maps in the pages of a buffer not yet touched, without changing what it holds (other
// threads may be writing into it): the system clears a fresh page when it is first
// touched, and this lets another thread pay for that. Nothing where the system offers
// no such call.
void prefault(void* p, size_t bytes);

// Sets `flag` on an interrupt or termination request, or when the program sets its stop
// event; makes failed writes on a closed pipe or a full file size return errors instead
// of ending the process, and keeps a removed medium or a crash from waiting on a system
// dialog.
void install_stop_handler(std::atomic<bool>* flag);

uint64_t monotonic_ms();

}  // namespace kes
