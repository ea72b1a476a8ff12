#include "formats/container_maker.h"

#include <cstring>

namespace kes::test {
namespace {

void put_text(Bytes& b, size_t at, const char* s) { std::memcpy(b.data() + at, s, std::strlen(s)); }
void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void counted(Bytes& b, const char* s) {
  b.push_back(static_cast<uint8_t>(std::strlen(s)));
  b.insert(b.end(), s, s + std::strlen(s));
}

}  // namespace

Bytes make_ra(int version) {
  Bytes h;
  if (version == 3) {
    h = Bytes(22);
    for (const char* s : {"Tone", "Kestrune", "", "test"}) counted(h, s);
    h.push_back(0);
    counted(h, "lpcJ");
    put16be(h, 6, static_cast<uint16_t>(h.size() - 8));
  } else {
    h = Bytes(version == 4 ? 56 : 70);
    put_text(h, 8, version == 4 ? ".ra4" : ".ra5");
    put16be(h, 16, static_cast<uint16_t>(version));
    put16be(h, 22, 1);      // flavor
    put32be(h, 24, 228);    // coded frame size
    put16be(h, 40, 12);     // sub-packet height
    put16be(h, 42, 456);    // frame size
    put16be(h, 44, 228);    // sub-packet size
    if (version == 4) {
      put16be(h, 48, 8000), put16be(h, 54, 1);
      counted(h, "Int4");
      counted(h, "28_8");
      h.insert(h.end(), 3, 0);
      for (const char* s : {"Tone", "Kestrune", "", ""}) counted(h, s);
    } else {
      put16be(h, 54, 22050), put16be(h, 60, 2);
      put_text(h, 62, "genr");
      put_text(h, 66, "cook");
    }
    put32be(h, 18, static_cast<uint32_t>(h.size() - 16));
  }
  h[0] = '.', h[1] = 'r', h[2] = 'a', h[3] = 0xFD;
  put16be(h, 4, static_cast<uint16_t>(version));
  const Bytes audio = noise(456 * 12 * 3, static_cast<uint32_t>(version));
  put32be(h, version == 3 ? 18 : 12, static_cast<uint32_t>(audio.size()));
  append(h, audio);
  return h;
}

Bytes make_compound(std::initializer_list<const char*> streams) {
  constexpr size_t kSector = 512;
  const size_t entries = streams.size() + 1, dir_sectors = (entries + 3) / 4;
  Bytes fat(kSector, 0xFF), dir(dir_sectors * kSector), data;
  put32le(fat, 0, 0xFFFFFFFD);  // the FAT's own sector
  uint32_t next = 1;
  auto chain = [&](size_t sectors) {
    const uint32_t first = next;
    for (size_t i = 0; i < sectors; ++i, ++next) put32le(fat, 4 * next, i + 1 < sectors ? next + 1 : 0xFFFFFFFE);
    return first;
  };
  chain(dir_sectors);
  auto entry = [&](size_t i, const char* name, uint8_t type, uint32_t start, uint32_t size) {
    uint8_t* e = dir.data() + 128 * i;
    for (size_t k = 0; name[k]; ++k) e[2 * k] = static_cast<uint8_t>(name[k]);
    put16le(dir, 128 * i + 64, static_cast<uint16_t>(2 * (std::strlen(name) + 1)));
    e[66] = type, e[67] = 1;
    put32le(dir, 128 * i + 68, 0xFFFFFFFF);                                       // left
    put32le(dir, 128 * i + 72, i + 1 < entries && i ? uint32_t(i + 1) : 0xFFFFFFFF);  // right
    put32le(dir, 128 * i + 76, i == 0 ? 1 : 0xFFFFFFFF);                          // child
    put32le(dir, 128 * i + 116, start);
    put32le(dir, 128 * i + 120, size);
  };
  entry(0, "Root Entry", 5, 0xFFFFFFFE, 0);
  size_t i = 1;
  for (const char* name : streams) {
    const size_t size = 4096 + 333 * i;
    entry(i++, name, 2, chain((size + kSector - 1) / kSector), static_cast<uint32_t>(size));
    Bytes body = noise(size, static_cast<uint32_t>(i));
    body.resize((size + kSector - 1) / kSector * kSector);
    append(data, body);
  }
  Bytes h(kSector, 0xFF);
  const uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(magic, magic + 8, h.begin());
  std::fill(h.begin() + 8, h.begin() + 0x4C, 0);
  put16le(h, 0x18, 0x3E), put16le(h, 0x1A, 3), put16le(h, 0x1C, 0xFFFE), put16le(h, 0x1E, 9), put16le(h, 0x20, 6);
  put32le(h, 0x2C, 1), put32le(h, 0x30, 1), put32le(h, 0x38, 4096);
  put32le(h, 0x3C, 0xFFFFFFFE), put32le(h, 0x44, 0xFFFFFFFE);
  put32le(h, 0x4C, 0);  // the FAT is sector 0
  append(h, fat);
  append(h, dir);
  append(h, data);
  return h;
}

Bytes make_max() { return make_compound({"Scene", "Config", "DllDirectory", "ClassDirectory3", "VideoPostQueue"}); }

Bytes make_fcp(bool le) {
  Bytes f = {0xA2, 'K', 'e', 'y', 'G', 0x0A, 0x0D, 0x0A, static_cast<uint8_t>(le)};
  auto u32 = [&](uint32_t v) {
    Bytes b(4);
    le ? put32le(b, 0, v) : put32be(b, 0, v);
    append(f, b);
  };
  u32(200);  // save counter
  const Bytes uuid_be = {0x66, 0x92, 0x08, 0x20, 0x28, 0xC4, 0x11, 0xD7};
  const Bytes uuid_le = {0x20, 0x08, 0x92, 0x66, 0xC4, 0x28, 0xD7, 0x11};
  append(f, le ? uuid_le : uuid_be);
  append(f, {0x8A, 0xE5, 0x00, 0x30, 0x65, 0xEC, 0xFE, 0x98});
  u32(3);
  f.insert(f.end(), 8, 0);  // root object id
  f.push_back(1), u32(0), f.push_back(1);
  const uint32_t records = 90;
  u32(records);
  for (uint32_t i = 0; i < records; ++i) {  // named string records: key, type 0x1F, definition
    counted(f, i % 2 ? "subtype" : "name");
    u32(0x1F);
    f.push_back(1), f.push_back(1);
    const char* value = i % 3 ? "SEQ_INTERVIEW_01" : "com.example.clip";
    u32(static_cast<uint32_t>(std::strlen(value)));
    f.insert(f.end(), value, value + std::strlen(value));
    f.push_back(0);  // no annotation
  }
  return f;
}

Bytes strip_ftyp(const Bytes& mov) {
  auto be32_at = [&](size_t at) { return uint32_t(mov[at]) << 24 | mov[at + 1] << 16 | mov[at + 2] << 8 | mov[at + 3]; };
  const uint32_t cut = be32_at(0);
  Bytes out(mov.begin() + cut, mov.end());
  // The chunk offsets count from the file's start, which moved.
  for (size_t at = 4; at + 12 <= mov.size(); ++at) {
    if (std::memcmp(mov.data() + at, "stco", 4) != 0) continue;
    const uint32_t count = be32_at(at + 8);
    for (uint32_t i = 0; i < count && at + 16 + 4 * i <= mov.size(); ++i)
      put32be(out, at + 12 + 4 * i - cut, be32_at(at + 12 + 4 * i) - cut);
  }
  return out;
}

}  // namespace kes::test
