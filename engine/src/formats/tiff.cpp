// TIFF and the camera RAW files built on it. The extension follows the content: DNG
// by its version tag, CR2 by its marker, the other RAWs by the camera's maker once raw
// sensor data is present, "tiff" for ordinary pictures.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tiff_walk.h"

namespace kes {
namespace {

bool starts(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

bool kodak(const tiff::Info& in) {
  return starts(in.make, "KODAK") || starts(in.make, "Kodak") || starts(in.make, "EASTMAN KODAK");
}

const char* raw_extension(const tiff::Info& in) {
  if (in.dng) return "dng";
  if (!in.raw) return "tiff";
  const char* m = in.make;
  if (starts(m, "NIKON")) return "nef";
  if (starts(m, "Canon")) return "cr2";
  if (starts(m, "SONY")) return starts(in.model, "DSC-R1") ? "sr2" : "arw";
  if (starts(m, "PENTAX") || starts(m, "RICOH IMAGING") || starts(m, "ASAHI")) return "pef";
  if (kodak(in)) return "dcr";
  if (starts(m, "OLYMPUS")) return "orf";
  return "tif";
}

Carve finish(const tiff::Info& in, const char* ext) {
  if (!in.ifd0_ok || !in.image || in.end == 0) return corrupt();
  return make_carve(in.truncated ? Verdict::truncated : Verdict::complete, in.end, ext);
}

bool probe_standard(const uint8_t* h) { return tiff::header_ok(h, tiff::Flavor::standard); }

}  // namespace

bool probe_tif(const uint8_t* h) { return probe_standard(h); }

Carve measure_tif(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  tiff::Info in = tiff::walk(cur, 0, tiff::Flavor::standard);
  const uint8_t* h = cur.get(0, 12);
  bool cr2 = h && h[0] == 'I' && h[8] == 'C' && h[9] == 'R' && h[10] == 2;
  return finish(in, cr2 && !in.dng ? "cr2" : raw_extension(in));
}

uint64_t tif_directory(const uint8_t* h) {
  if (!probe_standard(h)) return 0;
  const bool le = h[0] == 'I';
  if ((le ? le16(h + 2) : be16(h + 2)) == 43) return le ? le64(h + 8) : be64(h + 8);  // BigTIFF
  return le ? le32(h + 4) : be32(h + 4);
}

// The Kodak DCS cameras' TIFF-structured raw files.
bool probe_dsc(const uint8_t* h) { return probe_standard(h); }

Carve measure_dsc(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  tiff::Info in = tiff::walk(cur, 0, tiff::Flavor::standard);
  if (!kodak(in) || !in.raw || in.dng) return corrupt();
  return finish(in, "dsc");
}

bool probe_orf(const uint8_t* h) { return tiff::header_ok(h, tiff::Flavor::orf); }

Carve measure_orf(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  return finish(tiff::walk(cur, 0, tiff::Flavor::orf), "orf");
}

bool probe_rw2(const uint8_t* h) { return tiff::header_ok(h, tiff::Flavor::rw2); }

Carve measure_rw2(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  return finish(tiff::walk(cur, 0, tiff::Flavor::rw2), "rw2");
}

}  // namespace kes
