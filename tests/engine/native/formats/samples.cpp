#include "formats/samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "byte_source.h"

namespace kes::test {

Bytes sample(const std::string& name) {
  std::ifstream in(std::string(KES_MEDIA_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing sample " << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes noise(size_t n, uint32_t seed) {
  Bytes b(n);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b[i] = static_cast<uint8_t>(x >> 24);
  }
  return b;
}

Card::Card(size_t size, bool zeros, uint32_t seed) : data(zeros ? Bytes(size) : noise(size, seed)) {}

void Card::put(uint64_t offset, const Bytes& file) {
  if (data.size() < offset + file.size()) data.resize(offset + file.size());
  std::copy(file.begin(), file.end(), data.begin() + offset);
}

bool probes(const Format& f, const Bytes& data, uint64_t offset) {
  uint8_t head[512] = {};
  for (size_t i = 0; i < f.probe_bytes && offset + i < data.size(); ++i) head[i] = data[offset + i];
  return f.probe(head);
}

Carve measure(const Format& f, const Bytes& data, uint64_t offset) {
  MemorySource src(data.data(), data.size());
  return f.measure(src, offset, f.max_length);
}

const Format& fmt(const char* option) {
  const Format* f = find_format(option);
  EXPECT_NE(f, nullptr) << option;
  static const Format none{"", Kind::photo, 0, nullptr, nullptr, 0};
  return f ? *f : none;
}

std::string ext_of(const Carve& c) { return std::string(c.ext, strnlen(c.ext, sizeof c.ext)); }

void expect_exact(const char* option, const Bytes& file, const char* ext, Verdict verdict) {
  ASSERT_FALSE(file.empty());
  const Format& f = fmt(option);
  Card card(file.size() + 5 * 512 + 70000, false, static_cast<uint32_t>(file.size()));
  card.put(3 * 512, file);
  ASSERT_TRUE(probes(f, card.data, 3 * 512)) << option;
  Carve c = measure(f, card.data, 3 * 512);
  EXPECT_EQ(c.verdict, verdict) << option;
  EXPECT_EQ(c.length, file.size()) << option;
  EXPECT_EQ(ext_of(c), ext) << option;
}

void expect_damage_handled(const StreamSample& s) {
  SCOPED_TRACE(std::string(s.ext) + " of " + std::to_string(s.file.size()) + " bytes");
  const Format& f = fmt(s.option);
  const size_t cut = s.file.size() * 3 / 5 + 101;
  Card card(512 + cut, false, 5);
  card.put(512, Bytes(s.file.begin(), s.file.begin() + cut));
  Carve c = measure(f, card.data, 512);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, cut);

  if (s.blind != SIZE_MAX) {
    const size_t at = s.file.size() * 2 / 3 / 512 * 512;
    Card foreign_data(at + 262144, false, 6);  // more than any unit the walk may take in
    foreign_data.put(0, Bytes(s.file.begin(), s.file.begin() + at));
    c = measure(f, foreign_data.data, 0);
    if (s.blind == 0) EXPECT_EQ(c.verdict, Verdict::truncated);
    EXPECT_NE(c.verdict, Verdict::corrupt);
    EXPECT_LE(c.length, at + s.blind);
  }

  Bytes relabelled = s.file;
  std::copy_n("RIFF\x24\0\0\0WAVE", 12, relabelled.begin());
  Card other(relabelled.size() + 4096, false, 7);
  other.put(0, relabelled);
  EXPECT_FALSE(probes(f, other.data, 0));
  EXPECT_EQ(measure(f, other.data, 0).verdict, Verdict::corrupt);
}

void expect_damage(const char* option, const std::vector<Damage>& cases) {
  for (const Damage& c : cases) {
    SCOPED_TRACE(std::string(option) + ": " + c.what);
    Card card(512 + c.file.size() + (c.at_medium_end ? 0 : 8192), false, 3);
    card.put(512, c.file);
    Carve got = measure(fmt(option), card.data, 512);
    EXPECT_EQ(got.verdict, c.verdict);
    EXPECT_GE(got.length, c.min_length);
    EXPECT_LE(got.length, c.max_length);
  }
}

Bytes spliced(Bytes file, size_t at, size_t n, uint32_t seed) {
  Bytes junk = noise(n, seed);
  std::copy(junk.begin(), junk.begin() + std::min(n, file.size() - at), file.begin() + at);
  return file;
}

size_t find_text(const Bytes& file, const char* text) {
  const uint8_t* t = reinterpret_cast<const uint8_t*>(text);
  return static_cast<size_t>(std::search(file.begin(), file.end(), t, t + std::strlen(text)) - file.begin());
}

void put16le(Bytes& b, size_t at, uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
void put32le(Bytes& b, size_t at, uint32_t v) {
  put16le(b, at, v & 0xFFFF);
  put16le(b, at + 2, v >> 16);
}
void put16be(Bytes& b, size_t at, uint16_t v) {
  b[at] = v >> 8;
  b[at + 1] = v & 0xFF;
}
void put32be(Bytes& b, size_t at, uint32_t v) {
  put16be(b, at, v >> 16);
  put16be(b, at + 2, v & 0xFFFF);
}

}  // namespace kes::test
