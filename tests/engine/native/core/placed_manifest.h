// The lines tools/place-fragments.py appends to its manifest: name, format, bytes, sha256,
// deleted, contiguous, pieces, and the pieces' medium offsets as start+length,...
#pragma once
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct PlacedFile {
  std::string name;
  bool deleted = false;
  int pieces = 0;
  std::vector<std::pair<uint64_t, uint64_t>> extents;  // medium offset, length
};

inline std::vector<PlacedFile> read_placed_manifest(const std::string& path) {
  std::vector<PlacedFile> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() < 8) continue;
    PlacedFile p{f[0], f[4] == "1", std::stoi(f[6]), {}};
    std::stringstream ex(f[7]);
    for (std::string e; std::getline(ex, e, ',');)
      p.extents.emplace_back(std::stoull(e.substr(0, e.find('+'))), std::stoull(e.substr(e.find('+') + 1)));
    out.push_back(p);
  }
  return out;
}
