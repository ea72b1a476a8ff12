#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "kestrune_contract.h"

#include "formats/samples.h"
#include "formats/synthetic.h"

namespace kes::test {
namespace {

// Every option the program sends is one the engine serves, under the kind the program
// asks for it, and the engine serves nothing the program never sends. One option has no
// published signature to find its files by.
TEST(Registry, ServesEveryOptionTheProgramSends) {
  const std::set<std::string> unserved = {"all"};
  std::map<std::string, unsigned> kinds;  // option -> bit (1 << kind) per table holding it
  auto add = [&](const auto& options, Kind kind) {
    for (const char* o : options) kinds[o] |= 1u << static_cast<unsigned>(kind);
  };
  add(kestrune::kVideoSearch, Kind::video);
  add(kestrune::kPhotoSearch, Kind::photo);
  add(kestrune::kAudioSearch, Kind::audio);
  for (const auto& [option, bits] : kinds) {
    SCOPED_TRACE(option);
    const Format* f = find_format(option.c_str());
    if (unserved.count(option)) {
      EXPECT_EQ(f, nullptr);
      continue;
    }
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, option.c_str());
    EXPECT_TRUE(bits & (1u << static_cast<unsigned>(f->kind)));
  }
  size_t n = 0;
  const Format* table = format_table(&n);
  EXPECT_EQ(n, kinds.size() - unserved.size());
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(find_format(table[i].name), &table[i]);
    EXPECT_LE(table[i].probe_bytes, 512u);
    EXPECT_GT(table[i].max_length, 0u);
  }
  EXPECT_EQ(find_format("wma"), nullptr);
  EXPECT_EQ(find_format(nullptr), nullptr);
}

TEST(Registry, NoiseAndZerosNeverCarve) {
  size_t n = 0;
  const Format* table = format_table(&n);
  for (bool zeros : {false, true}) {
    Card card(zeros ? 64 * 1024 : 6 * 1024 * 1024, zeros, 1234);
    for (size_t i = 0; i < n; ++i) {
      int probed = 0;
      for (uint64_t off = 0; off + 512 <= card.data.size(); off += 512) {
        if (!probes(table[i], card.data, off)) continue;
        ++probed;
        Carve c = measure(table[i], card.data, off);
        EXPECT_NE(c.verdict, Verdict::complete) << table[i].name << " at " << off;
      }
      EXPECT_LE(probed, 2) << table[i].name;
    }
  }
}

TEST(Registry, OverwrittenFirstSectorHidesEveryFile) {
  std::vector<Bytes> files = {make_nef(), make_cr2(), make_orf(), make_rw2(true), make_raf(),
                              make_x3f(),  make_mrw(), make_crw()};
  for (const auto& entry : std::filesystem::directory_iterator(KES_MEDIA_DIR))
    if (entry.path().filename().string()[0] != '.') files.push_back(sample(entry.path().filename().string()));
  size_t n = 0;
  const Format* table = format_table(&n);
  for (const Bytes& original : files) {
    for (bool zeros : {true, false}) {
      Bytes file = original;
      Bytes cover = zeros ? Bytes(512) : noise(512, static_cast<uint32_t>(file.size()));
      std::copy(cover.begin(), cover.begin() + std::min<size_t>(512, file.size()), file.begin());
      for (size_t i = 0; i < n; ++i) EXPECT_FALSE(probes(table[i], file, 0)) << table[i].name;
    }
  }
}

TEST(Registry, EveryOptionIsAnExtensionOfItsKind) {
  // The application sorts what the engine writes by extension: each format's name must
  // sort into the format's kind.
  const std::set<std::string> kinds[] = {
      {"nef", "cr2", "dcr", "pef", "arw", "sr2", "tiff", "jng", "tif", "dsc", "raf", "x3f",
       "orf", "rw2", "crw", "mrw", "png", "gif", "bmp", "jpg", "ico", "psd", "heif", "mng", "dng",
       "cr3", "heic", "avif"},
      {"3ds", "3g2", "3gp", "aep", "ani", "wmv", "avi", "fla", "m2t", "m3u", "mp4",
       "pvp", "ram", "swc", "tod", "webm", "max", "mov", "riff", "asf", "flv", "dpx",
       "dv", "fcp", "ifo", "m2ts", "mkv", "mpg", "rm", "swf", "TiVo"},
      {"aif", "all", "als", "ape", "wma", "cda", "cpr", "cue", "ogm", "wav", "xrns",
       "wpl", "asf", "au", "caf", "riff", "flac", "gp5", "ds2", "dss", "flp", "it",
       "mid", "mp3", "mus", "ogg", "ra", "rns", "ses", "sib", "wv", "xm", "wtv"},
  };
  size_t n = 0;
  const Format* table = format_table(&n);
  for (size_t i = 0; i < n; ++i)
    EXPECT_TRUE(kinds[static_cast<int>(table[i].kind)].count(table[i].name)) << table[i].name;
}

}  // namespace
}  // namespace kes::test
