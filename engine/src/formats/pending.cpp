// Formats whose parsers are not in yet: they never claim a sector.
#include "formats/formats.h"

namespace kes {

#define KES_PENDING(name)                                              \
  bool probe_##name(const uint8_t*) { return false; }                  \
  Carve measure_##name(ByteSource&, uint64_t, uint64_t) { return corrupt(); }

KES_PENDING(raf)
KES_PENDING(x3f)
KES_PENDING(mrw)
KES_PENDING(crw)

}  // namespace kes
