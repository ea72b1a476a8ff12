#include "cluster_map.h"

#include <algorithm>

namespace kes {

void Claims::claim(uint64_t begin, uint64_t end) {
  if (end <= begin) return;
  uint64_t& e = ranges_[begin];
  e = std::max(e, end);
}

bool Claims::claimed(uint64_t off) const {
  auto it = ranges_.upper_bound(off);
  if (it == ranges_.begin()) return false;
  return off < std::prev(it)->second;
}

uint64_t Claims::first_claimed(uint64_t begin, uint64_t end) const {
  if (claimed(begin)) return begin;
  auto it = ranges_.lower_bound(begin);
  return it != ranges_.end() && it->first < end ? it->first : UINT64_MAX;
}

Measured measure_at(const std::vector<const Format*>& formats, ByteSource& medium, uint64_t offset,
                    const uint8_t* head) {
  const Format* hits[kMaxHitsPerSector];
  size_t count = 0;
  for (const Format* f : formats)
    if (count < kMaxHitsPerSector && f->probe(head)) hits[count++] = f;
  return measure_hits(hits, count, medium, offset);
}

Measured measure_hits(const Format* const* hits, size_t count, ByteSource& medium, uint64_t offset) {
  for (size_t i = 0; i < count; ++i) {
    const Format& f = *hits[i];
    const uint64_t most = std::min(f.max_length, medium.size() - offset);
    Carve r = f.measure(medium, offset, most);
    if (r.verdict == Verdict::corrupt || r.length == 0) continue;
    r.length = std::min(r.length, most);
    return Measured{&f, r};
  }
  return Measured{};
}

Pieces listed_pieces(const VolumeLayout& layout, uint64_t start, uint64_t max_length) {
  const uint64_t cs = layout.cluster_bytes();
  uint64_t c = layout.cluster_at(start);
  if (c == UINT64_MAX) return Pieces{};
  Pieces p = Pieces::whole(start, cs);
  // A chain never holds more clusters than the volume or the file's size allow: a loop
  // in a damaged table ends there.
  for (uint64_t hops = 0, most = std::min(layout.clusters(), max_length / cs + 1); hops < most; ++hops) {
    const uint64_t n = layout.next(c);
    if (n == UINT64_MAX || !p.add(layout.cluster_offset(n), cs)) break;
    c = n;
  }
  return p;
}

bool FileEnds::find(uint64_t offset, uint64_t* end, bool* measured) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = ends_.find(offset);
  if (it == ends_.end() || it->second.state == Entry::measuring) return false;
  *end = it->second.end;
  *measured = it->second.state == Entry::measured;
  return true;
}

void FileEnds::put(uint64_t offset, uint64_t end) {
  Entry e;
  e.end = end;
  store(offset, e);
}

bool FileEnds::claim(uint64_t offset, Measured* m) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto it = ends_.find(offset);
    if (it != ends_.end() && it->second.state == Entry::measured) {
      *m = it->second.m;
      return true;
    }
    if (it == ends_.end() || it->second.state == Entry::bound) break;
    settled_.wait(lock);  // measures never wait for one another: this ends
  }
  Entry e;
  e.state = Entry::measuring;
  store_locked(offset, e);
  return false;
}

void FileEnds::settle(uint64_t offset, const Measured& m) {
  Entry e;
  e.end = m.format ? offset + m.carve.length : offset;
  e.state = Entry::measured;
  e.m = m;
  store(offset, e);
  settled_.notify_all();
}

void FileEnds::store(uint64_t offset, const Entry& e) {
  std::lock_guard<std::mutex> lock(mutex_);
  store_locked(offset, e);
}

// A bounded memo, not a record: when full it starts again. A measure in flight that is
// dropped is taken twice, with the same result.
void FileEnds::store_locked(uint64_t offset, const Entry& e) {
  if (ends_.size() >= (1u << 18)) ends_.clear();
  ends_[offset] = e;
}

}  // namespace kes
