// Units of the core that the process tests reach only with difficulty.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <random>
#include "chunk_stream.h"
#include "command_line.h"
#include "file_naming.h"
#include "measure_pool.h"
#include "spliced_source.h"

namespace {

// A medium in memory with an unreadable area, counting the bytes read from it; with
// `removed`, the medium is lost once a read reaches the area.
class MemoryDevice : public kes::RawDevice {
 public:
  MemoryDevice(size_t size, uint64_t bad_from, uint64_t bad_to, bool removed = false)
      : bytes_(size), bad_from_(bad_from), bad_to_(bad_to), removed_(removed) {
    std::mt19937 rng(7);
    for (auto& b : bytes_) b = static_cast<uint8_t>(rng());
  }
  uint64_t size() const override { return bytes_.size(); }
  size_t read(uint64_t off, void* dst, size_t n) override {
    EXPECT_EQ(off % kes::kIoAlign, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(dst) % kes::kIoAlign, 0u);
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_;
    if (off >= lost_at()) ++reads_after_loss_;
    size_t got = 0;
    while (got < n && off + got < bytes_.size()) {
      if (off + got >= bad_from_ && off + got < bad_to_) {
        if (removed_) mark_lost(off + got);
        break;
      }
      static_cast<uint8_t*>(dst)[got] = bytes_[off + got];
      ++got;
    }
    read_bytes_ += got;
    return got;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint64_t read_bytes() const { return read_bytes_; }
  uint64_t reads() const { return reads_; }
  uint64_t reads_after_loss() const { return reads_after_loss_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bad_from_, bad_to_;
  bool removed_;
  std::mutex mutex_;
  uint64_t read_bytes_ = 0, reads_ = 0, reads_after_loss_ = 0;
};

std::vector<uint8_t> expected_range(const MemoryDevice& dev, uint64_t off, size_t n, uint64_t bad_from, uint64_t bad_to) {
  std::vector<uint8_t> out(dev.bytes().begin() + off, dev.bytes().begin() + off + n);
  for (size_t i = 0; i < n; ++i)
    if (off + i >= bad_from && off + i < bad_to) out[i] = 0;
  return out;
}

}  // namespace

TEST(ChunkStream, ChunksAndMeasureReadsMatchTheMediumWithBadAreaZeroed) {
  const uint64_t bad_from = 40960 + 4096, bad_to = 40960 + 8192;  // one unreadable 4 KiB block
  MemoryDevice dev(100000, bad_from, bad_to);  // not a whole number of chunks or sectors
  kes::ChunkStream stream(dev, 16384, 3);
  // reads ahead of the window, across chunks, and (later) behind it
  std::vector<uint8_t> got(30000);
  const kes::Chunk* first = stream.acquire(0);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(stream.read(10000, got.data(), got.size()), got.size());
  EXPECT_EQ(got, expected_range(dev, 10000, got.size(), bad_from, bad_to));
  ASSERT_EQ(stream.read(60000, got.data(), got.size()), got.size());
  EXPECT_EQ(got, expected_range(dev, 60000, got.size(), bad_from, bad_to));
  EXPECT_EQ(stream.acquire(3), nullptr);  // beyond the window of three chunks
  for (uint64_t i = 0; i < 7; ++i) {
    stream.release_below(i);
    const kes::Chunk* c = stream.acquire(i);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->offset, i * 16384);
    std::vector<uint8_t> data(c->data, c->data + c->length);
    EXPECT_EQ(data, expected_range(dev, c->offset, c->length, bad_from, bad_to));
    // the tail of the last chunk up to the next sector reads as zeros
    if (i == 6) {
      EXPECT_EQ(c->length, 100000u - 6 * 16384);
      for (size_t k = c->length; k < (c->length + 511) / 512 * 512; ++k) ASSERT_EQ(c->data[k], 0);
    }
  }
  stream.release_below(7);
  EXPECT_EQ(stream.acquire(7), nullptr);
  ASSERT_EQ(stream.read(1000, got.data(), 5000), 5000u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 5000, dev.bytes().begin() + 1000));
  EXPECT_EQ(stream.read(99000, got.data(), 5000), 1000u);  // stops at the end of the medium
  EXPECT_EQ(stream.unreadable_bytes() % 4096, 0u);
  EXPECT_GE(stream.unreadable_bytes(), 4096u);
}

