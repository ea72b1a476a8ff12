#include "engine_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kes_test {
namespace {

// Splits the channel's byte stream into messages as they become complete.
void take_frames(std::string& pending, EngineRun& run, const RunOptions& opts, pid_t pid) {
  for (;;) {
    if (pending.size() < 4) return;
    uint32_t n = uint8_t(pending[0]) | (uint8_t(pending[1]) << 8) | (uint8_t(pending[2]) << 16) |
                 (uint32_t(uint8_t(pending[3])) << 24);
    if (n != 0 && n != sizeof(kes::EngineReport)) {
      run.framing_ok = false;
      pending.clear();
      return;
    }
    if (pending.size() < 4 + n) return;
    Message m;
    m.end = n == 0;
    if (n) std::memcpy(&m.report, pending.data() + 4, n);
    pending.erase(0, 4 + n);
    run.messages.push_back(m);
    if (opts.on_message) opts.on_message(m, pid);
  }
}

}  // namespace

EngineRun run_engine(const std::string& exe, const std::vector<std::string>& args, const RunOptions& opts) {
  EngineRun run;
  // The medium (after /cmd) is read only: every run checks that it is as it was.
  const std::string medium = args.size() >= 4 && args[2] == "/cmd" ? args[3] : std::string();
  const std::vector<uint8_t> medium_before = medium.empty() ? std::vector<uint8_t>() : read_file(medium);
  int chan[2], err[2];
  if (pipe2(chan, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    if (opts.file_size_limit) {
      struct rlimit rl = {opts.file_size_limit, opts.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &rl);
    }
    dup2(err[1], 2);
    int fd = dup(chan[1]);  // without close-on-exec: the engine inherits it
    if (opts.channel) {
      setenv("KESTRUNE_REPORT_FD", std::to_string(fd).c_str(), 1);
    } else {
      unsetenv("KESTRUNE_REPORT_FD");
    }
    if (opts.report_path.empty()) {
      unsetenv("KESTRUNE_REPORT_PATH");
    } else {
      unsetenv("KESTRUNE_REPORT_FD");
      setenv("KESTRUNE_REPORT_PATH", opts.report_path.c_str(), 1);
    }
    for (const auto& [name, value] : opts.env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("client.exe"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(chan[1]);
  close(err[1]);
  std::string pending;
  bool chan_open = true, err_open = true;
  char buf[65536];
  while (chan_open || err_open) {
    struct pollfd fds[2] = {{chan_open ? chan[0] : -1, POLLIN, 0}, {err_open ? err[0] : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (chan_open && (fds[0].revents & (POLLIN | POLLHUP))) {
      ssize_t r = read(chan[0], buf, sizeof buf);
      if (r <= 0) {
        chan_open = false;
      } else {
        run.channel_bytes += static_cast<size_t>(r);
        pending.append(buf, static_cast<size_t>(r));
        take_frames(pending, run, opts, pid);
      }
    }
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP))) {
      ssize_t r = read(err[0], buf, sizeof buf);
      if (r <= 0) err_open = false;
      else run.err.append(buf, static_cast<size_t>(r));
    }
  }
  if (!pending.empty()) run.framing_ok = false;
  close(chan[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!medium.empty()) EXPECT_TRUE(read_file(medium) == medium_before) << "the engine changed " << medium;
  return run;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kes-test-XXXXXX").string();
  if (mkdtemp(tmpl.data())) path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

}  // namespace kes_test
