// The volume layout read from images made by Debian's mkfs.fat and mkfs.exfat: the
// cluster size, where clusters lie (checked against where mtools and the fragment
// placer put files) and which clusters are taken.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "engine_process.h"
#include "placed_manifest.h"
#include "volume_layout.h"

using namespace kes_test;

namespace {

bool run(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

std::string output_of(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// An image file read in place, behind `head` (a whole card's first MiB, with its MBR).
class ImageSource : public kes::ByteSource {
 public:
  ImageSource(const std::string& path, std::vector<uint8_t> head) : fd_(open(path.c_str(), O_RDONLY)), head_(std::move(head)) {
    size_ = head_.size() + static_cast<uint64_t>(lseek(fd_, 0, SEEK_END));
  }
  ~ImageSource() override { close(fd_); }
  uint64_t size() const override { return size_; }
  size_t read_at(uint64_t off, void* dst, size_t n) override {
    if (off < head_.size()) {
      n = std::min<size_t>(n, head_.size() - off);
      std::memcpy(dst, head_.data() + off, n);
      return n;
    }
    ssize_t got = pread(fd_, dst, n, static_cast<off_t>(off - head_.size()));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  int fd_;
  std::vector<uint8_t> head_;
  uint64_t size_ = 0;
};

struct Case {
  const char* make;  // {} stands for the image path
  const char* kind;
  uint64_t cluster;
  bool fat;       // mtools can write into it
  bool behind_mbr;
};

std::string with_path(std::string command, const std::string& path) {
  return command.replace(command.find("{}"), 2, path);
}

}  // namespace

TEST(VolumeLayout, ReadFromFatAndExfatBootSectors) {
  if (!run("command -v mkfs.fat && command -v mkfs.exfat && command -v mcopy")) GTEST_SKIP() << "no dosfstools";
  const Case cases[] = {
      {"mkfs.fat -F 12 -s 1 -C {} 1440", "FAT12", 512, true, false},
      {"mkfs.fat -F 12 -s 8 -C {} 8192", "FAT12", 4096, true, false},
      {"mkfs.fat -F 16 -s 4 -C {} 32768", "FAT16", 2048, true, false},
      {"mkfs.fat -F 16 -s 64 -C {} 131072", "FAT16", 32768, true, false},
      {"mkfs.fat -F 32 -s 1 -C {} 40000", "FAT32", 512, true, false},
      {"mkfs.fat -F 32 -s 8 -C {} 300000", "FAT32", 4096, true, false},
      {"mkfs.fat -F 16 -s 4 -C {} 32768", "FAT16", 2048, true, true},
      {"truncate -s 16M {} && mkfs.exfat -c 4K {}", "exFAT", 4096, false, false},
      {"truncate -s 64M {} && mkfs.exfat -c 32K {}", "exFAT", 32768, false, false},
      {"truncate -s 64M {} && mkfs.exfat -c 128K {}", "exFAT", 131072, false, true},
  };
  const std::string placer = std::string(KES_SOURCE_DIR) + "/tools/place-fragments.py";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.make);
    TempDir dir;
    const std::string img = dir / "v.img";
    std::string make = c.make;
    while (make.find("{}") != std::string::npos) make = with_path(make, img);
    ASSERT_TRUE(run(make));
    // Files in pieces, some listed, some deleted; for FAT also one copied by mtools.
    write_file(dir / "a.bin", std::vector<uint8_t>(c.cluster * 5 + 100, 0xA1));
    write_file(dir / "b.bin", std::vector<uint8_t>(c.cluster * 4, 0xB2));
    write_file(dir / "m.bin", std::vector<uint8_t>(c.cluster + 7, 0x3C));
    if (c.fat) ASSERT_TRUE(run("mcopy -i " + img + " " + (dir / "m.bin") + " ::/M.BIN"));
    ASSERT_TRUE(run("python3 " + placer + " --seed 3 " + img + " " + (dir / "m.tsv") + " " + (dir / "a.bin") +
                    ":3:1 " + (dir / "b.bin") + ":3:0"));
    std::vector<uint8_t> mbr;
    if (c.behind_mbr) {  // the volume as the first partition of a whole card
      mbr.assign(2048 * 512, 0);
      mbr[446 + 4] = 0x0C;
      mbr[446 + 9] = 2048 >> 8;
      mbr[510] = 0x55;
      mbr[511] = 0xAA;
    }
    const uint64_t base = mbr.size();
    ImageSource src(img, mbr);
    const kes::VolumeLayout layout = kes::read_volume_layout(src);
    ASSERT_TRUE(layout.known());
    EXPECT_STREQ(layout.kind(), c.kind);
    EXPECT_EQ(layout.cluster_bytes(), c.cluster);
    ASSERT_TRUE(layout.has_allocation());
    for (const PlacedFile& p : read_placed_manifest(dir / "m.tsv"))
      for (auto [offset, length] : p.extents) {
        EXPECT_TRUE(layout.at_cluster_start(base + offset));
        for (uint64_t at = 0; at < length; at += c.cluster)
          EXPECT_EQ(layout.taken(layout.cluster_at(base + offset + at)), !p.deleted) << offset + at;
      }
    if (c.fat) {  // mtools' own cluster number for its file: "::/M.BIN <3-4>"
      const std::string chain = output_of("mshowfat -i " + img + " ::/M.BIN");
      const uint64_t first = std::stoull(chain.substr(chain.find('<') + 1));
      const uint64_t at = layout.cluster_offset(first - 2);
      uint8_t marker = 0;
      EXPECT_EQ(src.read_at(at, &marker, 1), 1u);
      EXPECT_EQ(marker, 0x3C);
      EXPECT_TRUE(layout.taken(first - 2));
      EXPECT_TRUE(layout.taken(first - 1));
    }
    EXPECT_FALSE(layout.taken(layout.clusters() - 1));  // the far end stays free
  }
}

TEST(VolumeLayout, GuessedFromFileStartsOnlyWhenNearlyAllAgree) {
  std::vector<uint64_t> starts;
  for (uint64_t i = 0; i < 16; ++i) starts.push_back(1000448 + (i * 7 + 3) * 4096);
  kes::VolumeLayout guess = kes::layout_from_starts(starts, 1u << 30);
  ASSERT_TRUE(guess.known());
  EXPECT_EQ(guess.cluster_bytes(), 4096u);
  EXPECT_TRUE(guess.at_cluster_start(1000448));
  starts.push_back(1000448 + 512);  // one stray start among many
  EXPECT_EQ(kes::layout_from_starts(starts, 1u << 30).cluster_bytes(), 4096u);
  for (uint64_t i = 0; i < 8; ++i) starts.push_back(1000448 + i * 4096 + 1536);  // no common unit
  EXPECT_FALSE(kes::layout_from_starts(starts, 1u << 30).known());
  EXPECT_FALSE(kes::layout_from_starts({0, 4096, 8192}, 1u << 30).known());  // too few
}
