// Runs an engine executable as a child process with a report channel on a pipe and
// reads back its framed messages, its stderr and its exit code.
#pragma once
#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "engine_report.h"

namespace kes_test {

struct Message {
  bool end = false;  // the zero-length message
  kes::EngineReport report{};
};

struct RunOptions {
  bool channel = true;           // give the engine a report channel (KESTRUNE_REPORT_FD)
  std::string report_path;       // KESTRUNE_REPORT_PATH instead of the descriptor
  uint64_t file_size_limit = 0;  // RLIMIT_FSIZE for the child, 0 = none
  std::vector<std::pair<std::string, std::string>> env;  // set in the child
  // Called for each message as it arrives, while the engine still runs.
  std::function<void(const Message&, pid_t)> on_message;
};

struct EngineRun {
  int exit_code = -1;
  std::string err;
  std::vector<Message> messages;
  bool framing_ok = true;     // every frame had length 0 or 280 and was complete
  size_t channel_bytes = 0;   // raw bytes read from the channel
};

EngineRun run_engine(const std::string& exe, const std::vector<std::string>& args, const RunOptions& opts = {});

// A fresh folder below the temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);

}  // namespace kes_test
