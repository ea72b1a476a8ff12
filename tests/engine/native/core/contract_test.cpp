// The engine's contract through the real executable (with test formats): command line,
// report channel, the files it leaves in the scan folder, and how it ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <set>
#include "card_image.h"
#include "engine_process.h"
#include "kestrune_contract.h"
#include "test_formats.h"

namespace fs = std::filesystem;
using namespace kes_test;

namespace {

const std::string kExe = KESSRV_TEST_EXE;
const std::string kAll = "fileopt,everything,disable,jpg,enable,tif,enable,mp3,enable,search";

std::vector<std::string> engine_args(const std::string& folder, const std::string& image, const std::string& opts) {
  return {"/d", folder, "/cmd", image, opts};
}

std::vector<std::string> reported_paths(const EngineRun& run) {
  std::vector<std::string> out;
  for (const Message& m : run.messages)
    if (!m.end && m.report.file_path[0]) out.push_back(m.report.file_path);
  return out;
}

// Every regular file below `root`, dot-names included.
std::vector<fs::path> files_below(const std::string& root) {
  std::vector<fs::path> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

bool ends_with_one_end_message(const EngineRun& run) {
  if (run.messages.empty() || !run.messages.back().end) return false;
  return std::count_if(run.messages.begin(), run.messages.end(), [](const Message& m) { return m.end; }) == 1;
}

// Each reported file is one of the expected originals, byte for byte, each at most once.
void expect_reported_files_are_originals(const EngineRun& run, const CardImage& card) {
  std::set<size_t> matched;
  for (const std::string& p : reported_paths(run)) {
    std::vector<uint8_t> got = read_file(p);
    auto it = std::find(card.expected().begin(), card.expected().end(), got);
    ASSERT_NE(it, card.expected().end()) << p << " is not an original";
    EXPECT_TRUE(matched.insert(static_cast<size_t>(it - card.expected().begin())).second) << p << " twice";
  }
}

}  // namespace

TEST(EngineCommandLine, MalformedLinesFailWithoutTouchingTheChannel) {
  TempDir dir;
  CardImage card(64 * 1024);
  card.save(dir / "card.img");
  const std::string folder = dir / "tmp";
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"/d", folder},
      {"/d", folder, "/cmd", dir / "card.img"},
      {"/cmd", dir / "card.img", kAll},
      {"/d", folder, "/cmd", dir / "card.img", "fileopt,everything,disable,jpg,enable"},
      {"/d", "", "/cmd", dir / "card.img", kAll},
  };
  for (const auto& line : lines) {
    EngineRun run = run_engine(kExe, line);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_NE(run.err.find("kessrv: "), std::string::npos);
    EXPECT_EQ(run.channel_bytes, 0u);
    EXPECT_FALSE(fs::exists(folder));
  }
}

