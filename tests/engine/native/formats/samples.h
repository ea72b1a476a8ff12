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

// Places the file at a sector offset inside noise and expects an exact carve, complete
// unless said otherwise.
void expect_exact(const char* option, const Bytes& file, const char* ext, Verdict verdict = Verdict::complete);

// A sample of a stream format and how far past the start of foreign data its measure
// may still reach: streams without a checksum cannot tell where the payload of their
// last packet stops being their own (0: not at all; SIZE_MAX: not tried).
struct StreamSample {
  const char* option;
  Bytes file;
  const char* ext;
  size_t blind;
  // No end marker: what follows its last unit cannot tell the file's end from a piece
  // boundary, so the carve is truncated there.
  bool open_end = false;
};
// Cut by the medium: truncated at the cut. Foreign data from a sector two thirds in on:
// ended at it (or within the blind span), and never complete without a blind span.
// Another format's header in place of the file's: not probed, corrupt.
void expect_damage_handled(const StreamSample& s);

// A damaged file and what its measure must say: the verdict and the range the length
// falls in. The file sits at a sector offset in noise, or at the very end of the medium.
struct Damage {
  const char* what;
  Bytes file;
  bool at_medium_end;
  Verdict verdict;
  size_t min_length, max_length;
};
void expect_damage(const char* option, const std::vector<Damage>& cases);
// The file with n bytes of noise written over it at `at`.
Bytes spliced(Bytes file, size_t at, size_t n, uint32_t seed = 11);

// Offset of the first occurrence of `text` in the file (the file's size when absent).
size_t find_text(const Bytes& file, const char* text);

// Little writers for the synthetic containers.
void put16le(Bytes& b, size_t at, uint16_t v);
void put32le(Bytes& b, size_t at, uint32_t v);
void put16be(Bytes& b, size_t at, uint16_t v);
void put32be(Bytes& b, size_t at, uint32_t v);

}  // namespace kes::test
