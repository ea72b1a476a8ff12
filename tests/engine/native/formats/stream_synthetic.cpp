#include "formats/stream_synthetic.h"

#include <cstring>

namespace kes::test {
namespace {

void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void append_text(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

Bytes ape_item(const char* key, const char* value) {
  Bytes b(8);
  put32le(b, 0, static_cast<uint32_t>(std::strlen(value)));
  append_text(b, key);
  b.push_back(0);
  append_text(b, value);
  return b;
}

Bytes ape_tag_block(uint32_t size, uint32_t items, bool header) {
  Bytes b;
  append_text(b, "APETAGEX");
  b.resize(32);
  put32le(b, 8, 2000);
  put32le(b, 12, size);
  put32le(b, 16, items);
  put32le(b, 20, (1u << 31) | (header ? 1u << 29 : 0));
  return b;
}

}  // namespace

Bytes make_ape_tag() {
  Bytes items = ape_item("Title", "Tone");
  append(items, ape_item("Artist", "Kestrel"));
  const uint32_t size = static_cast<uint32_t>(items.size() + 32);
  Bytes tag = ape_tag_block(size, 2, true);
  append(tag, items);
  append(tag, ape_tag_block(size, 2, false));
  return tag;
}

Bytes make_ape() {
  const uint32_t frames = 3, source = 44, frame_bytes[frames] = {9000, 8700, 3100};
  Bytes f;
  append_text(f, "MAC ");
  f.resize(52 + 24);
  put16le(f, 4, 3990);
  put32le(f, 8, 52);
  put32le(f, 12, 24);
  put32le(f, 16, frames * 4);
  put32le(f, 20, source);
  put32le(f, 24, frame_bytes[0] + frame_bytes[1] + frame_bytes[2]);
  put16le(f, 52, 2000);          // compression level
  put32le(f, 56, 73728 * 4);     // blocks per frame
  put32le(f, 60, 20000);         // blocks in the last frame
  put32le(f, 64, frames);
  put16le(f, 68, 16);
  put16le(f, 70, 2);
  put32le(f, 72, 44100);
  uint32_t at = 52 + 24 + frames * 4 + source;
  for (uint32_t i = 0; i < frames; ++i) {
    f.resize(f.size() + 4);
    put32le(f, f.size() - 4, at);
    at += frame_bytes[i];
  }
  Bytes wav(source);
  std::memcpy(wav.data(), "RIFF", 4);
  append(f, wav);
  for (uint32_t i = 0; i < frames; ++i) append(f, noise(frame_bytes[i], 40 + i));
  append(f, make_ape_tag());
  Bytes id3v1(128);
  std::memcpy(id3v1.data(), "TAGTone", 7);
  append(f, id3v1);
  return f;
}

Bytes make_tivo(const Bytes& mpeg) {
  Bytes xml;
  append_text(xml, "<?xml version=\"1.0\" encoding=\"utf-8\"?><TvBusMarshalledStruct/>");
  const Bytes blob = noise(300, 61);
  Bytes f;
  append_text(f, "TiVo");
  f.resize(16);
  put16be(f, 4, 4);
  put16be(f, 6, 0x0D);
  put16be(f, 14, 2);
  const Bytes* const chunks[] = {&xml, &blob};
  for (const Bytes* data : chunks) {
    Bytes chunk(12);
    const uint32_t size = static_cast<uint32_t>((12 + data->size() + 3) & ~size_t(3));
    put32be(chunk, 0, size);
    put32be(chunk, 4, static_cast<uint32_t>(data->size()));
    put16be(chunk, 8, data == &xml ? 1 : 2);
    put16be(chunk, 10, data == &xml ? 0 : 1);
    append(chunk, *data);
    chunk.resize(size);
    append(f, chunk);
  }
  f.resize((f.size() + 1023) & ~size_t(1023));
  put32be(f, 10, static_cast<uint32_t>(f.size()));
  append(f, mpeg);
  return f;
}

}  // namespace kes::test
