// JPEG marker segments: the marker codes, and readers for the segments that say how
// the entropy-coded data is laid out (frame, scan, Huffman tables, restart interval)
// and where a file's further pictures lie (the multi-picture index).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "formats/cursor.h"
#include "formats/jpeg_huffman.h"
#include "formats/jpeg_trail.h"

namespace kes::jpeg {

// Marker codes: the byte after 0xFF.
constexpr uint8_t kSOF0 = 0xC0, kSOF2 = 0xC2, kDHT = 0xC4, kDQT = 0xDB, kRST0 = 0xD0, kSOI = 0xD8, kEOI = 0xD9,
                  kSOS = 0xDA, kDNL = 0xDC, kDRI = 0xDD, kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kCOM = 0xFE;

inline bool is_rst(uint8_t m) { return m >= kRST0 && m <= kRST0 + 7; }
// Start of a frame of any coding process (the codes in between are DHT, JPG and DAC).
inline bool is_frame(uint8_t m) { return m >= kSOF0 && m <= 0xCF && m != kDHT && m != 0xC8 && m != 0xCC; }
inline bool is_app(uint8_t m) { return m >= kAPP0 && m <= kAPP0 + 15; }

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
  uint32_t tables_defined = 0;  // DHT segments read: tables of one count are the same
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
  // Per frame component, the coefficients whose last bit a scan walked whole carried: a
  // picture is whole when all 64 of every component have it.
  uint64_t refined[4] = {};
  // The sequential decoder's block-start tables for the scan's components, kept while
  // the scan and its tables stay: a fragment search resumes the same scan many times.
  std::vector<uint16_t> starts;
  uint64_t starts_key = 0;  // of the tables they were built from; 0: none
  // Checkpoints of the scan being decoded, recorded when enabled (see jpeg_trail.h).
  Trail trail;
};

// Reads a SOFn segment body (after the length); false when it is not a sane frame.
bool parse_frame(DecodeState& st, uint8_t marker, const uint8_t* p, size_t len);
// Reads a SOS segment body; false when it does not fit the frame and its tables.
bool parse_scan(DecodeState& st, const uint8_t* p, size_t len);
// Reads a DHT segment body, one table or several; false when one is malformed.
bool parse_tables(DecodeState& st, const uint8_t* p, size_t len);
// Reads a DRI segment body.
bool parse_restart_interval(DecodeState& st, const uint8_t* p, size_t len);

// Notes the coefficients that the current scan, walked whole, carried to their last bit.
void scan_walked(DecodeState& st);
// Whether the scans walked carried every coefficient of every component to its last bit.
bool picture_whole(const DecodeState& st);

// MCUs in the current DCT scan; UINT64_MAX while the height is unknown (DNL).
uint64_t scan_mcus(const DecodeState& st);

// The picture list of an APP2 "MPF" segment: sizes and offsets from the index's TIFF
// header, which lies at `base` in the file.
struct MpIndex {
  uint64_t base = 0;
  uint32_t count = 0;
  uint32_t size[8] = {}, offset[8] = {};
};
// Reads an APP2 body at body_pos; leaves mp empty when it is no multi-picture index.
void parse_mp_index(const uint8_t* p, size_t len, uint64_t body_pos, MpIndex& mp);

// The marker code behind the 0xFF (and fill bytes) at pos, and the position after it.
bool marker_at(Cursor& cur, uint64_t pos, uint8_t& code, uint64_t& after);

}  // namespace kes::jpeg