TEST(ChunkStream, SkippingAheadDoesNotReadTheSkippedChunks) {
  MemoryDevice dev(80 * 16384, 0, 0);
  {
    kes::ChunkStream stream(dev, 16384, 2);
    ASSERT_NE(stream.acquire(0), nullptr);
    stream.release_below(60);
    const kes::Chunk* c = stream.acquire(60);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->data[5], dev.bytes()[60 * 16384 + 5]);
    stream.release_below(63);
    ASSERT_NE(stream.acquire(63), nullptr);
    EXPECT_LE(dev.read_bytes(), 12u * 16384);
    // a long read behind the held chunk goes to the device in large pieces
    std::vector<uint8_t> got(70 * 16384);
    ASSERT_EQ(stream.read(100, got.data(), got.size()), got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), dev.bytes().begin() + 100));
  }
}

// The prober's pin: a chunk beyond the window is waited for, a released one gives way to
// the first held chunk, and a pinned chunk keeps its bytes after the scan released it.
TEST(ChunkStream, APinnedChunkWaitsForTheWindowAndKeepsItsBytesOnceReleased) {
  MemoryDevice dev(40 * 16384, 0, 0);
  kes::ChunkStream stream(dev, 16384, 2);
  std::atomic<const kes::Chunk*> ahead{nullptr};
  std::thread prober([&] { ahead = stream.pin(3); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ahead.load(), nullptr);  // chunks 0 and 1 are held
  stream.release_below(2);
  prober.join();
  ASSERT_NE(ahead.load(), nullptr);
  const kes::Chunk& pinned = *ahead.load();
  EXPECT_EQ(pinned.offset, 3u * 16384);
  stream.release_below(10);  // chunk 11 would go into the pinned chunk's buffer
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(std::equal(pinned.data, pinned.data + pinned.length, dev.bytes().begin() + 3 * 16384));
  stream.unpin();
  const kes::Chunk* held = stream.pin(4);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->offset, 10u * 16384);
  stream.unpin();
  stream.release_below(40);
  EXPECT_EQ(stream.pin(39), nullptr);  // past the end
}

