// libFuzzer target for one format's probe and measures (KES_FUZZ_FORMAT names it): no
// input may crash, hang, read out of bounds or yield a carve longer than the input,
// also when a re-measure is told to trust bytes that do not hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kes::Format* f = kes::find_format(KES_FUZZ_FORMAT);
  if (!f) std::abort();
  uint8_t head[512] = {};
  std::memcpy(head, data, size < f->probe_bytes ? size : f->probe_bytes);
  f->probe(head);
  // Measure whatever the probe says, so that the parsers meet every kind of input.
  kes::MemorySource src(data, size);
  auto check = [size](const kes::Carve& c) {
    // A corrupt carve may say how far its structure held, never past the input.
    if (c.length > size || (c.verdict != kes::Verdict::corrupt && c.length == 0)) std::abort();
  };
  for (uint64_t limit : {uint64_t(size), f->max_length}) {
    for (auto measure : {f->measure, f->quick_measure})
      if (measure) check(measure(src, 0, limit));
    // A fragment search's re-measure, trusting a prefix that may not hold at all.
    if (f->resume) check(f->resume(src, 0, limit, size / 2));
  }
  return 0;
}
