// The end-to-end card tests' helpers: images made by Debian's mkfs tools with samples
// written into them by the fragment placer (tools/place-fragments.py), and the files the
// engine wrote from them.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine_process.h"
#include "formats/samples.h"
#include "placed_manifest.h"

namespace kes::test {

inline bool run(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

// A command with {} standing for the image path.
inline std::string with_image(std::string command, const std::string& image) {
  for (size_t at; (at = command.find("{}")) != std::string::npos;) command.replace(at, 2, image);
  return command;
}

struct Planned {
  const char* sample;
  int pieces;
  bool listed;
};

struct Original {
  Bytes bytes;
  bool deleted = false;
  int pieces = 1;
  std::vector<std::pair<uint64_t, uint64_t>> extents;  // medium offset, length
  uint64_t first() const { return extents.empty() ? 0 : extents[0].second; }
  // The shortest piece between the first and the last.
  uint64_t shortest_middle() const {
    uint64_t n = UINT64_MAX;
    for (size_t i = 1; i + 1 < extents.size(); ++i) n = std::min(n, extents[i].second);
    return n;
  }
};

// Places the plan's samples on the image, from the first free cluster at or past `at`,
// pairs interleaved cluster-wise, and reads back where their pieces went.
inline std::map<std::string, Original> place(const std::string& dir, const std::string& img,
                                             const std::vector<Planned>& plan, int seed, uint64_t at = 0) {
  std::string cmd = "python3 " + std::string(KES_SOURCE_DIR) + "/tools/place-fragments.py --seed " +
                    std::to_string(seed) + " --at " + std::to_string(at) + " " + img + " " + dir + "/m.tsv";
  for (const Planned& p : plan)
    cmd += " " + std::string(KES_MEDIA_DIR) + "/" + p.sample + ":" + std::to_string(p.pieces) + ":" + (p.listed ? "1" : "0");
  EXPECT_TRUE(run(cmd)) << cmd;
  std::map<std::string, Original> out;
  for (const PlacedFile& f : read_placed_manifest(dir + "/m.tsv"))
    out[f.name] = Original{sample(f.name), f.deleted, f.pieces, f.extents};
  return out;
}

// The files a run wrote, in the order it reported them.
inline std::vector<Bytes> written(const kes_test::EngineRun& r) {
  std::vector<Bytes> out;
  for (const kes_test::Message& m : r.messages)
    if (!m.end && m.report.file_path[0]) out.push_back(kes_test::read_file(m.report.file_path));
  return out;
}

inline bool is_prefix(const Bytes& part, const Bytes& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Nothing written holds a byte that is not its original's: each file is the start of one.
inline void expect_no_foreign_bytes(const std::vector<Bytes>& files, const std::map<std::string, Original>& originals) {
  for (const Bytes& f : files) {
    bool clean = false;
    for (const auto& entry : originals) clean = clean || is_prefix(f, entry.second.bytes);
    EXPECT_TRUE(clean) << "a written file of " << f.size() << " bytes holds bytes of no original at their place";
  }
}

}  // namespace kes::test
