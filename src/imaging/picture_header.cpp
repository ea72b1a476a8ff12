#include "imaging/picture_header.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

class Header {
 public:
  explicit Header(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  bool has(size_t at, size_t n) const { return at <= b_.size() && n <= b_.size() - at; }
  bool starts_with(const char* magic, size_t n) const { return has(0, n) && std::memcmp(b_.data(), magic, n) == 0; }
  uint32_t le(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b_[at + i];
    return v;
  }
  uint32_t be(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b_[at + i];
    return v;
  }
  uint8_t at(size_t i) const { return b_[i]; }

 private:
  const std::vector<uint8_t>& b_;
};

bool bmp(const Header& h, uint32_t& width, uint32_t& height) {
  if (!h.has(14, 12)) return false;
  const uint32_t info = h.le(14, 4);
  if (info == 12) {  // the old core header: 16-bit sizes
    width = h.le(18, 2);
    height = h.le(20, 2);
    return true;
  }
  if (info < 40 || !h.has(14, 16)) return false;
  const int32_t w = static_cast<int32_t>(h.le(18, 4)), ht = static_cast<int32_t>(h.le(22, 4));
  if (w <= 0 || ht == 0 || ht == INT32_MIN) return false;
  width = static_cast<uint32_t>(w);
  height = static_cast<uint32_t>(ht < 0 ? -ht : ht);  // negative: stored top-down
  return true;
}

bool png(const Header& h, uint32_t& width, uint32_t& height) {
  if (!h.has(8, 16)) return false;
  if (h.be(12, 4) != 0x49484452u) return false;  // "IHDR" first, as the format demands
  width = h.be(16, 4);
  height = h.be(20, 4);
  return true;
}

// The screen's size; the first frame must have colours, its own or the file's (Wine's
// decoder faults on a frame with neither).
bool gif(const Header& h, uint32_t& width, uint32_t& height) {
  if (!h.has(6, 7)) return false;
  width = h.le(6, 2);
  height = h.le(8, 2);
  const bool global_colours = (h.at(10) & 0x80) != 0;
  size_t pos = 13 + (global_colours ? 3u << ((h.at(10) & 7) + 1) : 0);
  while (h.has(pos, 1)) {
    if (h.at(pos) == 0x2C) return h.has(pos, 10) && (global_colours || (h.at(pos + 9) & 0x80) != 0);
    if (h.at(pos) != 0x21 || !h.has(pos, 2)) return false;
    for (pos += 2; h.has(pos, 1) && h.at(pos) != 0; pos += 1 + h.at(pos)) {  // the extension's sub-blocks
    }
    ++pos;
  }
  return false;
}

// The frame header (SOFn) among the segments before the scan.
bool jpeg(const Header& h, uint32_t& width, uint32_t& height) {
  size_t pos = 2;
  while (h.has(pos, 4)) {
    if (h.at(pos) != 0xFF) return false;
    const uint8_t marker = h.at(pos + 1);
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      pos += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // the end or the scan, and no frame yet
    const size_t length = h.be(pos + 2, 2);
    if (length < 2) return false;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (!h.has(pos + 4, 5)) return false;
      height = h.be(pos + 5, 2);
      width = h.be(pos + 7, 2);
      return true;
    }
    pos += 2 + length;
  }
  return false;
}

// Numbers of a TIFF file in its byte order.
struct Tiff {
  const Header& h;
  bool little;
  explicit Tiff(const Header& header) : h(header), little(header.at(0) == 'I') {}
  uint32_t num(size_t at, int n) const { return little ? h.le(at, n) : h.be(at, n); }
  // The offset of directory entry i, or 0 past the bytes.
  size_t entry(size_t ifd, size_t i) const { return h.has(ifd + 2 + 12 * i, 12) ? ifd + 2 + 12 * i : 0; }
};

// ImageWidth (256) and ImageLength (257) of the first directory.
bool tiff(const Header& h, uint32_t& width, uint32_t& height) {
  const Tiff t(h);
  if (!h.has(0, 8) || t.num(2, 2) != 42) return false;
  const size_t ifd = t.num(4, 4);
  if (!h.has(ifd, 2)) return false;
  const size_t entries = t.num(ifd, 2);
  width = height = 0;
  for (size_t i = 0, e; i < entries && (e = t.entry(ifd, i)) != 0; ++i) {
    const uint32_t tag = t.num(e, 2), type = t.num(e + 2, 2);
    if ((tag != 256 && tag != 257) || (type != 3 && type != 4)) continue;
    const uint32_t value = type == 3 ? t.num(e + 8, 2) : t.num(e + 8, 4);
    (tag == 256 ? width : height) = value;
  }
  return width && height;
}

bool is_tiff(const Header& h) { return h.starts_with("II*\0", 4) || h.starts_with("MM\0*", 4); }

