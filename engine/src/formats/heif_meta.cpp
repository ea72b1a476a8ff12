// A HEIF's meta box: where each item's data lies (iloc), what kind of item it is
// (iinf), and for HEVC items the size of their NAL length fields (the hvcC property an
// ipma entry gives them).
#include <map>

#include "formats/bmff_reader.h"
#include "formats/bmff_still.h"

namespace kes::bmff {
namespace {

constexpr uint32_t kMaxItems = 1u << 14;
constexpr uint32_t kMaxBoxes = 1u << 12;

struct Item {
  uint64_t offset = 0, length = 0;
  bool located = false;  // one extent in this file
  Coding coding = Coding::unchecked;
  uint8_t nal_length = 4;
};

Coding item_coding(const uint8_t* type) {
  if (is(type, "hvc1") || is(type, "hvt1")) return Coding::hevc;
  if (is(type, "av01")) return Coding::av1;
  if (is(type, "jpeg")) return Coding::jpeg;
  if (is(type, "Exif")) return Coding::exif;
  return Coding::unchecked;
}

bool valid_field_size(unsigned bytes) { return bytes == 0 || bytes == 4 || bytes == 8; }

class Meta {
 public:
  explicit Meta(Cursor& cur) : cur_(cur) {}

  // The children of [pos, end) must nest exactly; those that matter are read.
  bool walk(uint64_t pos, uint64_t end) {
    while (pos < end) {
      Box b;
      if (++boxes_ > kMaxBoxes || !read_box(cur_, pos, end, b)) return false;
      if (is(b.type, "iprp") && !walk(b.body, b.end)) return false;
      if (is(b.type, "iloc") && !locations(b)) return false;
      if (is(b.type, "iinf") && !infos(b)) return false;
      if (is(b.type, "ipco") && !properties(b)) return false;
      if (is(b.type, "ipma") && !associations(b)) return false;
      pos = b.end;
    }
    return true;
  }

  void extents(std::vector<Extent>& out) const {
    for (const auto& [id, item] : items_) {
      if (!item.located) continue;
      Extent e;
      e.offset = item.offset;
      e.length = item.length;
      e.coding = item.coding;
      e.nal_length = item.nal_length;
      out.push_back(e);
    }
  }

 private:
  Item* item(uint32_t id) { return items_.size() < kMaxItems || items_.count(id) ? &items_[id] : nullptr; }

  bool locations(const Box& b) {
    FieldReader r(cur_, b.body, b.end);
    const uint32_t version = r.u8();
    r.uint(3);
    const uint32_t sizes = r.u16();
    const unsigned offset_size = sizes >> 12, length_size = sizes >> 8 & 15, base_size = sizes >> 4 & 15;
    const unsigned index_size = version >= 1 ? sizes & 15 : 0;
    if (version > 2 || !valid_field_size(offset_size) || !valid_field_size(length_size) ||
        !valid_field_size(base_size) || !valid_field_size(index_size))
      return false;
    const uint32_t count = version < 2 ? r.u16() : r.u32();
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
      const uint32_t id = version < 2 ? r.u16() : r.u32();
      const uint32_t method = version >= 1 ? r.u16() & 15 : 0;
      const uint32_t reference = r.u16();
      const uint64_t base = r.uint(base_size);
      const uint32_t extents = r.u16();
      uint64_t offset = 0, length = 0;
      for (uint32_t k = 0; k < extents && r.ok(); ++k) {
        r.uint(index_size);
        offset = r.uint(offset_size);
        length = r.uint(length_size);
      }
      Item* it = r.ok() ? item(id) : nullptr;
      if (!it) return r.ok();
      // In this file, by file offset, in one piece of a known length.
      it->located = method == 0 && reference == 0 && extents == 1 && length > 0 && base <= UINT64_MAX - offset &&
                    base + offset <= UINT64_MAX - length;
      it->offset = base + offset;
      it->length = length;
    }
    return r.ok();
  }

  bool infos(const Box& b) {
    FieldReader r(cur_, b.body, b.end);
    const uint32_t version = r.u8();
    r.uint(3);
    r.uint(version == 0 ? 2 : 4);  // the entry count: the infe boxes that follow tell it again
    if (!r.ok()) return false;
    for (uint64_t pos = r.pos(); pos < b.end;) {
      Box infe;
      if (++boxes_ > kMaxBoxes || !read_box(cur_, pos, b.end, infe)) return false;
      FieldReader e(cur_, infe.body, infe.end);
      const uint32_t v = e.u8();
      e.uint(3);
      if (is(infe.type, "infe") && v >= 2) {
        const uint32_t id = v == 2 ? e.u16() : e.u32();
        e.u16();  // protection index
        uint8_t type[4];
        Item* it = e.code(type) ? item(id) : nullptr;
        if (it) it->coding = item_coding(type);
      }
      pos = infe.end;
    }
    return true;
  }

  // The NAL length field size of each hvcC property, by its 1-based index.
  bool properties(const Box& b) {
    uint32_t index = 0;
    for (uint64_t pos = b.body; pos < b.end;) {
      Box p;
      if (++boxes_ > kMaxBoxes || !read_box(cur_, pos, b.end, p)) return false;
      ++index;
      uint8_t config = 0;
      if (is(p.type, "hvcC") && p.end - p.body > 21 && cur_.u8(p.body + 21, config))
        nal_lengths_[index] = static_cast<uint8_t>((config & 3) + 1);
      pos = p.end;
    }
    return true;
  }

  bool associations(const Box& b) {
    FieldReader r(cur_, b.body, b.end);
    const uint32_t version = r.u8();
    const uint32_t flags = static_cast<uint32_t>(r.uint(3));
    const uint32_t count = r.u32();
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
      const uint32_t id = version < 1 ? r.u16() : r.u32();
      const uint32_t n = r.u8();
      for (uint32_t k = 0; k < n && r.ok(); ++k) {
        const uint32_t index = (flags & 1) ? r.u16() & 0x7FFF : r.u8() & 0x7F;
        const auto config = nal_lengths_.find(index);
        Item* it = config != nal_lengths_.end() && r.ok() ? item(id) : nullptr;
        if (it) it->nal_length = config->second;
      }
    }
    return r.ok();
  }

  Cursor& cur_;
  std::map<uint32_t, Item> items_;
  std::map<uint32_t, uint8_t> nal_lengths_;
  uint32_t boxes_ = 0;
};

}  // namespace

bool meta_extents(Cursor& cur, const Box& meta, std::vector<Extent>& out) {
  if (meta.end - meta.body < 4) return false;
  Meta m(cur);
  if (!m.walk(meta.body + 4, meta.end)) return false;  // past the version and flags
  m.extents(out);
  return true;
}

}  // namespace kes::bmff
