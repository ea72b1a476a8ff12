#include "test_formats.h"

#include <chrono>
#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

namespace kes_test {
namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

template <char Letter>
bool probe(const uint8_t* head) {
  return head[0] == 'K' && head[1] == 'E' && head[2] == 'S' && head[3] == Letter;
}

kes::Carve measure(kes::ByteSource& src, uint64_t start, uint64_t max_length) {
  kes::Carve c;
  uint8_t head[kTestHeader];
  if (src.read_at(start, head, sizeof head) != sizeof head) return c;
  uint32_t length = le32(head + 4);
  if (length < kTestHeader + 4 || length > max_length) return c;
  uint8_t tail[4];
  if (src.read_at(start + length - 4, tail, 4) != 4 || std::memcmp(tail, "KEND", 4) != 0) return c;
  if (uint32_t delay = le32(head + 16)) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  c.verdict = kes::Verdict::complete;
  c.length = length;
  std::memcpy(c.ext, head + 8, sizeof c.ext);
  return c;
}

const kes::Format kTable[] = {
    {"jpg", kes::Kind::photo, 4, probe<'J'>, measure, 256u << 20},
    {"tif", kes::Kind::photo, 4, probe<'T'>, measure, 256u << 20},
    {"mp3", kes::Kind::audio, 4, probe<'A'>, measure, 256u << 20},
};

}  // namespace

const kes::Format* test_format_table(size_t* count) {
  *count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

std::vector<uint8_t> make_test_file(char letter, uint32_t length, const std::string& ext, uint32_t delay_ms,
                                    uint32_t seed) {
  std::vector<uint8_t> f(length);
  std::mt19937 rng(seed);
  for (auto& b : f) b = static_cast<uint8_t>(rng());
  std::memcpy(f.data(), "KES", 3);
  f[3] = static_cast<uint8_t>(letter);
  for (int i = 0; i < 4; ++i) f[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  std::memset(f.data() + 8, 0, 8);
  std::memcpy(f.data() + 8, ext.data(), std::min<size_t>(ext.size(), 8));
  for (int i = 0; i < 4; ++i) f[16 + i] = static_cast<uint8_t>(delay_ms >> (8 * i));
  std::memcpy(f.data() + length - 4, "KEND", 4);
  return f;
}

}  // namespace kes_test
