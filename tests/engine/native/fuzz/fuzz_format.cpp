// libFuzzer target for one format's probe and measures (KES_FUZZ_FORMAT names it): no
// input may crash, hang, read out of bounds or yield a carve longer than the input.
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
  for (uint64_t limit : {uint64_t(size), f->max_length}) {
    kes::Carve c = f->measure(src, 0, limit);
    if (c.verdict != kes::Verdict::corrupt && (c.length == 0 || c.length > size)) std::abort();
    if (c.verdict == kes::Verdict::corrupt && c.length != 0) std::abort();
  }
  return 0;
}
