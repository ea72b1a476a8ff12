// DPX images (big-endian "SDPX", little-endian "XPDS"): the generic header gives the
// image data's offset, the file size and up to eight image elements. Each element's
// data size follows from the picture's width and height and its descriptor, bit depth,
// packing and paddings; the furthest element ends the file. Writers disagree with
// their own file-size field, so it only decides where no element can be sized.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint32_t kGenericHeader = 1664;

struct Reader {
  bool le;
  uint16_t u16(const uint8_t* p) const { return le ? le16(p) : be16(p); }
  uint32_t u32(const uint8_t* p) const { return le ? le32(p) : be32(p); }
};

unsigned components(uint8_t descriptor) {
  switch (descriptor) {
    case 1: case 2: case 3: case 4: case 6: case 7: case 8: return 1;
    case 50: return 3;
    case 51: case 52: return 4;
    case 100: return 2;
    case 101: case 102: return 3;
    case 103: return 4;
    default: return descriptor >= 150 && descriptor <= 156 ? descriptor - 148 : 0;
  }
}

// Bytes of one element's data, or 0 when its description cannot be sized.
uint64_t element_bytes(const Reader& r, const uint8_t* e, uint64_t width, uint64_t height) {
  const unsigned comps = components(e[20]), bits = e[23];
  const uint16_t packing = r.u16(e + 24), encoding = r.u16(e + 26);
  if (!comps || encoding != 0 || packing > 2) return 0;
  if (bits != 1 && bits != 8 && bits != 10 && bits != 12 && bits != 16 && bits != 32 && bits != 64) return 0;
  const uint64_t samples = width * comps;
  uint64_t line = 0;
  if (packing == 0 || bits == 8 || bits == 16 || bits == 32 || bits == 64 || bits == 1)
    line = (samples * bits + 31) / 32 * 4;  // packed into 32-bit words
  else if (bits == 10)
    line = (samples + 2) / 3 * 4;  // three samples to a word
  else
    line = samples * 2;  // 12 bits filled into 16
  const uint32_t eol = r.u32(e + 32), eoi = r.u32(e + 36);
  return (line + (eol == 0xFFFFFFFFu ? 0 : eol)) * height + (eoi == 0xFFFFFFFFu ? 0 : eoi);
}

}  // namespace

bool probe_dpx(const uint8_t* h) {
  const bool be = std::memcmp(h, "SDPX", 4) == 0, le = std::memcmp(h, "XPDS", 4) == 0;
  if (!be && !le) return false;
  const Reader r{le};
  const uint32_t offset = r.u32(h + 4), size = r.u32(h + 16), industry = r.u32(h + 28);
  return (std::memcmp(h + 8, "V1.0", 5) == 0 || std::memcmp(h + 8, "V2.0", 5) == 0) && offset >= kGenericHeader &&
         offset < (1u << 24) && size > offset && r.u32(h + 24) == kGenericHeader && (industry == 0 || industry == 384);
}

Carve measure_dpx(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kGenericHeader);
  if (!h || !probe_dpx(h)) return corrupt();
  const Reader r{h[0] == 'X'};
  const uint64_t offset = r.u32(h + 4), field = r.u32(h + 16);
  const uint16_t elements = r.u16(h + 770);
  const uint64_t width = r.u32(h + 772), height = r.u32(h + 776);
  if (elements == 0 || elements > 8 || width == 0 || height == 0 || width > (1u << 20) || height > (1u << 20))
    return corrupt();
  uint64_t end = 0;
  for (uint16_t i = 0; i < elements; ++i) {
    const uint8_t* e = h + 780 + 72 * i;
    uint64_t at = r.u32(e + 28);
    if (at == 0 || at == 0xFFFFFFFFu) at = offset;
    const uint64_t bytes = element_bytes(r, e, width, height);
    if (at < kGenericHeader) return corrupt();
    if (!bytes) {
      end = 0;  // one element we cannot size: rely on the header's file size
      break;
    }
    end = std::max(end, at + bytes);
  }
  if (!end) end = field;
  if (!cur.within(0, end)) return make_carve(Verdict::truncated, cur.limit(), "dpx");
  return make_carve(Verdict::complete, end, "dpx");
}

}  // namespace kes
