// CAF audio: "caff", version 1, then chunks of a type and a 64-bit big-endian
// size, the audio description ('desc') first. The file has no overall size: it ends
// after the last chunk, where the bytes stop looking like a chunk of a registered type.
// A 'data' chunk of size -1 runs to the end of the file; its end then follows from the
// packet table ('pakt', which must precede it) or, for constant-size packets without one,
// from the conservative sector rule, in whole packets.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"

namespace kes {
namespace {

constexpr uint32_t kMaxChunks = 1u << 16;
constexpr uint64_t kMaxPackets = uint64_t(1) << 32;
constexpr uint64_t kLooseCap = uint64_t(64) << 20;
constexpr uint64_t kOpenSize = UINT64_MAX;  // the size -1

const char* const kTypes[] = {"desc", "data", "pakt", "chan", "kuki", "strg", "mark", "regn", "inst",
                              "midi", "ovvw", "peak", "edct", "info", "uuid", "free", "umid", "ldsc"};

bool registered(const uint8_t* type) {
  for (const char* t : kTypes)
    if (std::memcmp(type, t, 4) == 0) return true;
  return false;
}

// One big-endian base-128 number of the packet table; false past `end` or when too long.
bool read_varint(Cursor& cur, uint64_t& pos, uint64_t end, uint64_t& value) {
  value = 0;
  for (int i = 0; i < 5; ++i) {
    uint8_t b;
    if (pos >= end || !cur.u8(pos, b)) return false;
    ++pos;
    value = value << 7 | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return false;
}

// Bytes of audio the packet table accounts for, or UINT64_MAX when it doesn't hold:
// constant-size packets times their count, or the sizes listed (each followed by its
// frame count when packets vary in frames too).
uint64_t packet_bytes(Cursor& cur, uint64_t pos, uint64_t size, uint32_t packet_size, bool framed) {
  const uint8_t* p = cur.get(pos, 24);
  if (!p || size < 24) return UINT64_MAX;
  const uint64_t packets = be64(p), end = pos + size;
  if (packets > kMaxPackets) return UINT64_MAX;
  if (packet_size) return packets * packet_size;
  uint64_t total = 0, at = pos + 24, v;
  for (uint64_t i = 0; i < packets; ++i) {
    if (!read_varint(cur, at, end, v)) return UINT64_MAX;
    total += v;
    if (framed && !read_varint(cur, at, end, v)) return UINT64_MAX;
  }
  return total;
}

}  // namespace

// The description: sample rate (a big-endian double), format id, flags, bytes and
// frames per packet, channels, bits per channel.
bool probe_caf(const uint8_t* h) {
  if (std::memcmp(h, "caff", 4) != 0 || be16(h + 4) != 1 || be16(h + 6) != 0 ||
      std::memcmp(h + 8, "desc", 4) != 0 || be64(h + 12) != 32)
    return false;
  uint64_t bits = be64(h + 20);
  double rate;
  std::memcpy(&rate, &bits, sizeof rate);
  uint32_t channels = be32(h + 44);
  return rate >= 1 && rate <= 1e7 && printable_id(h + 28) && channels >= 1 && channels <= 64;
}

Carve measure_caf(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 52);
  if (!h || !probe_caf(h)) return corrupt();
  const uint32_t packet_size = be32(h + 36), packet_frames = be32(h + 40);
  uint64_t pos = 8, audio_bytes = UINT64_MAX;  // what the packet table accounts for
  bool data = false;
  for (uint32_t n = 0; n < kMaxChunks; ++n) {
    const uint8_t* c = cur.get(pos, 12);
    if (!c) {
      if (data) break;  // no room for another chunk before the medium ends
      return make_carve(Verdict::truncated, cur.limit(), "caf");
    }
    if (!registered(c)) break;
    const uint64_t size = be64(c + 4), body = pos + 12;
    if (std::memcmp(c, "data", 4) == 0) {
      if (size == kOpenSize) {
        // The audio runs to the end of the file: it must be the last chunk, and begins
        // after its 4-byte edit count.
        if (!cur.readable(body, 4)) return make_carve(Verdict::truncated, cur.limit(), "caf");
        if (audio_bytes != UINT64_MAX) {
          if (cur.readable(body, 4 + audio_bytes)) return make_carve(Verdict::complete, body + 4 + audio_bytes, "caf");
          return make_carve(Verdict::truncated, cur.limit(), "caf");
        }
        if (packet_size == 0) return make_carve(Verdict::truncated, body, "caf");
        LooseEnd loose = loose_end(cur, body + 4, body + 4 + kLooseCap);
        uint64_t audio = loose.end > body + 4 ? (loose.end - body - 4) / packet_size * packet_size : 0;
        return make_carve(loose.stopped ? Verdict::complete : Verdict::truncated, body + 4 + audio, "caf");
      }
      if (size < 4) break;
      data = true;
    } else if (std::memcmp(c, "pakt", 4) == 0) {
      audio_bytes = packet_bytes(cur, body, size, packet_size, packet_frames == 0);
      if (audio_bytes == UINT64_MAX) break;
    }
    if (!cur.readable(body, size)) return make_carve(Verdict::truncated, cur.limit(), "caf");
    pos = body + size;
  }
  return data ? make_carve(Verdict::complete, pos, "caf") : corrupt();
}

}  // namespace kes
