#include "engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "carve_writer.h"
#include "chunk_stream.h"
#include "command_line.h"
#include "decimal.h"
#include "file_naming.h"
#include "platform/platform.h"
#include "report_channel.h"
#include "scanner.h"

namespace kes {
namespace {

constexpr size_t kChunkBytes = 4u << 20;
constexpr size_t kWindowChunks = 16;      // 64 MiB read ahead and kept for the measures
constexpr int kReportEveryMs = 250;
constexpr int kPrintEveryMs = 1000;

// Measures wait for one another: a fragment search that meets a file another thread is
// measuring waits for that measure rather than taking it twice. So there are more
// measure threads than cores, which keeps the cores busy meanwhile (a 2-core machine
// scans a camera card 10-20 % faster with 8 than with 2). KESTRUNE_THREADS sets the
// count for tests (verdicts never depend on it).
unsigned measure_threads() {
  const char* forced = std::getenv("KESTRUNE_THREADS");
  if (forced && std::atoi(forced) > 0) return std::min(static_cast<unsigned>(std::atoi(forced)), 64u);
  unsigned cores = std::thread::hardware_concurrency();
  return std::min(4 * std::max(cores, 1u), 16u);
}

void say(const std::string& line) {
  std::string out = "kessrv: " + line + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

// The formats the command line switches on. Says which options name no format (the
// program sends one, "all") and when nothing is left to look for.
std::vector<const Format*> enabled_formats(const Format* table, size_t count, const CommandLine& cl) {
  std::vector<const Format*> out;
  for (size_t i = 0; i < count; ++i)
    if (option_enabled(cl, table[i].name)) out.push_back(&table[i]);
  for (const std::string& name : cl.enabled)
    if (std::none_of(table, table + count, [&](const Format& f) { return same_text(f.name, name.c_str()); }))
      say("no format for the search option \"" + name + "\"");
  if (out.empty()) say("no search option enabled: nothing will be found");
  return out;
}

bool send_progress(ReportChannel* channel, const Progress& progress) {
  EngineReport report;
  make_report(report, progress.total.load(), progress.done.load(), nullptr);
  return channel->send(report);
}

// Sends progress-only reports a few times a second (or prints progress when there is no
// channel) until stopped; a closed channel stops the scan.
class Ticker {
 public:
  Ticker(ReportChannel* channel, const Progress& progress, const CarveWriter& writer, std::atomic<bool>& stop,
         std::atomic<bool>& channel_lost)
      : channel_(channel), progress_(progress), writer_(writer), stop_(stop), channel_lost_(channel_lost) {
    thread_ = std::thread([this] { loop(); });
  }
  ~Ticker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int every = channel_ ? kReportEveryMs : kPrintEveryMs;
    while (!wake_.wait_for(lock, std::chrono::milliseconds(every), [&] { return quit_; })) {
      if (channel_) {
        if (!send_progress(channel_, progress_)) {
          channel_lost_ = true;
          stop_ = true;
        }
      } else {
        uint64_t total = progress_.total.load(), done = progress_.done.load();
        say(decimal(done / 2048) + " of " + decimal(total / 2048) + " MiB scanned, " +
            decimal(writer_.files_written()) + " files");
      }
    }
  }

  ReportChannel* channel_;
  const Progress& progress_;
  const CarveWriter& writer_;
  std::atomic<bool>& stop_;
  std::atomic<bool>& channel_lost_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

void print_layout(const VolumeLayout& layout, const VolumeLayout& old_layout, uint64_t fragmented) {
  if (!layout.known()) return say("volume layout unknown: files are taken as contiguous");
  say("volume: " + std::string(layout.kind()) + ", " + decimal(layout.cluster_bytes()) + "-byte clusters from byte " +
      decimal(layout.data_start()) + (layout.has_allocation() ? ", allocation read" : "") + "; " +
      decimal(fragmented) + " files followed through fragments");
  if (old_layout.known())
    say("files from before the volume was formatted: " + decimal(old_layout.cluster_bytes()) +
        "-byte clusters from byte " + decimal(old_layout.data_start()));
}

void print_summary(uint64_t bytes, uint64_t ms, const CarveWriter& writer, uint64_t unreadable, uint64_t lost_at) {
  uint64_t tenths_mb_s = ms ? bytes / (ms * 100) : 0;  // (bytes / 1e6) / (ms / 1000), in tenths
  say("scanned " + decimal(bytes) + " bytes in " + tenths(ms / 100) + " s, " + tenths(tenths_mb_s) + " MB/s");
  uint64_t total = 0;
  for (const FormatCount& c : writer.counts()) {
    say("  " + c.name + ": " + decimal(c.files) + " files, " + decimal(c.bytes) + " bytes");
    total += c.files;
  }
  say("found " + decimal(total) + " files");
  if (unreadable) say("unreadable: " + decimal(unreadable) + " bytes (read as zeros)");
  if (lost_at != UINT64_MAX) say("the medium stopped answering at byte " + decimal(lost_at) + ": removed?");
}

// Ends a run that could not scan: the application still gets its end message.
int give_up(ReportChannel* channel, const std::string& message) {
  say(message);
  if (channel) channel->send_end();
  return kExitFailed;
}

}  // namespace

int engine_main(int argc, const char* const* argv, const Format* table, size_t count) {
  std::atomic<bool> stop{false};
  install_stop_handler(&stop);

  CommandLine cl;
  std::string error;
  if (!parse_command_line(argc, argv, &cl, &error)) {
    say(error);
    say("usage: kessrv /d \"<scan folder>\" /cmd <volume> fileopt,everything,disable,<ext>,enable,...,search");
    return kExitUsage;
  }
  std::vector<const Format*> formats = enabled_formats(table, count, cl);

  std::unique_ptr<ReportChannel> channel = open_report_channel(&error);
  if (!channel && !error.empty()) {
    say(error);
    return kExitFailed;
  }
  std::unique_ptr<RawDevice> device = open_device(cl.volume, &error);
  if (!device) return give_up(channel.get(), error);
  if (!make_directories(cl.folder, &error)) return give_up(channel.get(), error);
  const std::string folder = absolute_path(cl.folder);
  if (longest_carve_path(folder) >= 260)
    return give_up(channel.get(), "the scan folder path is too long: " + folder);

  Progress progress;
  progress.total = (device->size() + kSectorBytes - 1) / kSectorBytes;
  if (channel && !send_progress(channel.get(), progress)) return give_up(nullptr, "the report channel was closed");

  const uint64_t started = monotonic_ms();
  std::atomic<bool> channel_lost{false};
  bool complete = false;
  uint64_t unreadable = 0, fragmented = 0;
  VolumeLayout layout, old_layout;
  CarveWriter writer(folder, channel.get(), progress);
  {
    Ticker ticker(channel.get(), progress, writer, stop, channel_lost);
    ChunkStream stream(*device, kChunkBytes, kWindowChunks);
    Scanner scanner(stream, formats, writer, progress, stop, measure_threads());
    complete = scanner.run();
    layout = scanner.layout();
    old_layout = scanner.old_layout();
    fragmented = scanner.fragmented_files();
    stream.stop();
    writer.finish();
    unreadable = stream.unreadable_bytes();
  }
  const uint64_t elapsed = monotonic_ms() - started;
  print_summary(std::min(device->size(), progress.done.load() * kSectorBytes), elapsed, writer, unreadable,
                device->lost_at());
  print_layout(layout, old_layout, fragmented);

  int code = kExitOk;
  if (writer.failed()) {
    say("scan ended: " + writer.error());
    code = kExitWriteFailed;
  } else if (channel_lost) {
    say("scan ended: the report channel was closed");
    code = kExitFailed;
  } else if (!complete) {
    say("scan stopped");
    code = kExitStopped;
  } else if (unreadable || device->lost_at() != UINT64_MAX) {
    code = kExitUnreadable;  // the whole medium was gone through, but not all of it could be read
  }
  if (channel && !channel_lost) {
    send_progress(channel.get(), progress);
    channel->send_end();
  }
  return code;
}

}  // namespace kes
