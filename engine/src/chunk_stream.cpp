#include "chunk_stream.h"

#include <algorithm>
#include <cstring>
#include "engine_report.h"

namespace kes {
namespace {

constexpr size_t kBlockBytes = 64 * 1024;
constexpr size_t kBlockCount = 32;
constexpr size_t kBigReadBytes = 1u << 20;
// Unreadable bytes in a row after which a failing span is only sampled, one block a MiB.
constexpr uint64_t kBadRunBytes = 1u << 20;

uint64_t round_up(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }

}  // namespace

ChunkStream::ChunkStream(RawDevice& device, size_t chunk_bytes, size_t window_chunks)
    : device_(device),
      size_(device.size()),
      chunk_bytes_(static_cast<size_t>(round_up(std::max<size_t>(chunk_bytes, kIoAlign), kIoAlign))),
      window_(std::max<size_t>(window_chunks, 2)),
      slots_(window_),
      blocks_(kBlockCount) {
  for (Slot& s : slots_) s.buffer = static_cast<uint8_t*>(alloc_aligned(chunk_bytes_));
  for (Block& b : blocks_) b.buffer = static_cast<uint8_t*>(alloc_aligned(kBlockBytes));
  reader_ = std::thread([this] { reader_loop(); });
  // The reader's first round through the window would also clear every fresh page it
  // reads into, while the scan waits for it: another thread maps them in meanwhile.
  warmer_ = std::thread([this] {
    for (uint64_t i = 1; i < std::min<uint64_t>(slots_.size(), chunk_count()); ++i)
      prefault(slots_[i].buffer, chunk_bytes_);
  });
}

ChunkStream::~ChunkStream() {
  stop();
  reader_.join();
  warmer_.join();
  for (Slot& s : slots_) free_aligned(s.buffer);
  for (Block& b : blocks_) free_aligned(b.buffer);
  free_aligned(bounce_);
}

void ChunkStream::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

// Reads one span. A failing read is retried block by block, and what stays unreadable is
// left zero so that the scan goes on past a bad area. Deep inside a bad area only the
// span's first block and one block per MiB are tried, and nothing once the medium is
// lost: a removed card is gone through quickly instead of being asked for every block.
size_t ChunkStream::fill(uint64_t offset, uint8_t* buffer, size_t length) {
  // Raw devices read whole sectors only: ask up to the end of the last sector.
  const size_t want = static_cast<size_t>(round_up(length, kSectorBytes));
  size_t got = readable(offset) ? device_.read(offset, buffer, want) : 0;
  if (got >= length) {
    bad_run_ = 0;
    return length;
  }
  size_t pos = got / kIoAlign * kIoAlign;
  if (pos > 0) bad_run_ = 0;
  for (bool first = true; pos < want; pos += kIoAlign, first = false) {
    const size_t n = std::min(kIoAlign, want - pos);
    const size_t expected = std::min(n, length - pos);
    const bool probe = first || (offset + pos) % kBadRunBytes == 0;
    const bool skip = !readable(offset + pos) || (bad_run_ >= kBadRunBytes && !probe);
    const size_t r = skip ? 0 : device_.read(offset + pos, buffer + pos, n);
    if (r < expected) {
      std::memset(buffer + pos + r, 0, n - r);
      unreadable_ += expected - r;
      bad_run_ += expected - r;
    } else {
      bad_run_ = 0;
    }
  }
  return length;
}

bool ChunkStream::readable(uint64_t offset) const { return offset < device_.lost_at(); }

void ChunkStream::reader_loop() {
  for (;;) {
    uint64_t index;
    Slot* slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] {
        return stopped_ || (next_read_ < chunk_count() && next_read_ < low_ + window_ && !pinned_slot(next_read_));
      });
      if (stopped_) return;
      index = next_read_;
      slot = &slots_[index % window_];
    }
    // The slot belongs to a chunk below the scan's window: nobody reads it any more.
    uint64_t offset = index * chunk_bytes_;
    size_t length = static_cast<size_t>(std::min<uint64_t>(chunk_bytes_, size_ - offset));
    fill(offset, slot->buffer, length);
    std::memset(slot->buffer + length, 0, chunk_bytes_ - length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= low_) {
      slot->index = index;
      slot->chunk = Chunk{offset, length, slot->buffer};
    }
    next_read_ = std::max(index + 1, low_);
    changed_.notify_all();
  }
}

