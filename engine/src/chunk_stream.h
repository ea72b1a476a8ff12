// Sequential reading of the medium in large chunks by a reader thread, several chunks
// ahead of the scan, and random reads for the format measures served from the same
// chunks where possible, so that each byte of the medium is normally read once.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>
#include "byte_source.h"
#include "platform/platform.h"

namespace kes {

struct Chunk {
  uint64_t offset = 0;
  size_t length = 0;      // valid bytes; the buffer is zero-padded to the next sector
  const uint8_t* data = nullptr;
};

class ChunkStream {
 public:
  ChunkStream(RawDevice& device, size_t chunk_bytes, size_t window_chunks);
  ~ChunkStream();
  ChunkStream(const ChunkStream&) = delete;
  ChunkStream& operator=(const ChunkStream&) = delete;

  uint64_t size() const { return size_; }
  size_t chunk_bytes() const { return chunk_bytes_; }
  size_t window_chunks() const { return window_; }
  // The chunk at `index`, which lies below the held chunk plus the window, waiting for
  // the reader. Null past the end or when stopped.
  const Chunk* acquire(uint64_t index);
  // For a reader ahead of the scan (the prober): the chunk at `index`, or the first held
  // one after it when the scan has let it go, once the window reaches it and the reader
  // has brought it in. Null past the end or when stopped. The chunk stays pinned (its
  // buffer is not read into again, even once released) until unpin(); one at a time.
  const Chunk* pin(uint64_t index);
  void unpin();
  // Gives up every chunk before `index`; the reader moves on to it when it lags behind.
  // The held index never decreases.
  void release_below(uint64_t index);
  // Random read for the measures, from any thread: from the live chunks (waiting for
  // the reader within the window), else from the device through a small block cache.
  size_t read(uint64_t off, void* dst, size_t n);
  void stop();
  uint64_t unreadable_bytes() const { return unreadable_.load(); }

 private:
  struct Slot {
    uint8_t* buffer = nullptr;
    uint64_t index = UINT64_MAX;  // chunk held, UINT64_MAX when none
    Chunk chunk;
  };
  struct Block {
    uint8_t* buffer = nullptr;
    uint64_t offset = UINT64_MAX;
    size_t length = 0;
    uint64_t used = 0;
  };

  void reader_loop();
  size_t fill(uint64_t offset, uint8_t* buffer, size_t length);
  bool readable(uint64_t offset) const;
  size_t read_direct(uint64_t off, uint8_t* dst, size_t n);
  const Block& cached_block(uint64_t block_offset);
  uint64_t chunk_count() const { return (size_ + chunk_bytes_ - 1) / chunk_bytes_; }
  // Whether reading chunk `index` would overwrite the pinned one.
  bool pinned_slot(uint64_t index) const {
    return pinned_ != UINT64_MAX && pinned_ != index && pinned_ % window_ == index % window_;
  }

  RawDevice& device_;
  const uint64_t size_;
  const size_t chunk_bytes_;
  const size_t window_;
  std::vector<Slot> slots_;
  std::mutex block_mutex_;  // the block cache, shared by the measures
  std::vector<Block> blocks_;
  uint64_t block_clock_ = 0;
  uint8_t* bounce_ = nullptr;  // long direct reads
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t low_ = 0;        // oldest chunk still held
  uint64_t next_read_ = 0;  // next chunk the reader fills
  uint64_t pinned_ = UINT64_MAX;
  bool stopped_ = false;
  std::atomic<uint64_t> unreadable_{0};
  std::atomic<uint64_t> bad_run_{0};  // unreadable bytes in a row, as last seen by any read
  std::thread reader_, warmer_;
};

// The ByteSource that format measures read through.
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(ChunkStream& stream) : stream_(stream) {}
  uint64_t size() const override { return stream_.size(); }
  size_t read_at(uint64_t off, void* dst, size_t n) override { return stream_.read(off, dst, n); }
  uint64_t medium_offset(uint64_t off, uint64_t) const override { return off; }

 private:
  ChunkStream& stream_;
};

}  // namespace kes