// A bad area is skipped at a bounded cost and the medium after it is read again; a lost
// medium is not asked for anything past the point where it went.
TEST(ChunkStream, BadAreasAreSkippedCheaplyAndALostMediumIsNotAskedAgain) {
  constexpr uint64_t kMiB = 1 << 20;
  struct Case {
    const char* what;
    uint64_t bad_from, bad_to;
    bool removed;
    uint64_t good_again;  // from here on the bytes are the medium's again
    uint64_t max_reads;
  } cases[] = {
      {"a bad block", 3 * kMiB + 8192, 3 * kMiB + 12288, false, 3 * kMiB + 12288, 200},
      {"a long bad area", 2 * kMiB + 4096, 9 * kMiB + 4096, false, 10 * kMiB, 700},
      {"bad to the end", 5 * kMiB, 16 * kMiB, false, 16 * kMiB, 700},
      {"removed", 5 * kMiB + 4096, 16 * kMiB, true, 16 * kMiB, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryDevice dev(16 * kMiB, c.bad_from, c.bad_to, c.removed);
    kes::ChunkStream stream(dev, 256 * 1024, 4);
    for (uint64_t i = 0; i < 64; ++i) {
      stream.release_below(i);
      const kes::Chunk* chunk = stream.acquire(i);
      ASSERT_NE(chunk, nullptr);
      for (size_t k = 0; k < chunk->length; ++k) {
        const uint64_t at = chunk->offset + k;
        if (at < c.bad_from || at >= c.good_again) ASSERT_EQ(chunk->data[k], dev.bytes()[at]) << at;
        if (at >= c.bad_from && at < c.bad_to) ASSERT_EQ(chunk->data[k], 0) << at;
      }
    }
    EXPECT_GE(stream.unreadable_bytes(), c.bad_to - c.bad_from);
    EXPECT_LE(stream.unreadable_bytes(), c.good_again - c.bad_from);
    EXPECT_LE(dev.reads(), c.max_reads);
    // Measures behind the window read the lost part as zeros without asking the medium.
    std::vector<uint8_t> got(std::min<uint64_t>(100000, c.bad_to - c.bad_from));
    ASSERT_EQ(stream.read(c.bad_from, got.data(), got.size()), got.size());
    EXPECT_EQ(got, std::vector<uint8_t>(got.size(), 0));
    EXPECT_EQ(dev.reads_after_loss(), 0u);
    EXPECT_EQ(dev.lost_at(), c.removed ? c.bad_from : UINT64_MAX);
  }
}

// What a file's sources say lies on the medium in one run is the medium's bytes there:
// verdicts on medium places are kept for every splice on that ground. A run across
// pieces, or over a control's noise, lies nowhere.
TEST(SplicedSource, TheMediumPlacesItGivesHoldItsBytes) {
  MemoryDevice dev(200000, 0, 0);
  kes::ChunkStream stream(dev, 16384, 4);
  kes::StreamSource medium(stream);
  kes::Pieces pieces;
  pieces.add(150000, 20000);
  pieces.add(4096, 30000);
  pieces.add(90000, 12288);
  kes::SplicedSource file(medium, pieces);
  kes::NoiseIn noisy(file, 21000, 23000);
  std::mt19937 rng(3);
  int placed = 0;
  for (int i = 0; i < 2000; ++i) {
    const uint64_t n = 1 + rng() % 6000, off = rng() % (file.size() - n);
    for (kes::ByteSource* src : {static_cast<kes::ByteSource*>(&file), static_cast<kes::ByteSource*>(&noisy)}) {
      const uint64_t at = src->medium_offset(off, n);
      const bool noise = src == &noisy && off < 23000 && off + n > 21000;
      const bool one_run = (off + n <= 20000) || (off >= 20000 && off + n <= 50000) || off >= 50000;
      ASSERT_EQ(at != UINT64_MAX, one_run && !noise) << off << " " << n;
      if (at == UINT64_MAX) continue;
      std::vector<uint8_t> got(n);
      ASSERT_EQ(src->read_at(off, got.data(), n), n);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), dev.bytes().begin() + at)) << off << " " << n;
      ++placed;
    }
  }
  EXPECT_GT(placed, 1000);
}

// An image that shrinks under the engine reads as a medium that was removed there.
TEST(PosixDevice, AnImageCutShortIsLostWhereItNowEnds) {
  char path[] = "/tmp/kes_cut_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 1 << 20), 0);
  std::string error;
  std::unique_ptr<kes::RawDevice> dev = kes::open_device(path, &error);
  ASSERT_NE(dev, nullptr) << error;
  ASSERT_EQ(ftruncate(fd, 256 * 1024), 0);
  void* buffer = kes::alloc_aligned(65536);
  EXPECT_EQ(dev->read(128 * 1024, buffer, 65536), 65536u);
  EXPECT_EQ(dev->lost_at(), UINT64_MAX);
  EXPECT_EQ(dev->read(224 * 1024, buffer, 65536), 32768u);
  EXPECT_EQ(dev->lost_at(), 256u * 1024);
  kes::free_aligned(buffer);
  close(fd);
  unlink(path);
}

