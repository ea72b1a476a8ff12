// The writer thread: takes the bytes of each carved file from the scan, writes them
// under a temporary dot-name, renames the file once it is complete and closed, and
// only then reports it. The first failure stops all writing.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "report_channel.h"

namespace kes {

// The scan's progress, in sectors, shared by the scan, the writer and the ticker.
struct Progress {
  std::atomic<uint64_t> total{0};
  std::atomic<uint64_t> done{0};
};

struct FormatCount {
  std::string name;
  uint64_t files = 0;
  uint64_t bytes = 0;
};

// Bytes on their way to a file. The writer keeps written buffers for reuse, so that the
// scan does not zero-fill and fault in fresh pages for every piece.
struct Piece {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  size_t capacity = 0;
};

class CarveWriter {
 public:
  static constexpr size_t kPieceBytes = 4u << 20;  // the size of the buffers handed out

  // `folder` is the absolute scan folder; `channel` may be null.
  CarveWriter(const std::string& folder, ReportChannel* channel, const Progress& progress);
  ~CarveWriter();
  CarveWriter(const CarveWriter&) = delete;
  CarveWriter& operator=(const CarveWriter&) = delete;

  // Called by the scan, in this order per file: begin, write..., end (or abandon).
  // Each returns false once writing has failed; the scan should stop then.
  bool begin_file(const std::string& ext, const char* format_name);
  bool write(Piece piece);
  // A buffer of at least max(n, kPieceBytes) bytes, contents undefined, size set to n.
  Piece take_piece(size_t n);
  bool end_file();
  void abandon_file();  // the scan stops inside a file: its partial copy is removed

  // Drains the queue and ends the thread.
  void finish();
  bool failed() const { return failed_.load(); }
  std::string error() const;
  std::vector<FormatCount> counts() const;
  uint64_t files_written() const { return files_written_.load(); }

 private:
  enum class Op { begin, data, end, abandon };
  struct Item {
    Op op;
    std::string text;  // extension for begin
    const char* format = nullptr;
    Piece bytes;
  };

  bool push(Item item);
  void writer_loop();
  void handle(Item& item);
  void start_file(const Item& item);
  void complete_file();
  void drop_file();
  void fail(const std::string& message);

  const std::string folder_;
  const char sep_;
  ReportChannel* channel_;
  const Progress& progress_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::vector<Piece> spare_;
  size_t queued_bytes_ = 0;
  bool closing_ = false;
  std::string error_;
  std::vector<FormatCount> counts_;
  std::atomic<bool> failed_{false};
  std::atomic<uint64_t> files_written_{0};

  // Writer thread only.
  uint64_t next_number_ = 0;
  std::string made_dir_;
  std::FILE* file_ = nullptr;
  std::string temp_path_, final_path_;
  const char* format_ = nullptr;
  uint64_t file_bytes_ = 0;

  std::thread thread_;
};

}  // namespace kes
