// Validation of JPEG entropy-coded data by decoding it: Huffman codes, coefficient
// positions and restart markers are checked MCU by MCU, without reconstructing pixels.
// Kept apart from the JPEG carver so that fragment searches can re-run it from any
// position with a saved decoding state.
#pragma once
#include <cstdint>
#include <vector>
#include "formats/cursor.h"

namespace kes::jpeg {

// The look-up arrays are left uninitialised (a DecodeState holds eight tables) and are
// filled by build_table; nothing reads them unless `defined`.
struct HuffTable {
  bool defined = false;
  uint16_t fast[2048];  // 11-bit look-ahead: (length << 8) | value, 0 = longer code
  // For the sequential decoder, which skips the extra bits after each code unread: a
  // 12-bit look-ahead giving the bits a code and its extra bits take, how far it moves
  // in the block, and flags for sizes out of range (see the k* constants in
  // jpeg_scan.cpp); entries without the "ok" flag need the long way.
  uint16_t skip[4096];
  // AC only, built when a sequential scan first uses the table: as many whole codes
  // (with their extra bits) as a 12-bit look-ahead settles, up to and with an end of
  // block; the same layout plus an end-of-block flag.
  bool grouped = false;
  uint16_t group[4096];
  int32_t maxcode[18] = {};  // largest code of each length, -1 when none
  int32_t valptr[17] = {};   // index into vals of the first code of each length
  int32_t mincode[17] = {};
  uint8_t vals[256] = {};
};

// Builds a DC (ac = false) or AC table from a DHT's 16 counts and its values; false
// when the counts overflow.
bool build_table(HuffTable& t, bool ac, const uint8_t counts[16], const uint8_t* vals, int nvals);

struct Component {
  uint8_t id = 0, h = 1, v = 1, tq = 0;
  uint32_t blocks_w = 0, blocks_h = 0;  // blocks of a non-interleaved scan
};

struct DecodeState {
  // Frame
  uint8_t sof = 0;  // marker byte of the frame header
  bool progressive = false, arithmetic = false, lossless = false;
  uint8_t precision = 8;
  uint16_t width = 0, height = 0;
  int ncomp = 0;
  Component comp[4];
  int hmax = 1, vmax = 1;
  HuffTable dc[4], ac[4];
  uint16_t restart_interval = 0;
  // Scan
  int ns = 0;
  int scomp[4] = {};  // frame component index of each scan component
  uint8_t td[4] = {}, ta[4] = {};
  uint8_t ss = 0, se = 63, ah = 0, al = 0;
  // Progressive refinement needs to know which coefficients are already non-zero:
  // one 64-bit mask per block and component, kept across scans.
  std::vector<uint64_t> nonzero[4];
  bool coef_known[4] = {};
};

// Reads a SOFn segment body (after the length); false when it is not a sane frame.
bool parse_frame(DecodeState& st, uint8_t marker, const uint8_t* p, size_t len);
// Reads a SOS segment body; false when it does not fit the frame and its tables.
bool parse_scan(DecodeState& st, const uint8_t* p, size_t len);

enum class Stop : uint8_t {
  end_of_scan,      // every MCU decoded; marker_pos holds the marker that follows
  bad_code,         // a bit pattern that is no code of the table in use
  bad_coefficient,  // a coefficient beyond the block or a size out of range
  early_marker,     // a marker before the scan's last MCU
  bad_restart,      // a missing, misplaced or out-of-order restart marker
  end_of_data,      // the medium (or the size limit) ended inside the scan
};

struct ScanResult {
  Stop why = Stop::end_of_data;
  uint64_t valid_end = 0;   // the data is valid at least up to here (start of the failing MCU)
  uint64_t marker_pos = 0;  // position of the marker that ends the scan (end_of_scan)
  uint64_t mcus = 0;        // MCUs decoded in full
};

// Validates the entropy-coded data of the current scan, starting at pos (just after
// the SOS segment). Arithmetic and lossless scans are checked at marker level only.
ScanResult validate_scan(Cursor& cur, uint64_t pos, DecodeState& st);

// The same over a byte source: positions are absolute, nothing is read at or past end.
ScanResult validate_scan(ByteSource& src, uint64_t pos, uint64_t end, DecodeState& st);

// The quick look at a scan's entropy-coded data, at marker level: stuffed 0xFF00 pairs,
// restart markers in order, as many as the scan's MCUs ask for, no zeroed sector. The
// position of the marker that ends the scan, or UINT64_MAX when anything there is not
// what a clean scan holds (then only decoding tells where the data stops being valid).
uint64_t screen_scan(Cursor& cur, uint64_t pos, const DecodeState& st);

// Skips entropy-coded bytes (stuffed 0xFF00, restart markers, fill bytes) from pos and
// returns the position of the next other marker, or UINT64_MAX when the data ends first.
uint64_t next_marker(Cursor& cur, uint64_t pos);

}  // namespace kes::jpeg
