#include "dng_writer.h"

#include <cstdio>
#include <map>

namespace {

enum Type { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5, SRATIONAL = 10 };

struct Entry {
  uint16_t type;
  uint32_t count;
  std::vector<uint8_t> data;  // little-endian value bytes
};

void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

Entry shorts(std::initializer_list<uint32_t> values) {
  Entry e{SHORT, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t x : values) put16(e.data, x);
  return e;
}
Entry longs(std::initializer_list<uint32_t> values) {
  Entry e{LONG, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t x : values) put32(e.data, x);
  return e;
}
Entry bytes(std::initializer_list<uint8_t> values) {
  return Entry{BYTE, static_cast<uint32_t>(values.size()), std::vector<uint8_t>(values)};
}
Entry ascii(const std::string& text) {
  Entry e{ASCII, static_cast<uint32_t>(text.size() + 1), {text.begin(), text.end()}};
  e.data.push_back(0);
  return e;
}
Entry rationals(Type type, std::initializer_list<int32_t> numerators, int32_t denominator) {
  Entry e{static_cast<uint16_t>(type), static_cast<uint32_t>(numerators.size()), {}};
  for (int32_t n : numerators) {
    put32(e.data, static_cast<uint32_t>(n));
    put32(e.data, static_cast<uint32_t>(denominator));
  }
  return e;
}

// Lays out one IFD at `offset` (tags sorted by the map), values after it, word-aligned;
// `next` is the offset of the IFD that follows in the chain (0: none).
std::vector<uint8_t> ifd_bytes(const std::map<uint16_t, Entry>& tags, uint32_t offset,
                               uint32_t next = 0) {
  std::vector<uint8_t> out, values;
  uint32_t values_at = offset + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
  put16(out, static_cast<uint32_t>(tags.size()));
  for (const auto& [tag, e] : tags) {
    put16(out, tag);
    put16(out, e.type);
    put32(out, e.count);
    if (e.data.size() <= 4) {
      std::vector<uint8_t> inline_value = e.data;
      inline_value.resize(4, 0);
      out.insert(out.end(), inline_value.begin(), inline_value.end());
    } else {
      put32(out, values_at + static_cast<uint32_t>(values.size()));
      values.insert(values.end(), e.data.begin(), e.data.end());
      if (values.size() % 2) values.push_back(0);
    }
  }
  put32(out, next);
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

}  // namespace

std::vector<uint8_t> make_dng(const DngParams& params) {
  // The mosaic: RGGB, top half strongly red, bottom half strongly blue.
  std::vector<uint8_t> pixels;
  for (int y = 0; y < params.height; ++y) {
    bool top = y < params.height / 2;
    for (int x = 0; x < params.width; ++x) {
      bool red_site = y % 2 == 0 && x % 2 == 0;
      bool blue_site = y % 2 == 1 && x % 2 == 1;
      uint32_t value = 6000;
      if (red_site && top) value = 50000;
      if (blue_site && !top) value = 50000;
      put16(pixels, value);
    }
  }
  const uint32_t ifd_at = 8;
  std::map<uint16_t, Entry> tags = {
      {254, longs({0})},
      {256, longs({static_cast<uint32_t>(params.width)})},
      {257, longs({static_cast<uint32_t>(params.height)})},
      {258, shorts({16})},
      {259, shorts({1})},
      {262, shorts({32803})},
      {271, ascii(params.make)},
      {272, ascii(params.model)},
      {273, longs({0})},  // patched below
      {274, shorts({static_cast<uint32_t>(params.orientation)})},
      {277, shorts({1})},
      {278, longs({static_cast<uint32_t>(params.height)})},
      {279, longs({static_cast<uint32_t>(pixels.size())})},
      {33421, shorts({2, 2})},
      {33422, bytes({0, 1, 1, 2})},
      {50706, bytes({1, 4, 0, 0})},
      {50707, bytes({1, 1, 0, 0})},
      {50708, ascii(params.make + " " + params.model)},
      {50714, longs({256})},
      {50717, longs({65535})},
      // Camera space is linear sRGB: the XYZ to sRGB matrix.
      {50721, rationals(SRATIONAL, {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570},
                        10000)},
      {50728, rationals(RATIONAL, {1, 1, 1}, 1)},
      {50778, shorts({21})},
  };
  if (!params.shot_time.empty()) tags[34665] = longs({0});  // patched below

  const DngPreview& preview = params.preview;
  std::map<uint16_t, Entry> preview_tags;
  if (preview.width > 0) {
    preview_tags = {
        {254, longs({1})},  // a reduced-resolution copy
        {256, longs({static_cast<uint32_t>(preview.width)})},
        {257, longs({static_cast<uint32_t>(preview.height)})},
        {258, shorts({8, 8, 8})},
        {259, shorts({preview.jpeg ? 7u : 1u})},
        {262, shorts({preview.jpeg ? 6u : 2u})},
        {273, longs({0})},  // patched below
        {277, shorts({3})},
        {278, longs({static_cast<uint32_t>(preview.height)})},
        {279, longs({static_cast<uint32_t>(preview.data.size())})},
        {284, shorts({1})},
    };
  }

  // Two passes: the first fixes the sizes, the second the offsets.
  std::vector<uint8_t> ifd = ifd_bytes(tags, ifd_at);
  uint32_t exif_at = ifd_at + static_cast<uint32_t>(ifd.size());
  std::vector<uint8_t> exif;
  if (!params.shot_time.empty()) {
    exif = ifd_bytes({{36867, ascii(params.shot_time)}}, exif_at);
    tags[34665] = longs({exif_at});
  }
  uint32_t preview_ifd_at = exif_at + static_cast<uint32_t>(exif.size());
  std::vector<uint8_t> preview_ifd;
  if (!preview_tags.empty()) preview_ifd = ifd_bytes(preview_tags, preview_ifd_at);
  uint32_t strip_at = preview_ifd_at + static_cast<uint32_t>(preview_ifd.size());
  strip_at = (strip_at + 3) & ~3u;
  uint32_t preview_at = strip_at + static_cast<uint32_t>(pixels.size());
  tags[273] = longs({strip_at});
  ifd = ifd_bytes(tags, ifd_at, preview_ifd.empty() ? 0 : preview_ifd_at);
  if (!preview_tags.empty()) {
    preview_tags[273] = longs({preview_at});
    preview_ifd = ifd_bytes(preview_tags, preview_ifd_at);
  }

  std::vector<uint8_t> file = {'I', 'I', 42, 0};
  put32(file, ifd_at);
  file.insert(file.end(), ifd.begin(), ifd.end());
  file.insert(file.end(), exif.begin(), exif.end());
  file.insert(file.end(), preview_ifd.begin(), preview_ifd.end());
  file.resize(strip_at, 0);
  file.insert(file.end(), pixels.begin(), pixels.end());
  file.insert(file.end(), preview.data.begin(), preview.data.end());
  return file;
}

bool write_dng(const char* path, const DngParams& params) {
  std::vector<uint8_t> data = make_dng(params);
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}