TEST(CommandLineOptions, EnableDisableAndUnknownTokens) {
  kes::CommandLine cl;
  std::string error;
  const char* argv[] = {"client.exe", "/d", "C:\\cache\\tmp", "/cmd", "\\\\?\\Volume{x}",
                        "fileopt,everything,disable,jpg,enable,TiVo,enable,odd,png,enable,png,disable,search"};
  ASSERT_TRUE(kes::parse_command_line(6, argv, &cl, &error)) << error;
  EXPECT_EQ(cl.folder, "C:\\cache\\tmp");
  EXPECT_EQ(cl.volume, "\\\\?\\Volume{x}");
  EXPECT_EQ(cl.enabled, (std::vector<std::string>{"jpg", "TiVo"}));
  const char* none[] = {"client.exe", "/d", "f", "/cmd", "v", "fileopt,everything,disable,search"};
  ASSERT_TRUE(kes::parse_command_line(6, none, &cl, &error));
  EXPECT_TRUE(cl.enabled.empty());
  EXPECT_FALSE(kes::option_enabled(cl, "jpg"));
  // "everything,enable" switches every option on; later ones off again, in order.
  const char* all[] = {"client.exe", "/d", "f", "/cmd", "v", "fileopt,everything,enable,PNG,disable,tif,disable,tif,enable,search"};
  ASSERT_TRUE(kes::parse_command_line(6, all, &cl, &error));
  EXPECT_TRUE(kes::option_enabled(cl, "jpg"));
  EXPECT_TRUE(kes::option_enabled(cl, "TiVo"));
  EXPECT_TRUE(kes::option_enabled(cl, "tif"));
  EXPECT_FALSE(kes::option_enabled(cl, "png"));
  const char* again[] = {"client.exe", "/d", "f", "/cmd", "v", "fileopt,everything,enable,everything,disable,mp3,enable,search"};
  ASSERT_TRUE(kes::parse_command_line(6, again, &cl, &error));
  EXPECT_TRUE(kes::option_enabled(cl, "mp3"));
  EXPECT_FALSE(kes::option_enabled(cl, "jpg"));
}

// What the program builds for every choice of kinds is what the engine reads back: the
// kinds' search options in video, photo, audio order, each once (some are both video
// and audio).
TEST(CommandLineOptions, TheProgramsOptionsReadBackAsTheWantedKinds) {
  for (int kinds = 0; kinds < 8; ++kinds) {
    const bool photo = kinds & 1, video = kinds & 2, audio = kinds & 4;
    std::vector<std::string> wanted;
    auto want = [&](const auto& table) {
      for (const char* option : table)
        if (std::find(wanted.begin(), wanted.end(), option) == wanted.end()) wanted.push_back(option);
    };
    if (video) want(kestrune::kVideoSearch);
    if (photo) want(kestrune::kPhotoSearch);
    if (audio) want(kestrune::kAudioSearch);
    const std::string options = kestrune::build_search_options(photo, video, audio);
    const char* argv[] = {"client.exe", "/d", "C:\\c\\tmp", "/cmd", "E:", options.c_str()};
    kes::CommandLine cl;
    std::string error;
    ASSERT_TRUE(kes::parse_command_line(6, argv, &cl, &error)) << options;
    EXPECT_EQ(cl.enabled, wanted) << options;
    size_t shared = 0;  // options of both video and audio
    for (const char* option : kestrune::kAudioSearch)
      shared += video && audio && std::count(std::begin(kestrune::kVideoSearch), std::end(kestrune::kVideoSearch),
                                              std::string(option));
    EXPECT_EQ(cl.enabled.size(), (video ? std::size(kestrune::kVideoSearch) : 0) +
                                     (photo ? std::size(kestrune::kPhotoSearch) : 0) +
                                     (audio ? std::size(kestrune::kAudioSearch) : 0) - shared);
  }
}