void ChunkStream::release_below(uint64_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index <= low_) return;
  low_ = index;
  if (next_read_ < low_) next_read_ = low_;
  changed_.notify_all();
}

const Chunk* ChunkStream::acquire(uint64_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (index >= chunk_count() || index < low_ || index >= low_ + window_) return nullptr;
  Slot& slot = slots_[index % window_];
  changed_.wait(lock, [&] { return stopped_ || slot.index == index; });
  if (stopped_) return nullptr;
  return &slot.chunk;
}

const Chunk* ChunkStream::pin(uint64_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    index = std::max(index, low_);
    if (stopped_ || index >= chunk_count()) return nullptr;
    Slot& slot = slots_[index % window_];
    if (slot.index == index) {
      pinned_ = index;
      return &slot.chunk;
    }
    changed_.wait(lock);
  }
}

void ChunkStream::unpin() {
  std::lock_guard<std::mutex> lock(mutex_);
  pinned_ = UINT64_MAX;
  changed_.notify_all();
}

size_t ChunkStream::read(uint64_t off, void* dst, size_t n) {
  if (off >= size_) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - off));
  uint8_t* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < n) {
    uint64_t pos = off + done;
    uint64_t index = pos / chunk_bytes_;
    size_t in_chunk = static_cast<size_t>(pos - index * chunk_bytes_);
    size_t take = std::min(n - done, chunk_bytes_ - in_chunk);
    const uint8_t* from = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (index >= low_ && index < low_ + window_) {
        Slot& slot = slots_[index % window_];
        changed_.wait(lock, [&] { return stopped_ || slot.index == index; });
        if (stopped_) return done;
        from = slot.buffer + in_chunk;  // stays: the chunk of a running measure is held
      }
    }
    if (from) {
      std::memcpy(out + done, from, take);
      done += take;
    } else {
      size_t r = read_direct(pos, out + done, take);
      done += r;
      if (r < take) break;
    }
  }
  return done;
}

size_t ChunkStream::read_direct(uint64_t off, uint8_t* dst, size_t n) {
  std::lock_guard<std::mutex> lock(block_mutex_);
  size_t done = 0;
  while (done < n) {
    uint64_t pos = off + done;
    if (n - done >= kBigReadBytes) {
      // Long spans (a large file past the window) bypass the cache in chunk-sized reads.
      if (!bounce_) bounce_ = static_cast<uint8_t*>(alloc_aligned(chunk_bytes_));
      uint64_t start = pos / kIoAlign * kIoAlign;
      size_t length = static_cast<size_t>(std::min<uint64_t>({chunk_bytes_, size_ - start, pos + (n - done) - start}));
      fill(start, bounce_, length);
      size_t take = static_cast<size_t>(start + length - pos);
      std::memcpy(dst + done, bounce_ + (pos - start), take);
      done += take;
      continue;
    }
    uint64_t block_offset = pos / kBlockBytes * kBlockBytes;
    const Block& b = cached_block(block_offset);
    size_t in_block = static_cast<size_t>(pos - block_offset);
    if (in_block >= b.length) break;
    size_t take = std::min(n - done, b.length - in_block);
    std::memcpy(dst + done, b.buffer + in_block, take);
    done += take;
  }
  return done;
}

const ChunkStream::Block& ChunkStream::cached_block(uint64_t block_offset) {
  Block* victim = &blocks_[0];
  for (Block& b : blocks_) {
    if (b.offset == block_offset) {
      b.used = ++block_clock_;
      return b;
    }
    if (b.used < victim->used) victim = &b;
  }
  size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, size_ - block_offset));
  victim->length = fill(block_offset, victim->buffer, length);
  victim->offset = block_offset;
  victim->used = ++block_clock_;
  return *victim;
}

}  // namespace kes
