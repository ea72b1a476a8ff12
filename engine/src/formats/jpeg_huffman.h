// Huffman tables of a JPEG scan, with the look-up tables the decoders use: one code per
// look-up for the general case, and for sequential scans tables that settle a code with
// its extra bits, or several, per look-up without reading the extra bits.
#pragma once
#include <cstdint>

namespace kes::jpeg {

constexpr int kLook = 12;      // look-ahead bits of the skip, group and block-start tables
constexpr int kFastBits = 24;  // a refill leaves at least this many bits, unless the data stopped

// Layout of a skip, group or block-start entry: bits 0-5 the bits to consume, 6-13 the
// step in the block (1 for a DC code, the coefficients passed for AC codes, plus
// kEndOfBlock for an end of block). An entry that settles nothing steps 127, beyond any
// block, so that one bound check sends it the long way. Sizes beyond the range of 8-bit
// samples are never settled: the long way checks them against the precision.
constexpr int kEndOfBlock = 128;
constexpr uint16_t kGroupEob = kEndOfBlock << 6;  // the block ends with this entry
constexpr int kUnsettledStep = 127;
constexpr uint16_t kUnsettled = kUnsettledStep << 6;
inline int entry_bits(uint16_t e) { return e & 63; }
inline int entry_step(uint16_t e) { return e >> 6 & 255; }
inline bool settled(uint16_t e) { return entry_step(e) != kUnsettledStep; }

// The look-up arrays are left uninitialised (a DecodeState holds eight tables) and are
// filled by build(); nothing reads them unless defined().
class HuffTable {
 public:
  // Builds a DC (ac = false) or AC table from a DHT's 16 counts and its values; false
  // when the counts overflow.
  bool build(bool ac, const uint8_t counts[16], const uint8_t* vals, int nvals);
  bool defined() const { return defined_; }

  // The code at the top of an 11-bit look-ahead: (length << 8) | value, 0 for a code
  // longer than 11 bits (or none).
  uint16_t fast(uint32_t top11) const { return fast_[top11]; }
  // The value of the `len`-bit code `code`, or -1 when no code of that length is it.
  int value_of(int len, int32_t code) const {
    return code <= maxcode_[len] ? vals_[valptr_[len] + code - mincode_[len]] : -1;
  }
  // A code and its extra bits per kLook-bit look-up (skip-entry layout).
  const uint16_t* skip_table() const { return skip_; }
  // AC only: as many whole codes with their extra bits as a kLook-bit look-ahead settles,
  // up to and with an end of block. Built on first use.
  const uint16_t* group_table();

 private:
  bool defined_ = false;
  bool grouped_ = false;
  friend const HuffTable& no_table();
  void clear();
  uint16_t fast_[2048];
  uint16_t skip_[1 << kLook];
  uint16_t group_[1 << kLook];
  int32_t maxcode_[18] = {};  // largest code of each length, -1 when none
  int32_t valptr_[17] = {};   // index into vals of the first code of each length
  int32_t mincode_[17] = {};
  uint8_t vals_[256] = {};
};

// A table without codes, standing in for one that a scan names but no DHT defined.
const HuffTable& no_table();

// Fills a block-start table (1 << kLook entries, group layout): the DC code first, then
// the AC codes that follow it in the same look-up.
void build_start_table(const HuffTable& dc, const HuffTable& ac, uint16_t* out);

}  // namespace kes::jpeg