TEST(CarveExtension, ContentExtensionOnlyWhenTheApplicationSortsItAlike) {
  auto carve_with = [](const char* ext) {
    kes::Carve c;
    std::strncpy(c.ext, ext, sizeof c.ext);
    return c;
  };
  kes::Format tif{"tif", kes::Kind::photo, 4, nullptr, nullptr, 1};
  kes::Format riff{"riff", kes::Kind::video, 4, nullptr, nullptr, 1};
  EXPECT_EQ(kes::carve_extension(tif, carve_with("cr2")), "cr2");
  EXPECT_EQ(kes::carve_extension(tif, carve_with("DNG")), "DNG");
  EXPECT_EQ(kes::carve_extension(tif, carve_with("mp4")), "tif");  // a video under a photo option
  EXPECT_EQ(kes::carve_extension(tif, carve_with("")), "tif");
  EXPECT_EQ(kes::carve_extension(riff, carve_with("wav")), "wav");  // riff is audio as well as video
  EXPECT_EQ(kes::carve_extension(riff, carve_with("avi")), "avi");
  kes::Format mov{"mov", kes::Kind::video, 4, nullptr, nullptr, 1};
  EXPECT_EQ(kes::carve_extension(mov, carve_with("m4a")), "m4a");  // a movie's container with sound alone
  EXPECT_EQ(kes::carve_extension(mov, carve_with("jpg")), "mov");
  EXPECT_EQ(kes::carve_extension(tif, carve_with("tiffxxxxx")), "tif");  // 8 bytes, no NUL
}

namespace {
std::atomic<int> g_measured{0};
}  // namespace

TEST(MeasurePool, HitsInsideAFoundFileAreNotMeasured) {
  const kes::Format counting{"t", kes::Kind::video, 4, [](const uint8_t*) { return true; },
                             [](kes::ByteSource&, uint64_t, uint64_t) {
                               ++g_measured;
                               kes::Carve c;
                               c.verdict = kes::Verdict::complete;
                               c.length = 512;
                               return c;
                             },
                             1 << 20};
  std::vector<uint8_t> medium(4096);
  kes::MemorySource src(medium.data(), medium.size());
  kes::MeasurePool pool(src, 2);
  pool.covered_to(1024);
  kes::Candidate hits[3];
  for (int i = 0; i < 3; ++i) {
    hits[i].pos = 512 * (i + 1);
    hits[i].hits[0] = &counting;
    hits[i].count = 1;
    pool.submit(&hits[i]);
  }
  for (kes::Candidate& c : hits) pool.wait(&c);
  EXPECT_EQ(g_measured.load(), 2);
  EXPECT_EQ(hits[0].format, nullptr);
  EXPECT_EQ(hits[1].format, &counting);
}

// A search and the scan reaching the same file at once: one measures, the other waits
// for that measure, and both see it.
TEST(FileEnds, AFileIsMeasuredOnceWhoeverAsksFirst) {
  kes::FileEnds ends;
  const kes::Format f{"t", kes::Kind::video, 4, nullptr, nullptr, 1};
  std::atomic<int> taken{0};
  auto take = [&] {
    ++taken;
    usleep(50 * 1000);  // long enough for every other thread to arrive meanwhile
    kes::Measured m;
    m.format = &f;
    m.carve.verdict = kes::Verdict::complete;
    m.carve.length = 4096;
    return m;
  };
  std::vector<std::thread> askers;
  std::atomic<int> seen{0};
  for (int i = 0; i < 4; ++i)
    askers.emplace_back([&] { seen += ends.measure(8192, take).carve.length == 4096; });
  for (std::thread& t : askers) t.join();
  EXPECT_EQ(taken.load(), 1);
  EXPECT_EQ(seen.load(), 4);
  uint64_t end = 0;
  bool measured = false;
  ASSERT_TRUE(ends.find(8192, &end, &measured));
  EXPECT_EQ(end, 8192u + 4096u);
  EXPECT_TRUE(measured);
}