// The entry of `tag` in the directory at `ifd`, 0 when it has none.
size_t tag_entry(const Tiff& t, size_t ifd, uint32_t tag) {
  if (!t.h.has(ifd, 2)) return 0;
  const size_t entries = t.num(ifd, 2);
  for (size_t i = 0, e; i < entries && (e = t.entry(ifd, i)) != 0; ++i)
    if (t.num(e, 2) == tag) return e;
  return 0;
}

// An ASCII value without its terminator and trailing blanks; empty when absent.
std::string tag_text(const Tiff& t, size_t ifd, uint32_t tag) {
  const size_t e = tag_entry(t, ifd, tag);
  if (!e || t.num(e + 2, 2) != 2) return "";
  const size_t count = t.num(e + 4, 4), at = count <= 4 ? e + 8 : t.num(e + 8, 4);
  if (!t.h.has(at, count)) return "";
  std::string text;
  for (size_t i = 0; i < count && t.h.at(at + i) != 0; ++i) text += static_cast<char>(t.h.at(at + i));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// "YYYY:MM:DD HH:MM:SS" as local time; 0 for anything else.
int64_t exif_time(const std::string& text) {
  std::tm t = {};
  if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec) != 6 || t.tm_year < 1970 || t.tm_mon < 1)
    return 0;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  t.tm_isdst = -1;
  const int64_t seconds = _mktime64(&t);
  return seconds > 0 ? seconds : 0;
}

}  // namespace

bool picture_dimensions(const std::vector<uint8_t>& bytes, uint32_t& width, uint32_t& height) {
  const Header h(bytes);
  if (h.starts_with("BM", 2)) return bmp(h, width, height);
  if (h.starts_with("\x89PNG\r\n\x1A\n", 8)) return png(h, width, height);
  if (h.starts_with("GIF87a", 6) || h.starts_with("GIF89a", 6)) return gif(h, width, height);
  if (h.starts_with("\xFF\xD8", 2)) return jpeg(h, width, height);
  if (is_tiff(h)) return tiff(h, width, height);
  return false;
}

bool raw_colour_pattern_sound(const std::vector<uint8_t>& bytes) {
  const Header h(bytes);
  if (!is_tiff(h) || !h.has(0, 8)) return true;
  const Tiff t(h);
  struct Directory {
    size_t at;
    int depth;
  };
  std::vector<Directory> todo = {{t.num(4, 4), 0}};
  for (int visited = 0; !todo.empty() && visited < 64; ++visited) {
    const Directory d = todo.back();
    todo.pop_back();
    if (!h.has(d.at, 2)) continue;
    const size_t entries = t.num(d.at, 2);
    bool six_by_six = false;  // CFARepeatPatternDim 6 x 6 seen so far, as LibRaw reads them
    for (size_t i = 0, e; i < entries && (e = t.entry(d.at, i)) != 0; ++i) {
      const uint32_t tag = t.num(e, 2), count = t.num(e + 4, 4);
      if (tag == 33421) six_by_six = t.num(e + 8, 2) == 6 && t.num(e + 10, 2) == 6;
      if ((tag == 33422 || tag == 64777) && count == 36 && !six_by_six) return false;
      if (tag == 330 && d.depth < 4) {  // SubIFDs: one inline, more in an array
        for (uint32_t k = 0; k < count && k < 8; ++k) {
          const size_t at = count == 1 ? e + 8 : t.num(e + 8, 4) + 4 * size_t(k);
          if (h.has(at, 4)) todo.push_back({t.num(at, 4), d.depth + 1});
        }
      }
    }
    const size_t next = d.at + 2 + 12 * entries;
    if (h.has(next, 4) && t.num(next, 4) != 0) todo.push_back({t.num(next, 4), d.depth});
  }
  return true;
}

bool decodable_picture(const std::vector<uint8_t>& bytes) {
  uint32_t width = 0, height = 0;
  if (!picture_dimensions(bytes, width, height) || width == 0 || height == 0) return false;
  return static_cast<uint64_t>(width) * height <= kMaxPicturePixels;
}

bool read_exif_facts(const std::vector<uint8_t>& tiff, ExifFacts& facts) {
  const Header h(tiff);
  if (!is_tiff(h) || !h.has(0, 8)) return false;
  const Tiff t(h);
  const size_t ifd0 = t.num(4, 4);
  facts.make = tag_text(t, ifd0, 0x010F);
  facts.model = tag_text(t, ifd0, 0x0110);
  if (!facts.make.empty() && facts.model.compare(0, facts.make.size() + 1, facts.make + " ") == 0)
    facts.model.erase(0, facts.make.size() + 1);
  const size_t exif = tag_entry(t, ifd0, 0x8769);  // the Exif directory
  std::string when = exif ? tag_text(t, t.num(exif + 8, 4), 0x9003) : "";  // DateTimeOriginal
  if (when.empty()) when = tag_text(t, ifd0, 0x0132);                      // DateTime
  facts.timestamp = exif_time(when);
  return true;
}

void write_camera(FoundFile& record, const char* make, const char* model) {
  std::snprintf(record.camera, sizeof record.camera, "%s %s", make, model);
}
