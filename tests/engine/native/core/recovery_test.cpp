// End to end through the real engine and its real formats: photos made by ImageMagick
// (one with an EXIF thumbnail from exiftool) placed in an image among noise, carved
// back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include "card_image.h"
#include "engine_process.h"

namespace fs = std::filesystem;
using namespace kes_test;

namespace {

bool run_tool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

TEST(EngineRecovery, GeneratedPhotosComeBackByteExact) {
  if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const std::vector<std::string> made = {"a.jpg", "b.jpg", "c.png", "d.png", "e.gif"};
  for (size_t i = 0; i < made.size(); ++i) {
    std::string cmd = "/usr/bin/convert -size " + std::to_string(320 + 64 * i) + "x240 -seed " +
                      std::to_string(i + 1) + " plasma:fractal " + (dir / made[i]);
    ASSERT_TRUE(run_tool(cmd)) << cmd;
  }
  if (fs::exists("/usr/bin/exiftool")) {
    ASSERT_TRUE(run_tool("/usr/bin/convert " + (dir / "a.jpg") + " -resize 80x60 " + (dir / "t.jpg")));
    ASSERT_TRUE(run_tool("/usr/bin/exiftool -q -overwrite_original -Make=Orvalin '-ThumbnailImage<=" +
                         (dir / "t.jpg") + "' " + (dir / "a.jpg")));
  }
  CardImage card(8 << 20);
  std::mt19937 rng(5);
  std::vector<uint8_t> noise(8 << 20);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  card.put(0, noise.data(), noise.size());
  uint64_t at = 4096;
  for (const std::string& name : made) {
    std::vector<uint8_t> bytes = read_file(dir / name);
    ASSERT_FALSE(bytes.empty());
    card.place(at, bytes, name != "e.gif");  // gif is not asked for
    at = (at + bytes.size() + 3 * 512 + 511) / 512 * 512;
  }
  card.save(dir / "card.img");
  EngineRun run = run_engine(KESSRV_EXE, {"/d", dir / "tmp", "/cmd", dir / "card.img",
                                          "fileopt,everything,disable,jpg,enable,png,enable,mov,enable,search"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::vector<uint8_t>> found;
  for (const Message& m : run.messages)
    if (!m.end && m.report.file_path[0]) found.push_back(read_file(m.report.file_path));
  EXPECT_EQ(found.size(), card.expected().size());
  for (const auto& original : card.expected())
    EXPECT_NE(std::find(found.begin(), found.end(), original), found.end()) << original.size() << " bytes lost";
}
