// A stand-in for the recovery engine, for tests. Checks its command line,
// then follows the script in TESS_STANDIN_SCRIPT, commands separated by '|':
//   connect            connect to the report pipe (retrying while it is busy)
//   file NAME SIZE     write NAME (below the scan folder) and report its full path
//   progress T D       a progress-only report with total T and done D
//   report PATH        report PATH as given
//   short N            an N-byte message
//   end                the zero-length end message
//   sleep MS           pause; the program's stop event ends the pause, and the run as the
//                      engine ends a stopped one: the end message, exit code 3
//   hang MS            pause, deaf to the stop event
//   await PATH         pause until the file PATH exists (a test's go-ahead; a minute at most)
//   die                exit at once, code 3, without an end message
//   die-first MARK     die, unless the file MARK exists; it is made first (a process that
//                      ends at once the first time it is started only)
//   exit N             exit at once with code N
//   crash              fault on a null pointer, as a broken engine would
// Its command line and any error go to the file TESS_STANDIN_LOG when set.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kestrune_command_line.h"
#include "session/engine_report.h"

namespace {
std::string g_scan_folder;
HANDLE g_pipe = INVALID_HANDLE_VALUE;
HANDLE g_stop = nullptr;
EngineReport g_report;

void log_line(const std::string& line) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("TESS_STANDIN_LOG", path, MAX_PATH)) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

[[noreturn]] void fail(const std::string& why, int code) {
  log_line("error: " + why);
  std::fprintf(stderr, "kessrv stand-in: %s\n", why.c_str());
  ExitProcess(code);
}

// client.exe /d "<scan folder>" /cmd <volume> <options>
void check_command_line() {
  std::string line = GetCommandLineA();
  log_line("cmd: " + line);
  const std::string head = "client.exe /d \"";
  if (line.compare(0, head.size(), head) != 0) fail("command line must begin with " + head, 2);
  size_t quote = line.find('"', head.size());
  if (quote == std::string::npos) fail("unterminated scan folder", 2);
  g_scan_folder = line.substr(head.size(), quote - head.size());
  const std::string scan_name = kestrune::kScanFolderName;
  if (g_scan_folder.size() < scan_name.size() ||
      g_scan_folder.compare(g_scan_folder.size() - scan_name.size(), scan_name.size(), scan_name) != 0)
    fail("scan folder must end in " + scan_name, 2);
  const std::string cmd = " /cmd ";
  if (line.compare(quote + 1, cmd.size(), cmd) != 0) fail("expected /cmd after the folder", 2);
  size_t volume_at = quote + 1 + cmd.size();
  size_t blank = line.find(' ', volume_at);
  if (blank == std::string::npos || blank == volume_at) fail("missing volume or options", 2);
  if (line[blank - 1] == '\\') fail("volume keeps its trailing backslash", 2);
  // Read as the engine reads it; the log lists what it switched on.
  kestrune::SearchOptions options;
  if (!kestrune::parse_search_options(line.substr(blank + 1), &options)) fail("malformed option string", 2);
  std::string listed;
  for (const std::string& option : options.enabled) listed += (listed.empty() ? "" : ",") + option;
  log_line("enabled: " + listed);
}

void connect_pipe() {
  for (int tries = 0; tries < 400; ++tries) {
    g_pipe = CreateFileW(kestrune::kPipeNameW, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    if (g_pipe != INVALID_HANDLE_VALUE) break;
    Sleep(25);
  }
  if (g_pipe == INVALID_HANDLE_VALUE) fail("cannot connect to the pipe", 4);
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(g_pipe, &mode, nullptr, nullptr);
}

void send(const void* data, DWORD size) {
  DWORD written = 0;
  if (!WriteFile(g_pipe, data, size, &written, nullptr) || written != size) fail("write failed", 5);
}

void send_report(const std::string& path) {
  std::memset(g_report.file_path, 0, sizeof g_report.file_path);
  std::strncpy(g_report.file_path, path.c_str(), sizeof g_report.file_path - 1);
  send(&g_report, sizeof g_report);
}

void write_found_file(const std::string& name, size_t size) {
  std::string path = g_scan_folder + "\\" + name;
  for (size_t at = g_scan_folder.size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at)
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(g_scan_folder.c_str(), nullptr);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write " + path, 6);
  for (size_t i = 0; i < size; ++i) std::fputc(int((i * 7 + 1) & 0xFF), f);
  std::fclose(f);
  send_report(path);
}

void run(const std::string& command) {
  char word[32] = {};
  std::sscanf(command.c_str(), "%31s", word);
  std::string rest = command.size() > std::strlen(word) ? command.substr(std::strlen(word) + 1) : "";
  std::string verb = word;
  if (verb == "connect") {
    connect_pipe();
  } else if (verb == "file") {
    size_t blank = rest.rfind(' ');
    write_found_file(rest.substr(0, blank), std::strtoul(rest.c_str() + blank + 1, nullptr, 10));
  } else if (verb == "progress") {
    char* next = nullptr;
    unsigned long long total = std::strtoull(rest.c_str(), &next, 10);
    unsigned long long done = std::strtoull(next, nullptr, 10);
    kestrune::split_count(total, g_report.sectors_total);
    kestrune::split_count(done, g_report.sectors_done);
    send_report("");
  } else if (verb == "report") {
    send_report(rest);
  } else if (verb == "short") {
    std::vector<char> bytes(std::strtoul(rest.c_str(), nullptr, 10), 'x');
    send(bytes.data(), DWORD(bytes.size()));
  } else if (verb == "end") {
    send("", 0);
  } else if (verb == "sleep") {
    if (!g_stop || WaitForSingleObject(g_stop, std::strtoul(rest.c_str(), nullptr, 10)) != WAIT_OBJECT_0) return;
    log_line("stopped");
    if (g_pipe != INVALID_HANDLE_VALUE) send("", 0);
    ExitProcess(kestrune::kExitStopped);
  } else if (verb == "await") {
    for (int waited = 0; GetFileAttributesA(rest.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 3000; ++waited)
      Sleep(20);
  } else if (verb == "hang") {
    Sleep(std::strtoul(rest.c_str(), nullptr, 10));
  } else if (verb == "die") {
    ExitProcess(3);
  } else if (verb == "die-first") {
    if (GetFileAttributesA(rest.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    if (FILE* mark = std::fopen(rest.c_str(), "wb")) std::fclose(mark);
    ExitProcess(3);
  } else if (verb == "exit") {
    ExitProcess(std::strtoul(rest.c_str(), nullptr, 10));
  } else if (verb == "crash") {
    *static_cast<volatile int*>(nullptr) = 1;
  } else {
    fail("unknown script command: " + command, 7);
  }
}

// As the real engine: a crash ends the process without a box or a debugger.
LONG WINAPI end_on_fault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(end_on_fault);
  check_command_line();
  g_stop = OpenEventW(SYNCHRONIZE, FALSE, kestrune::kStopEventNameW);
  char script[8192] = "connect|end";
  GetEnvironmentVariableA("TESS_STANDIN_SCRIPT", script, sizeof script);
  std::string text = script;
  for (size_t at = 0; at <= text.size();) {
    size_t bar = text.find('|', at);
    if (bar == std::string::npos) bar = text.size();
    if (bar > at) run(text.substr(at, bar - at));
    at = bar + 1;
  }
  log_line("done");
  return 0;
}
