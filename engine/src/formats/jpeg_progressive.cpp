// Progressive scans: DC first and refinement scans, AC first and refinement scans. The
// AC scans track which coefficients of each block are non-zero, since a refinement
// takes a correction bit for each of those it passes.
#include "formats/jpeg_decoder.h"

namespace kes::jpeg {
namespace {

constexpr uint64_t kMaxMaskBlocks = uint64_t(1) << 23;  // 64 MiB of masks at most

// Coefficient positions a..b (inclusive) as a mask; empty when a > b.
uint64_t band(int a, int b) {
  if (a > b || a > 63) return 0;
  uint64_t from = ~uint64_t(0) << a;
  uint64_t to = b >= 63 ? ~uint64_t(0) : (uint64_t(1) << (b + 1)) - 1;
  return from & to;
}

bool fail(Stop& why, Stop w) {
  why = w;
  return false;
}

class Progressive {
 public:
  explicit Progressive(ScanRun& run) : run_(run), st_(run.st), br_(run.br) {}

  ScanResult run(uint64_t first) {
    if (!prepare_masks()) return run_.marker_level();
    const uint64_t total = scan_mcus(st_);
    const uint32_t ri = st_.restart_interval;
    const bool recording = st_.trail.recording();
    for (uint64_t mcu = first; mcu < total; ++mcu) {
      if (ri && mcu > first && mcu % ri == 0) {
        Stop why;
        if (!run_.restart(mcu, why)) return run_.restart_failed(why, mcu);
      }
      if (recording) run_.checkpoint(br_.b, mcu);
      uint64_t mcu_start = br_.consumed_pos();
      Stop why = Stop::end_of_scan;
      if (!decode_mcu(mcu, why) || br_.overran()) return run_.mcu_failed(why, mcu, mcu_start);
    }
    return run_.finish(total);
  }

 private:
  // AC scans track the non-zero coefficients of every block of their component; a
  // frame too large for that is followed at marker level.
  bool prepare_masks() {
    if (st_.se == 0) return true;
    int ci = st_.scomp[0];
    Component& c = st_.comp[ci];
    uint64_t n = uint64_t(c.blocks_w) * c.blocks_h;
    if (st_.height == 0 || n > kMaxMaskBlocks) return false;
    if (st_.nonzero[ci].size() != n) {
      if (st_.ah != 0) return false;  // refinement without the first pass's masks
      st_.nonzero[ci].assign(n, 0);
      st_.coef_known[ci] = true;
    }
    return st_.coef_known[ci];
  }

  bool decode_mcu(uint64_t mcu, Stop& why) {
    for (int i = 0; i < st_.ns; ++i) {
      const Component& c = st_.comp[st_.scomp[i]];
      int blocks = st_.ns == 1 ? 1 : c.h * c.v;
      for (int b = 0; b < blocks; ++b) {
        bool ok;
        if (st_.ss == 0)
          ok = st_.ah == 0 ? dc_first(st_.dc[st_.td[i]], why) : dc_refine();
        else
          ok = ac_block(st_.ac[st_.ta[i]], st_.scomp[i], mcu, why);
        if (!ok) return false;
      }
      if (br_.overran()) return false;
    }
    return true;
  }

  bool dc_first(const HuffTable& dc, Stop& why) {
    br_.need(16);
    int s = dc.defined() ? br_.decode(dc) : -1;
    if (s < 0) return fail(why, Stop::bad_code);
    if (s > run_.maxdc) return fail(why, Stop::bad_coefficient);
    br_.skip(s);
    return true;
  }

  bool dc_refine() {
    br_.skip(1);
    return true;
  }

  // The AC passes work on a copy of the block's mask, which the compiler can keep in a
  // register (the mask in the vector might alias the bit buffer). A changed mask goes to
  // the trail's undo log first, so that a resumed decoding can put it back.
  bool ac_block(const HuffTable& ac, int comp, uint64_t block, Stop& why) {
    if (st_.ah == 0 && run_.eobrun > 0) {
      --run_.eobrun;
      return true;
    }
    uint64_t& mask = st_.nonzero[comp][block];
    uint64_t nz = mask;
    bool ok = st_.ah == 0 ? ac_first(ac, nz, why) : ac_refine(ac, nz, why);
    if (nz != mask) {
      if (st_.trail.enabled()) st_.trail.log_mask(comp, static_cast<uint32_t>(block), mask);
      mask = nz;
    }
    return ok;
  }

  bool ac_first(const HuffTable& ac, uint64_t& nz, Stop& why) {
    for (int k = st_.ss; k <= st_.se;) {
      br_.need(16);
      int rs = br_.decode(ac);
      if (rs < 0) return fail(why, Stop::bad_code);
      int r = rs >> 4, s = rs & 15;
      if (s) {
        k += r;
        if (k > st_.se || s > run_.maxac) return fail(why, Stop::bad_coefficient);
        br_.skip(s);
        nz |= uint64_t(1) << k;
        ++k;
      } else if (r == 15) {
        k += 16;
        if (k > st_.se + 1) return fail(why, Stop::bad_coefficient);
      } else {
        run_.eobrun = (1u << r) - 1;
        if (r) run_.eobrun += br_.get(r);
        break;
      }
    }
    return true;
  }

  // Skips one correction bit for each coefficient of `mask` that is already non-zero.
  void corrections(uint64_t nz, uint64_t mask) {
    uint64_t set = nz & mask;
    if (!set) return;
    int left = __builtin_popcountll(set);
    while (left > 0) {
      int t = left < kFastBits ? left : kFastBits;
      br_.skip(t);
      left -= t;
    }
  }

  // Refinement of the AC band: a new coefficient lands after `r` zero-history
  // positions, passing over non-zero ones that each take a correction bit.
  bool ac_refine(const HuffTable& ac, uint64_t& nz, Stop& why) {
    const int se = st_.se;
    int k = st_.ss;
    if (run_.eobrun == 0) {
      while (k <= se) {
        br_.need(16);
        int rs = br_.decode(ac);
        if (rs < 0) return fail(why, Stop::bad_code);
        int r = rs >> 4, s = rs & 15;
        if (s) {
          if (s != 1) return fail(why, Stop::bad_coefficient);
          br_.skip(1);
        } else if (r != 15) {
          run_.eobrun = 1u << r;
          if (r) run_.eobrun += br_.get(r);
          break;
        }
        uint64_t zeros = ~nz & band(k, se);
        for (int i = r; i > 0 && zeros; --i) zeros &= zeros - 1;
        int stop = zeros ? __builtin_ctzll(zeros) : se + 1;
        corrections(nz, band(k, stop - 1));
        k = stop;
        if (s) {
          if (k > se) return fail(why, Stop::bad_coefficient);
          nz |= uint64_t(1) << k;
        }
        ++k;
      }
    }
    if (run_.eobrun > 0) {
      // Inside an end-of-band run every non-zero coefficient left takes one correction bit.
      corrections(nz, band(k, se));
      --run_.eobrun;
    }
    return true;
  }

  ScanRun& run_;
  DecodeState& st_;
  BitReader& br_;
};

}  // namespace

ScanResult decode_progressive(ScanRun& run, uint64_t first) { return Progressive(run).run(first); }

}  // namespace kes::jpeg
