// ".snd" audio: the magic, then the big-endian data offset, data size, encoding, sample
// rate and channel count; the file ends at offset + size. Streams written without
// knowing their length say 0xFFFFFFFF: raw samples carry no structure, so such a file
// is taken to run in whole sample frames up to the first zeroed or claimed sector, and
// at most 64 MiB (a few minutes of CD-quality sound).
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"
#include "formats/pcm_check.h"

namespace kes {
namespace {

constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr uint64_t kLooseCap = uint64_t(64) << 20;

// Bytes per sample of the linear encodings (2..7), one for the rest.
uint32_t sample_bytes(uint32_t encoding) {
  static const uint8_t kBytes[] = {1, 1, 1, 2, 3, 4, 4, 8};
  return encoding < 8 ? kBytes[encoding] : 1;
}

// The linear encodings (2..5: 8- to 32-bit big-endian samples) are checked as sound.
PcmLayout au_samples(uint32_t encoding, uint32_t channels) {
  if (encoding < 2 || encoding > 5) return {};
  return PcmLayout{encoding - 1, channels, true};
}

}  // namespace

bool probe_au(const uint8_t* h) {
  if (std::memcmp(h, ".snd", 4) != 0) return false;
  uint32_t offset = be32(h + 4), encoding = be32(h + 12), rate = be32(h + 16), channels = be32(h + 20);
  return offset >= 24 && offset <= (1u << 16) && encoding >= 1 && encoding <= 27 && rate >= 1 &&
         rate <= 768000 && channels >= 1 && channels <= 64;
}

Carve resume_au(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 24);
  if (!h || !probe_au(h)) return corrupt();
  const uint64_t offset = be32(h + 4), size = be32(h + 8);
  const PcmLayout samples = au_samples(be32(h + 12), be32(h + 20));
  // Sound that stops being sound before `end` ends there: the rest is another file's.
  // A candidate continuation's samples (past `trusted`) are not judged.
  auto checked = [&](Verdict v, uint64_t end) {
    const uint64_t held = trusted ? end : pcm_holds_to(cur, offset, end, samples);
    return held < end ? make_carve(Verdict::truncated, held, "au") : make_carve(v, end, "au");
  };
  if (size != kUnknownSize) {
    if (cur.readable(0, offset + size)) return checked(Verdict::complete, offset + size);
    return checked(Verdict::truncated, cur.limit());
  }
  const uint64_t frame = uint64_t(sample_bytes(be32(h + 12))) * be32(h + 20);
  LooseEnd loose = loose_end(cur, offset, offset + kLooseCap);
  uint64_t end = offset + (loose.end > offset ? (loose.end - offset) / frame * frame : 0);
  if (end <= offset) return corrupt();
  return checked(loose.stopped ? Verdict::complete : Verdict::truncated, end);
}

Carve measure_au(ByteSource& src, uint64_t start, uint64_t max_length) {
  return resume_au(src, start, max_length, 0);
}

}  // namespace kes