TEST(EngineCommandLine, ReportsOnlyEnabledFormatsAndIgnoresUnknownTokens) {
  TempDir dir;
  CardImage card(1 << 20);
  card.place(0, make_test_file('J', 5000, "", 0, 1));
  card.place(16384, make_test_file('T', 7000, "", 0, 2), false);
  card.place(65536, make_test_file('A', 3000, "", 0, 3), false);
  card.place(131072, make_test_file('J', 4000, "", 0, 4));
  card.save(dir / "card.img");
  // the scan folder and its missing parents are created
  const std::string folder = dir / "cache/deeper/tmp";
  EngineRun run = run_engine(kExe, engine_args(folder, dir / "card.img",
                                               "fileopt,everything,disable,max,enable,jpg,enable,bogus,search,x"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto paths = reported_paths(run);
  EXPECT_EQ(paths.size(), 2u);
  expect_reported_files_are_originals(run, card);
  EXPECT_EQ(files_below(folder).size(), 2u);
  for (const auto& p : paths) EXPECT_EQ(fs::path(p).extension(), ".jpg");
  EXPECT_NE(run.err.find("no format for the search option \"max\""), std::string::npos) << run.err;

  // Every format, but for one switched off again.
  run = run_engine(kExe, engine_args(dir / "all", dir / "card.img", "fileopt,everything,enable,mp3,disable,search"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::multiset<std::string> exts;
  for (const auto& p : reported_paths(run)) exts.insert(fs::path(p).extension().string());
  EXPECT_EQ(exts, (std::multiset<std::string>{".jpg", ".jpg", ".tif"}));
  run = run_engine(kExe, engine_args(dir / "none", dir / "card.img", "fileopt,everything,disable,search"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(reported_paths(run).empty());
  EXPECT_NE(run.err.find("nothing will be found"), std::string::npos) << run.err;
}

TEST(EngineReports, ProgressFilesAndEndInOrder) {
  TempDir dir;
  const uint64_t size = (3u << 20) + 300;  // not a whole number of sectors
  CardImage card(size);
  card.place(512, make_test_file('J', 20000, "", 0, 1));
  // a file inside a file belongs to it and is not carved on its own
  std::vector<uint8_t> outer = make_test_file('T', 100000, "", 0, 2);
  std::vector<uint8_t> inner = make_test_file('J', 3000, "", 0, 3);
  std::copy(inner.begin(), inner.end(), outer.begin() + 8192);
  card.place(1 << 20, outer);
  // a header whose trailer is missing is skipped, and the next sector is looked at
  std::vector<uint8_t> broken = make_test_file('A', 9000, "", 0, 4);
  broken[8996] = 'X';
  card.place(2 << 20, broken, false);
  card.place((2 << 20) + 512, make_test_file('A', 2000, "", 0, 5));
  // the last file runs to the very end of the image, past its last whole sector
  const uint64_t last = size / 512 * 512 - 5120;
  card.place(last, make_test_file('J', static_cast<uint32_t>(size - last), "", 0, 6));
  card.save(dir / "card.img");

  const std::string folder = dir / "tmp";
  const uint64_t total = (size + 511) / 512;
  RunOptions opts;
  std::vector<std::string> problems;
  opts.on_message = [&](const Message& m, pid_t) {
    if (m.end || !m.report.file_path[0]) return;
    // reported only once complete: the final name holds the whole file already
    std::vector<uint8_t> got = read_file(m.report.file_path);
    auto it = std::find(card.expected().begin(), card.expected().end(), got);
    if (it == card.expected().end()) problems.push_back(m.report.file_path);
  };
  EngineRun run = run_engine(kExe, engine_args(folder, dir / "card.img", kAll), opts);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.framing_ok);
  EXPECT_TRUE(problems.empty()) << problems.front();
  ASSERT_TRUE(ends_with_one_end_message(run));
  ASSERT_GE(run.messages.size(), 2u);
  EXPECT_EQ(run.messages.front().report.file_path[0], '\0');
  uint64_t last_done = 0;
  for (size_t i = 0; i + 1 < run.messages.size(); ++i) {
    const kes::EngineReport& r = run.messages[i].report;
    EXPECT_EQ(kes::report_total(r), total);
    EXPECT_GE(kes::report_done(r), last_done);
    EXPECT_LE(kes::report_done(r), total);
    last_done = kes::report_done(r);
  }
  EXPECT_EQ(last_done, total);
  EXPECT_EQ(reported_paths(run).size(), card.expected().size());
  expect_reported_files_are_originals(run, card);
}

TEST(EngineReports, FileLongerThanTheReadWindowIsFollowedToItsEnd) {
  TempDir dir;
  CardImage card(80u << 20);
  std::vector<uint8_t> big = make_test_file('T', 70u << 20, "", 0, 1);
  // a header deep inside the big file is part of it, not a file of its own
  std::vector<uint8_t> inner = make_test_file('J', 4000, "", 0, 2);
  std::copy(inner.begin(), inner.end(), big.begin() + (66u << 20));
  card.place(512, big);
  card.place(72u << 20, make_test_file('A', 9000, "", 0, 3));
  card.save(dir / "card.img");
  EngineRun run = run_engine(kExe, engine_args(dir / "tmp", dir / "card.img", kAll));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(reported_paths(run).size(), 2u);
  expect_reported_files_are_originals(run, card);
}

TEST(EngineReports, FramedThroughANamedFifo) {
  TempDir dir;
  CardImage card(1 << 20);
  card.place(4096, make_test_file('A', 3000, "", 0, 1));
  card.save(dir / "card.img");
  const std::string fifo = dir / "reports";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string stream;
  std::thread reader([&] {
    std::ifstream in(fifo, std::ios::binary);
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  });
  RunOptions opts;
  opts.report_path = fifo;
  EngineRun run = run_engine(kExe, engine_args(dir / "tmp", dir / "card.img", kAll), opts);
  reader.join();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // 280-byte frames, one of them naming the file, then the four zero bytes of the end
  ASSERT_GE(stream.size(), 4u + 284u);
  EXPECT_EQ((stream.size() - 4) % 284, 0u);
  EXPECT_EQ(stream.substr(stream.size() - 4), std::string(4, '\0'));
  EXPECT_EQ(stream.substr(0, 4), std::string("\x18\x01\0\0", 4));
  EXPECT_NE(stream.find(dir / "tmp/000/f0000000.mp3"), std::string::npos);
}

TEST(EngineFolder, SubfoldersNamesAndExtensions) {
  TempDir dir;
  const int count = 600;
  CardImage card(uint64_t(count) * 2048 + 4096);
  for (int i = 0; i < count; ++i) {
    // a RAW-like extension is kept, one the application can't classify as a photo is not
    const char* ext = i % 3 == 0 ? "nef" : i % 3 == 1 ? "exe" : "";
    card.place(uint64_t(i) * 2048, make_test_file('T', 1500, ext, 0, static_cast<uint32_t>(i + 1)));
  }
  card.save(dir / "card.img");
  const std::string folder = dir / "tmp";
  EngineRun run = run_engine(kExe, engine_args(folder, dir / "card.img", kAll));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  auto paths = reported_paths(run);
  ASSERT_EQ(paths.size(), size_t(count));
  expect_reported_files_are_originals(run, card);

  std::set<std::string> stems;
  std::map<std::string, int> per_folder;
  std::map<std::string, int> per_ext;
  for (const std::string& p : paths) {
    fs::path path(p);
    EXPECT_TRUE(path.is_absolute());
    EXPECT_LT(p.size(), 260u);
    EXPECT_EQ(p.find("thumb_"), std::string::npos);
    EXPECT_NE(path.filename().string()[0], '.');
    EXPECT_TRUE(stems.insert(path.stem().string()).second) << "stem used twice: " << p;
    per_folder[path.parent_path().string()]++;
    per_ext[path.extension().string()]++;
  }
  for (const auto& f : per_folder) EXPECT_LE(f.second, 250) << f.first;
  EXPECT_EQ(per_ext[".nef"], count / 3);
  EXPECT_EQ(per_ext[".tif"], count - count / 3);
  EXPECT_EQ(files_below(folder).size(), size_t(count));  // no temporary names left behind
}

// The scan folder's disk fills up: the scan stops at the first file that cannot be
// written, says so by its exit code, and keeps every file reported before.
TEST(EngineEnd, WriteFailureKeepsWhatWasReported) {
  TempDir dir;
  CardImage card(8 << 20);
  for (int i = 0; i < 3; ++i) card.place(uint64_t(i) << 20, make_test_file('J', 100000, "", 0, i + 1));
  card.place(3 << 20, make_test_file('J', 2 << 20, "", 0, 9), false);  // more than the room left
  for (int i = 6; i < 8; ++i) card.place(uint64_t(i) << 20, make_test_file('J', 100000, "", 0, i + 1), false);
  card.save(dir / "card.img");
  const std::string small = dir / "small";
  fs::create_directory(small);
  const bool mounted = std::system(("mount -t tmpfs -o size=1m tmpfs " + small + " 2>/dev/null").c_str()) == 0;
  struct Unmount {
    std::string folder;
    ~Unmount() {
      if (!folder.empty()) std::system(("umount -l " + folder).c_str());
    }
  } unmount{mounted ? small : std::string()};
  struct Case {
    const char* what;
    std::string folder;
    uint64_t file_size_limit;
  } cases[] = {
      {"file size limit", dir / "tmp", 1 << 20},
      {"full file system", small + "/tmp", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.file_size_limit == 0 && !mounted) {
      std::printf("no small file system could be mounted: the full disk case is skipped\n");
      continue;
    }
    RunOptions opts;
    opts.file_size_limit = c.file_size_limit;
    EngineRun run = run_engine(kExe, engine_args(c.folder, dir / "card.img", kAll), opts);
    EXPECT_EQ(run.exit_code, kestrune::kExitWriteFailed);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    EXPECT_TRUE(ends_with_one_end_message(run));
    auto paths = reported_paths(run);
    EXPECT_EQ(paths.size(), 3u);
    expect_reported_files_are_originals(run, card);
    EXPECT_EQ(files_below(c.folder).size(), paths.size());  // the partial file is gone
  }
}

// A card whose reads fail from some offset on, for good or for a while: the scan goes
// past the unreadable area as zeros, finds the files on either side, reaches the end,
// says what it could not read, and never writes to the card.
TEST(EngineEnd, UnreadableAreasAreSkippedAndTold) {
  TempDir dir;
  constexpr uint64_t kMiB = 1 << 20;
  CardImage card(48 * kMiB);
  card.place(512, make_test_file('J', 200000, "", 0, 1));
  card.place(6 * kMiB, make_test_file('A', 5000, "", 0, 2));
  card.place(20 * kMiB + 4096, make_test_file('T', 9000, "", 0, 3), false);  // inside the bad area
  card.place(40 * kMiB, make_test_file('J', 30000, "", 0, 4));  // found where the card reads again
  card.save(dir / "card.img");
  struct Case {
    const char* what;
    int error;
    uint64_t to;  // 0: to the end
    const char* said;
    bool finds_the_last;
  } cases[] = {
      {"bad area", EIO, 32 * kMiB, "unreadable: ", true},
      {"bad to the end", EIO, 0, "unreadable: ", false},
      {"card pulled out", ENODEV, 0, "stopped answering at byte 16777216", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunOptions opts;
    opts.env = {{"LD_PRELOAD", KES_FAILING_READS},
                {"ASAN_OPTIONS", "verify_asan_link_order=0"},
                {"KES_FAIL_PATH", dir / "card.img"},
                {"KES_FAIL_FROM", std::to_string(16 * kMiB)},
                {"KES_FAIL_ERRNO", std::to_string(c.error)}};
    if (c.to) opts.env.push_back({"KES_FAIL_TO", std::to_string(c.to)});
    const std::string folder = dir / (std::string("tmp-") + std::to_string(&c - cases));
    EngineRun run = run_engine(kExe, engine_args(folder, dir / "card.img", kAll), opts);
    EXPECT_EQ(run.exit_code, kestrune::kExitUnreadable) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    ASSERT_TRUE(ends_with_one_end_message(run));
    EXPECT_EQ(kes::report_done(run.messages[run.messages.size() - 2].report), 48 * kMiB / 512);
    expect_reported_files_are_originals(run, card);
    EXPECT_EQ(reported_paths(run).size(), c.finds_the_last ? 3u : 2u);
  }
}

TEST(EngineEnd, StopRequestEndsCleanly) {
  TempDir dir;
  CardImage card(4 << 20);
  for (int i = 0; i < 40; ++i)
    card.place(uint64_t(i) * 65536, make_test_file('J', 30000, "", 100, static_cast<uint32_t>(i + 1)));
  card.save(dir / "card.img");
  const std::string folder = dir / "tmp";
  RunOptions opts;
  bool sent = false;
  opts.on_message = [&](const Message& m, pid_t pid) {
    if (!sent && !m.end && m.report.file_path[0]) {
      kill(pid, SIGTERM);
      sent = true;
    }
  };
  EngineRun run = run_engine(kExe, engine_args(folder, dir / "card.img", kAll), opts);
  EXPECT_EQ(run.exit_code, 3) << run.err;
  EXPECT_TRUE(ends_with_one_end_message(run));
  auto paths = reported_paths(run);
  EXPECT_GE(paths.size(), 1u);
  EXPECT_LT(paths.size(), 40u);
  expect_reported_files_are_originals(run, card);
  EXPECT_EQ(files_below(folder).size(), paths.size());
}

TEST(EngineEnd, UnusableVolumeOrFolderStillSendsTheEnd) {
  TempDir dir;
  CardImage card(64 * 1024);
  card.place(0, make_test_file('J', 5000, "", 0, 1));
  card.save(dir / "card.img");
  write_file(dir / "plain", {1});
  const std::string long_folder = dir / std::string(230, 'x');
  struct Case {
    std::string folder, volume, message;
  } cases[] = {
      {dir / "tmp", dir / "no-such.img", "no-such.img"},
      {dir / "plain/tmp", dir / "card.img", "plain"},  // a file where a parent folder should be
      {long_folder, dir / "card.img", "too long"},     // carved names would pass 259 characters
  };
  for (const Case& c : cases) {
    EngineRun run = run_engine(kExe, engine_args(c.folder, c.volume, kAll));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    ASSERT_EQ(run.messages.size(), 1u) << c.message;
    EXPECT_TRUE(run.messages[0].end);
    EXPECT_TRUE(files_below(c.folder).empty());
  }
}

TEST(EngineEnd, WithoutChannelPrintsSummary) {
  TempDir dir;
  CardImage card(1 << 20);
  card.place(0, make_test_file('J', 5000, "", 0, 1));
  card.place(8192, make_test_file('A', 5000, "", 0, 2));
  card.place(16384, make_test_file('A', 5000, "", 0, 3));
  card.save(dir / "card.img");
  RunOptions opts;
  opts.channel = false;
  EngineRun run = run_engine(kExe, engine_args(dir / "tmp", dir / "card.img", kAll), opts);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.channel_bytes, 0u);
  EXPECT_NE(run.err.find("jpg: 1 files"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("mp3: 2 files"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("MB/s"), std::string::npos) << run.err;
  EXPECT_EQ(files_below(dir / "tmp").size(), 3u);
}
