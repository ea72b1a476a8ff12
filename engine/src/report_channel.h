// Where the engine's reports go: the application's named pipe on Windows, an optional
// descriptor or FIFO natively. Sends may come from several threads.
#pragma once
#include <memory>
#include <string>
#include "engine_report.h"

namespace kes {

class ReportChannel {
 public:
  virtual ~ReportChannel() = default;
  // One 280-byte report as one message; false once the reader is gone.
  virtual bool send(const EngineReport& report) = 0;
  // The zero-length message that ends the scan.
  virtual bool send_end() = 0;
};

// Connects to the platform's report channel. Returns null with an empty `error` when
// no channel is present (the engine then runs on its own) and null with a message
// when one is present but cannot be used.
std::unique_ptr<ReportChannel> open_report_channel(std::string* error);

}  // namespace kes
