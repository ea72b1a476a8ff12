// Shared helpers of the format tests: samples on disk, a simulated card, carving.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "format.h"

namespace kes::test {

using Bytes = std::vector<uint8_t>;

// A generated sample from the media folder; fails the test when it is missing.
Bytes sample(const std::string& name);
Bytes noise(size_t n, uint32_t seed);

// A card image: noise (or zeros) with files placed at chosen offsets.
struct Card {
  Bytes data;
  explicit Card(size_t size, bool zeros = false, uint32_t seed = 7);
  void put(uint64_t offset, const Bytes& file);
};

// Probes the format at offset like the engine does, then measures.
bool probes(const Format& f, const Bytes& data, uint64_t offset);
Carve measure(const Format& f, const Bytes& data, uint64_t offset);
const Format& fmt(const char* option);
std::string ext_of(const Carve& c);

// Places the file at a sector offset inside noise and expects an exact, complete carve.
void expect_exact(const char* option, const Bytes& file, const char* ext);

// A sample of a stream format and how far past the start of foreign data its measure
// may still reach: streams without a checksum cannot tell where the payload of their
// last packet stops being their own (0: not at all; SIZE_MAX: not tried).
struct StreamSample {
  const char* option;
  Bytes file;
  const char* ext;
  size_t blind;
};
// Cut by the medium: truncated at the cut. Foreign data from a sector two thirds in on:
// ended at it (or within the blind span), and never complete without a blind span.
// Another format's header in place of the file's: not probed, corrupt.
void expect_damage_handled(const StreamSample& s);

// Little writers for the synthetic containers.
void put16le(Bytes& b, size_t at, uint16_t v);
void put32le(Bytes& b, size_t at, uint32_t v);
void put16be(Bytes& b, size_t at, uint16_t v);
void put32be(Bytes& b, size_t at, uint32_t v);

}  // namespace kes::test
