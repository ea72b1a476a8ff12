#include "raw/cr3_previews.h"

#include <algorithm>
#include <cstring>

#include "imaging/picture_header.h"

namespace {

const uint8_t kCanonBox[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                               0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
const uint8_t kPreviewBox[16] = {0xea, 0xf4, 0x2b, 0x5e, 0x1c, 0x98, 0x4b, 0x88,
                                 0xb9, 0xfb, 0xb7, 0xdc, 0x40, 0x6e, 0x4d, 0x16};

struct Box {
  char type[5] = {};
  size_t body = 0;  // past the header (and a uuid box's 16-byte id)
  size_t end = 0;
  const uint8_t* uuid = nullptr;
};

class Boxes {
 public:
  explicit Boxes(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  bool has(uint64_t at, uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
  uint64_t be(size_t at, int n) const {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b_[at + i];
    return v;
  }
  // The boxes nested exactly in [pos, end).
  std::vector<Box> in(size_t pos, size_t end) const {
    std::vector<Box> out;
    while (pos < end && has(pos, 8) && out.size() < 256) {
      Box box;
      uint64_t size = be(pos, 4), header = 8;
      if (size == 1 && has(pos, 16)) size = be(pos + 8, 8), header = 16;
      if (size < header || size > end - pos) break;
      std::memcpy(box.type, &b_[pos + 4], 4);
      if (std::strcmp(box.type, "uuid") == 0) {
        if (size < header + 16) break;
        box.uuid = &b_[pos + header];
        header += 16;
      }
      box.body = pos + header;
      box.end = pos + size;
      out.push_back(box);
      pos = box.end;
    }
    return out;
  }
  const Box* find(const std::vector<Box>& boxes, const char* type, const uint8_t* uuid = nullptr) const {
    for (const Box& b : boxes)
      if (std::strcmp(b.type, type) == 0 && (!uuid || (b.uuid && std::memcmp(b.uuid, uuid, 16) == 0))) return &b;
    return nullptr;
  }

 private:
  const std::vector<uint8_t>& b_;
};

bool crx_brand(const Boxes& f, const std::vector<uint8_t>& bytes) {
  if (!f.has(0, 16) || std::memcmp(&bytes[4], "ftyp", 4) != 0) return false;
  const size_t size = std::min<uint64_t>(f.be(0, 4), bytes.size());
  for (size_t at = 8; at + 4 <= size; at += at == 8 ? 8 : 4)  // the major brand, then the compatible ones
    if (std::memcmp(&bytes[at], "crx ", 4) == 0) return true;
  return false;
}

// A preview that lies inside the file, starts a JPEG and says its size in its frame header.
void add(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t length, std::vector<JpegPreview>& out) {
  if (offset > bytes.size() || length < 4 || length > bytes.size() - offset) return;
  const auto from = bytes.begin() + static_cast<ptrdiff_t>(offset);
  const std::vector<uint8_t> head(from, from + static_cast<ptrdiff_t>(std::min<uint64_t>(length, 1 << 18)));
  JpegPreview p;
  if (head[0] != 0xFF || head[1] != 0xD8 || !picture_dimensions(head, p.width, p.height)) return;
  p.offset = static_cast<size_t>(offset);
  p.length = static_cast<size_t>(length);
  out.push_back(p);
}

// The first sample of the first track: its chunk offset and its size.
void first_track_sample(const Boxes& f, const std::vector<uint8_t>& bytes, const Box& moov,
                        std::vector<JpegPreview>& out) {
  const Box* box = &moov;
  std::vector<Box> level;
  for (const char* type : {"trak", "mdia", "minf", "stbl"}) {
    level = f.in(box->body, box->end);
    if (!(box = f.find(level, type))) return;
  }
  level = f.in(box->body, box->end);
  const Box* sizes = f.find(level, "stsz");
  const Box* co64 = f.find(level, "co64");
  const Box* stco = f.find(level, "stco");
  if (!sizes || !f.has(sizes->body, 12) || f.be(sizes->body + 8, 4) == 0) return;
  uint64_t length = f.be(sizes->body + 4, 4);
  if (length == 0 && f.has(sizes->body, 16)) length = f.be(sizes->body + 12, 4);
  if (co64 && f.has(co64->body, 16) && f.be(co64->body + 4, 4) > 0) add(bytes, f.be(co64->body + 8, 8), length, out);
  else if (stco && f.has(stco->body, 12) && f.be(stco->body + 4, 4) > 0)
    add(bytes, f.be(stco->body + 8, 4), length, out);
}

}  // namespace

std::vector<JpegPreview> cr3_previews(const std::vector<uint8_t>& bytes) {
  std::vector<JpegPreview> out;
  const Boxes f(bytes);
  if (!crx_brand(f, bytes)) return out;
  const std::vector<Box> top = f.in(0, bytes.size());
  if (const Box* moov = f.find(top, "moov")) {
    // THMB: version and flags, width, height, JPEG size, two reserved fields, the JPEG.
    if (const Box* canon = f.find(f.in(moov->body, moov->end), "uuid", kCanonBox)) {
      const std::vector<Box> inner = f.in(canon->body, canon->end);
      if (const Box* thmb = f.find(inner, "THMB"); thmb && f.has(thmb->body, 16))
        add(bytes, thmb->body + 16, f.be(thmb->body + 8, 4), out);
    }
    first_track_sample(f, bytes, *moov, out);
  }
  // The PRVW box follows 8 bytes into its uuid box: a reserved field, another, width,
  // height, another, the JPEG size, the JPEG.
  if (const Box* uuid = f.find(top, "uuid", kPreviewBox)) {
    const std::vector<Box> inner = f.in(uuid->body + 8, uuid->end);
    if (const Box* prvw = f.find(inner, "PRVW"); prvw && f.has(prvw->body, 16))
      add(bytes, prvw->body + 16, f.be(prvw->body + 12, 4), out);
  }
  std::sort(out.begin(), out.end(), [](const JpegPreview& a, const JpegPreview& b) { return a.offset < b.offset; });
  return out;
}

const JpegPreview* pick_preview(const std::vector<JpegPreview>& previews, uint32_t min_width, uint32_t min_height) {
  const JpegPreview* small = nullptr;  // the largest small enough
  const JpegPreview* large = nullptr;  // the smallest too large
  for (const JpegPreview& p : previews) {
    if (p.width < min_width || p.height < min_height) continue;
    const uint64_t area = uint64_t(p.width) * p.height;
    if (std::max(p.width, p.height) <= kSmallPreviewSide) {
      if (!small || area > uint64_t(small->width) * small->height) small = &p;
    } else if (!large || area < uint64_t(large->width) * large->height) {
      large = &p;
    }
  }
  return small ? small : large;
}
