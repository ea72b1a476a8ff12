// Raw deflate through zlib, fed span by span from the cursor. zlib is asked to return at
// every block's end (Z_BLOCK), so that a stream that breaks or whose check fails can be
// kept up to its last whole block.
#include "formats/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace kes {
namespace {

constexpr size_t kOutBytes = 64 * 1024;

class Stream {
 public:
  Stream() { ok_ = inflateInit2(&z_, -15) == Z_OK; }
  ~Stream() {
    if (ok_) inflateEnd(&z_);
  }
  bool ok() const { return ok_; }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};

}  // namespace

Inflated inflate(Cursor& cur, uint64_t pos, uint64_t max_out, InflateSink& sink) {
  Inflated r;
  r.block_end = r.last_start = pos;
  Stream stream;
  if (!stream.ok()) return r;
  z_stream& z = stream.z();
  std::unique_ptr<uint8_t[]> out(new uint8_t[kOutBytes]);
  uint64_t next = pos;  // the next input byte not yet handed to zlib
  for (;;) {
    // Past the input's end zlib is still called: what it holds may finish the stream.
    bool input_ended = false;
    if (z.avail_in == 0) {
      size_t avail = 0;
      const uint8_t* s = cur.span(next, &avail);
      input_ended = !s;
      z.next_in = const_cast<uint8_t*>(s);
      z.avail_in = s ? static_cast<uInt>(std::min<size_t>(avail, UINT_MAX)) : 0;
      next += z.avail_in;
    }
    // Never more than one byte past the most wanted (r.out <= max_out here).
    const uint64_t room = max_out - r.out;
    z.next_out = out.get();
    z.avail_out = static_cast<uInt>(room < kOutBytes ? room + 1 : kOutBytes);
    const uInt had_in = z.avail_in;
    const int rc = ::inflate(&z, Z_BLOCK);
    const size_t produced = static_cast<size_t>(z.next_out - out.get());
    r.out += produced;
    if (produced && !sink.take(out.get(), produced)) {
      r.status = Inflated::broken;
      return r;
    }
    if (r.out > max_out) {
      r.status = Inflated::too_long;
      return r;
    }
    // A partly used byte counts as used: zlib holds fewer than 8 bits at a block's end.
    // It stops at the final block's end before it reports the stream's.
    const uint64_t at = next - z.avail_in;
    if ((rc == Z_STREAM_END || (rc == Z_OK && (z.data_type & 128))) && at != r.block_end) {
      r.last_start = r.block_end;
      r.block_end = at;
    }
    if (rc == Z_STREAM_END) {
      r.status = Inflated::done;
      r.end = at;
      return r;
    }
    const bool stuck = z.avail_in == had_in && produced == 0;
    if ((rc != Z_OK && rc != Z_BUF_ERROR) || (stuck && !input_ended)) {
      r.status = Inflated::broken;
      return r;
    }
    if (input_ended) {
      r.status = Inflated::cut;
      return r;
    }
  }
}

}  // namespace kes
