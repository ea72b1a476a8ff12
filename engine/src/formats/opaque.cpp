// Files known only by their opening signature, whose content is compressed or not
// publicly described: music notation scores ("\x0FSIBELIUS") and rack-synthesizer songs
// ("Propellerheads Reason Song File\x1A"). Such a file is taken to run up to the first
// zeroed or claimed sector, less the zero bytes closing its last sector, and at most a
// cap: 64 MiB for scores, 256 MiB for songs, which may carry their own samples.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"

namespace kes {
namespace {

constexpr char kSib[] = "\x0FSIBELIUS";
constexpr char kRns[] = "Propellerheads Reason Song File\x1A";

template <size_t N>
bool signed_with(const uint8_t* h, const char (&sig)[N]) {
  return std::memcmp(h, sig, N - 1) == 0;
}

template <size_t N>
Carve measure_opaque(ByteSource& src, uint64_t start, uint64_t max_length, const char (&sig)[N],
                     uint64_t cap, const char* ext) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, N - 1);
  if (!h || !signed_with(h, sig)) return corrupt();
  LooseEnd loose = loose_end(cur, N - 1, cap);
  return make_carve(loose.stopped ? Verdict::complete : Verdict::truncated, loose.content, ext);
}

}  // namespace

bool probe_sib(const uint8_t* h) { return signed_with(h, kSib); }
bool probe_rns(const uint8_t* h) { return signed_with(h, kRns); }

Carve measure_sib(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_opaque(src, start, max_length, kSib, uint64_t(64) << 20, "sib");
}

Carve measure_rns(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_opaque(src, start, max_length, kRns, uint64_t(256) << 20, "rns");
}

}  // namespace kes
