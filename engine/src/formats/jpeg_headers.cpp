#include "formats/jpeg_headers.h"

#include <algorithm>
#include <cstring>

namespace kes::jpeg {

bool parse_frame(DecodeState& st, uint8_t marker, const uint8_t* p, size_t len) {
  if (len < 6) return false;
  int nf = p[5];
  if (nf < 1 || nf > 4 || len != 6 + 3 * size_t(nf)) return false;
  st.sof = marker;
  st.precision = p[0];
  st.height = be16(p + 1);
  st.width = be16(p + 3);
  st.lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
  st.progressive = marker == kSOF2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
  // Arithmetic coding and hierarchical frames are followed at marker level only.
  st.arithmetic = marker >= 0xC9 || (marker >= 0xC5 && marker <= 0xC7);
  if (st.width == 0) return false;
  if (st.lossless ? (st.precision < 2 || st.precision > 16) : (st.precision != 8 && st.precision != 12))
    return false;
  st.ncomp = nf;
  st.hmax = st.vmax = 1;
  for (int i = 0; i < nf; ++i) {
    Component& c = st.comp[i];
    c.id = p[6 + 3 * i];
    c.h = p[7 + 3 * i] >> 4;
    c.v = p[7 + 3 * i] & 15;
    c.tq = p[8 + 3 * i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return false;
    for (int j = 0; j < i; ++j)
      if (st.comp[j].id == c.id) return false;
    st.hmax = std::max<int>(st.hmax, c.h);
    st.vmax = std::max<int>(st.vmax, c.v);
  }
  for (int i = 0; i < nf; ++i) {
    Component& c = st.comp[i];
    uint32_t cw = (uint32_t(st.width) * c.h + st.hmax - 1) / st.hmax;
    uint32_t ch = (uint32_t(st.height) * c.v + st.vmax - 1) / st.vmax;
    c.blocks_w = (cw + 7) / 8;
    c.blocks_h = (ch + 7) / 8;
    st.nonzero[i].clear();
    st.coef_known[i] = false;
  }
  return true;
}

void scan_walked(DecodeState& st) {
  // A sequential or lossless scan carries its components whole; a progressive one its
  // spectral band, to the last bit when its successive approximation reaches 0.
  uint64_t band = ~uint64_t(0);
  if (st.progressive && !st.lossless) {
    const uint64_t to_se = st.se == 63 ? ~uint64_t(0) : (uint64_t(1) << (st.se + 1)) - 1;
    band = st.al != 0 ? 0 : to_se & ~((uint64_t(1) << st.ss) - 1);
  }
  for (int i = 0; i < st.ns; ++i) st.refined[st.scomp[i] & 3] |= band;
}

bool picture_whole(const DecodeState& st) {
  for (int c = 0; c < st.ncomp; ++c)
    if (st.refined[c] != ~uint64_t(0)) return false;
  return true;
}

bool parse_scan(DecodeState& st, const uint8_t* p, size_t len) {
  if (len < 1) return false;
  int ns = p[0];
  if (ns < 1 || ns > st.ncomp || len != 4 + 2 * size_t(ns)) return false;
  int blocks = 0;
  for (int i = 0; i < ns; ++i) {
    int idx = -1;
    for (int j = 0; j < st.ncomp; ++j)
      if (st.comp[j].id == p[1 + 2 * i]) idx = j;
    if (idx < 0) return false;
    for (int j = 0; j < i; ++j)
      if (st.scomp[j] == idx) return false;
    st.scomp[i] = idx;
    st.td[i] = p[2 + 2 * i] >> 4;
    st.ta[i] = p[2 + 2 * i] & 15;
    if (st.td[i] > 3 || st.ta[i] > 3) return false;
    blocks += st.comp[idx].h * st.comp[idx].v;
  }
  if (ns > 1 && blocks > 10) return false;
  st.ns = ns;
  const uint8_t* q = p + 1 + 2 * ns;
  st.ss = q[0];
  st.se = q[1];
  st.ah = q[2] >> 4;
  st.al = q[2] & 15;
  if (st.arithmetic || st.lossless) return true;
  if (st.progressive) {
    if (st.ss > st.se || st.se > 63) return false;
    if (st.ss == 0 && st.se != 0) return false;
    if (st.ss > 0 && ns != 1) return false;
  } else if (st.ss != 0 || st.se != 63) {
    return false;
  }
  for (int i = 0; i < ns; ++i) {
    bool dc_first = st.ss == 0 && st.ah == 0;
    if (dc_first && !st.dc[st.td[i]].defined()) return false;
    if (st.se > 0 && !st.ac[st.ta[i]].defined()) return false;
  }
  return true;
}

uint64_t scan_mcus(const DecodeState& st) {
  if (st.height == 0) return UINT64_MAX;
  if (st.ns == 1) {
    const Component& c = st.comp[st.scomp[0]];
    return uint64_t(c.blocks_w) * c.blocks_h;
  }
  uint64_t mx = (st.width + 8u * st.hmax - 1) / (8u * st.hmax);
  uint64_t my = (st.height + 8u * st.vmax - 1) / (8u * st.vmax);
  return mx * my;
}

void parse_mp_index(const uint8_t* p, size_t len, uint64_t body_pos, MpIndex& mp) {
  if (len < 16 || std::memcmp(p, "MPF\0", 4) != 0) return;
  const uint8_t* t = p + 4;
  size_t tlen = len - 4;
  bool le = t[0] == 'I' && t[1] == 'I';
  if (!le && !(t[0] == 'M' && t[1] == 'M')) return;
  auto r16 = [&](size_t o) { return le ? le16(t + o) : be16(t + o); };
  auto r32 = [&](size_t o) { return le ? le32(t + o) : be32(t + o); };
  uint32_t ifd = r32(4);
  if (ifd < 8 || ifd + 2 > tlen) return;
  uint32_t n = r16(ifd);
  for (uint32_t i = 0; i < n && ifd + 2 + 12 * (i + 1) <= tlen; ++i) {
    size_t e = ifd + 2 + 12 * i;
    if (r16(e) != 0xB002) continue;
    uint32_t bytes = r32(e + 4), off = r32(e + 8);
    if (bytes % 16 || off > tlen || bytes > tlen - off) return;
    mp.count = std::min<uint32_t>(bytes / 16, 8);
    for (uint32_t k = 0; k < mp.count; ++k) {
      mp.size[k] = r32(off + 16 * k + 4);
      mp.offset[k] = r32(off + 16 * k + 8);
    }
    mp.base = body_pos + 4;
    return;
  }
}

bool parse_tables(DecodeState& st, const uint8_t* p, size_t len) {
  ++st.tables_defined;
  size_t i = 0;
  while (i < len) {
    if (len - i < 17) return false;
    uint8_t tc = p[i] >> 4, th = p[i] & 15;
    if (tc > 1 || th > 3) return false;
    const uint8_t* counts = p + i + 1;
    int n = 0;
    for (int k = 0; k < 16; ++k) n += counts[k];
    if (len - i - 17 < size_t(n)) return false;
    if (!(tc ? st.ac[th] : st.dc[th]).build(tc == 1, counts, p + i + 17, n)) return false;
    i += 17 + n;
  }
  return true;
}

bool marker_at(Cursor& cur, uint64_t pos, uint8_t& code, uint64_t& after) {
  for (int i = 0; i < 64; ++i) {
    const uint8_t* p = cur.get(pos, 2);
    if (!p || p[0] != 0xFF) return false;
    if (p[1] != 0xFF) {
      code = p[1];
      after = pos + 2;
      return true;
    }
    ++pos;
  }
  return false;
}

bool parse_restart_interval(DecodeState& st, const uint8_t* p, size_t len) {
  if (len < 2) return false;
  st.restart_interval = be16(p);
  return true;
}

}  // namespace kes::jpeg
