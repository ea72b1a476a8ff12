#include "carve_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include "file_naming.h"
#include "platform/platform.h"

namespace kes {
namespace {

// The scan waits while this much is unwritten: a few pieces. A longer queue does not
// make the writing faster, only its buffers colder by the time they are written, and
// more of them touched afresh (page faults and cleared pages) before they come round.
constexpr size_t kQueueBytes = 16u << 20;
constexpr size_t kSpareBuffers = 8;

}  // namespace

CarveWriter::CarveWriter(const std::string& folder, ReportChannel* channel, const Progress& progress)
    : folder_(folder), sep_(path_separator()), channel_(channel), progress_(progress) {
  thread_ = std::thread([this] { writer_loop(); });
}

CarveWriter::~CarveWriter() { finish(); }

bool CarveWriter::push(Item item) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || queued_bytes_ == 0 || queued_bytes_ + item.bytes.capacity <= kQueueBytes; });
  if (failed_) return false;
  queued_bytes_ += item.bytes.capacity;  // buffers, however little of them is used
  queue_.push_back(std::move(item));
  changed_.notify_all();
  return true;
}

bool CarveWriter::begin_file(const std::string& ext, const char* format_name) {
  Item item{Op::begin, ext, format_name, {}};
  return push(std::move(item));
}

bool CarveWriter::write(Piece piece) {
  Item item{Op::data, {}, nullptr, std::move(piece)};
  return push(std::move(item));
}

Piece CarveWriter::take_piece(size_t n) {
  Piece p;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty() && spare_.back().capacity >= n) {
      p = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  if (p.capacity < n) {
    p.capacity = std::max(n, kPieceBytes);
    p.data.reset(new uint8_t[p.capacity]);
  }
  p.size = n;
  return p;
}

bool CarveWriter::end_file() { return push(Item{Op::end, {}, nullptr, {}}); }

void CarveWriter::abandon_file() { push(Item{Op::abandon, {}, nullptr, {}}); }

void CarveWriter::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  drop_file();
}

std::string CarveWriter::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

std::vector<FormatCount> CarveWriter::counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

void CarveWriter::writer_loop() {
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!failed_) handle(item);
    std::lock_guard<std::mutex> lock(mutex_);
    queued_bytes_ -= item.bytes.capacity;
    if (item.bytes.data && spare_.size() < kSpareBuffers) spare_.push_back(std::move(item.bytes));
    changed_.notify_all();
  }
}

void CarveWriter::handle(Item& item) {
  switch (item.op) {
    case Op::begin:
      start_file(item);
      break;
    case Op::data:
      if (file_ && std::fwrite(item.bytes.data.get(), 1, item.bytes.size, file_) != item.bytes.size)
        fail("cannot write " + temp_path_ + ": " + std::strerror(errno));
      file_bytes_ += item.bytes.size;
      break;
    case Op::end:
      complete_file();
      break;
    case Op::abandon:
      drop_file();
      break;
  }
}

void CarveWriter::start_file(const Item& item) {
  drop_file();
  CarveName name = carve_name(folder_, sep_, next_number_++, item.text);
  if (name.dir != made_dir_) {
    std::string why;
    if (!make_directories(name.dir, &why)) return fail(why);
    made_dir_ = name.dir;
  }
  file_ = std::fopen(name.temp_path.c_str(), "wb");
  if (!file_) return fail("cannot create " + name.temp_path + ": " + std::strerror(errno));
  temp_path_ = name.temp_path;
  final_path_ = name.path;
  format_ = item.format;
  file_bytes_ = 0;
}

void CarveWriter::complete_file() {
  if (!file_) return;
  bool flushed = std::fflush(file_) == 0;
  int flush_errno = errno;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    remove_file(temp_path_);
    return fail("cannot write " + temp_path_ + ": " + std::strerror(flushed ? errno : flush_errno));
  }
  if (!rename_file(temp_path_, final_path_)) {
    remove_file(temp_path_);
    return fail("cannot rename " + temp_path_ + " to " + final_path_);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(counts_.begin(), counts_.end(), [&](const FormatCount& c) { return c.name == format_; });
    if (it == counts_.end()) it = counts_.insert(counts_.end(), FormatCount{format_, 0, 0});
    it->files++;
    it->bytes += file_bytes_;
  }
  files_written_++;
  if (channel_) {
    EngineReport report;
    make_report(report, progress_.total.load(), progress_.done.load(), final_path_.c_str());
    if (!channel_->send(report)) fail("the report channel was closed");
  }
}

void CarveWriter::drop_file() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  remove_file(temp_path_);
}

void CarveWriter::fail(const std::string& message) {
  drop_file();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failed_) error_ = message;
  failed_ = true;
  changed_.notify_all();
}

}  // namespace kes
