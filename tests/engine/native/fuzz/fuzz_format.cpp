// libFuzzer target for one format's probe and measures (KES_FUZZ_FORMAT names it): no
// input may crash, hang, read out of bounds or yield a carve longer than the input,
// also when a re-measure is told to trust bytes that do not hold.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "format.h"
#include "spliced_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kes::Format* f = kes::find_format(KES_FUZZ_FORMAT);
  if (!f) std::abort();
  uint8_t head[512] = {};
  std::memcpy(head, data, size < f->probe_bytes ? size : f->probe_bytes);
  f->probe(head);
  // Measure whatever the probe says, so that the parsers meet every kind of input.
  kes::MemorySource src(data, size);
  auto check = [](const kes::Carve& c, uint64_t size) {
    // A corrupt carve may say how far its structure held, never past the input.
    if (c.length > size || (c.verdict != kes::Verdict::corrupt && c.length == 0)) std::abort();
  };
  for (uint64_t limit : {uint64_t(size), f->max_length}) {
    check(f->measure(src, 0, limit), size);
    // A fragment search's re-measure: the input's first half, then its bytes from a
    // quarter on, measured from what the splicer kept of the whole input.
    if (f->splicer) {
      std::unique_ptr<kes::Splicer> splicer = f->splicer(src, limit, f->measure(src, 0, limit));
      kes::Pieces view = kes::Pieces::whole(0, size / 2);
      view.piece[view.count++] = {size / 4, size - size / 4};
      kes::SplicedSource spliced(src, view);
      check(splicer->measure(spliced, size / 2, std::min<uint64_t>(limit, spliced.size())), spliced.size());
    }
  }
  return 0;
}
