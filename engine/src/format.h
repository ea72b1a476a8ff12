// The format layer: one Format per search option, each a cheap header probe and a
// structural measure that finds where the file truly ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include "byte_source.h"

namespace kes {

enum class Kind : uint8_t { photo = 0, video = 1, audio = 2 };

enum class Verdict : uint8_t {
  complete,   // the structure was followed to its proper end
  truncated,  // valid up to `length`, then the data stops validating; worth writing
  corrupt,    // not a file of this format after all, or nothing worth keeping; skip
};

struct Carve {
  Verdict verdict = Verdict::corrupt;
  uint64_t length = 0;  // bytes from the start that belong to the file
  // Where the structure was found broken, when that lies past `length` (the end of a
  // chunk whose checksum failed, a code that no decoder accepts); 0 when not known. A
  // corrupt carve may set both: how far its structure held before it broke. Fragment
  // searches look for the file's break there and shortly before.
  uint64_t broken_at = 0;
  // A stream without an end marker whose next unit failed to start (a missing sync byte
  // or start code): the break, if any, lies before `broken_at`, but nothing says the file
  // goes on.
  bool open_end = false;
  char ext[8] = {};     // extension chosen by content ("nef", "cr2"); empty = the format's name
};

// What a fragment search keeps of one file between the candidate splices it measures
// (the trusted prefix, a decoder's checkpoints), so that each candidate is measured
// from shortly before its splice rather than from the file's start.
class Splicer {
 public:
  virtual ~Splicer() = default;
  // The file over `file`, whose bytes before `splice` are those the splicer was made
  // from and whose rest is a candidate continuation, measured up to `limit`. Leaves
  // nothing behind for the next candidate.
  virtual Carve measure(ByteSource& file, uint64_t splice, uint64_t limit) = 0;
  // Becomes the splicer of `file`, up to `max_length`, whose bytes before `splice` are
  // those this one was made from, the rest a continuation the search took: what holds
  // before the splice is kept. False when it cannot: a new one is made then.
  virtual bool extend(ByteSource& /*file*/, uint64_t /*max_length*/, uint64_t /*splice*/) { return false; }
  // For the file it was made from, read on from its start: cuts `carve` where the data
  // stops continuing the file although the structure holds on (another file's, which
  // the same structure decodes), when the format can tell.
  virtual void hold(ByteSource& /*file*/, Carve& /*carve*/) {}
  // How far past `splice` the structure reads nothing but a payload that noise passes
  // too (the rest of the unit the splice falls in): a candidate measured no further
  // cannot be told from noise there. `splice` itself when it cannot tell.
  virtual uint64_t unchecked_to(ByteSource& /*file*/, uint64_t splice) { return splice; }
  // The medium's allocation unit: a piece may end, and another file's data begin, only
  // every so many bytes from the file's start or a splice.
  uint64_t cluster_bytes = 512;
};

// A file whose index follows its data (a movie's moov after its mdat): deleted in pieces
// and broken before the index, it shows nothing to follow until the index is found, at
// the place within its cluster that the sizes before it give.
struct TrailingIndex {
  // The file offset where the index of the file at `start` belongs, by the sizes of what
  // precedes it, when it is not there over these bytes; 0 when the file has none, has it
  // in place or elsewhere.
  uint64_t (*expected_at)(ByteSource& src, uint64_t start, uint64_t max_length);
  // Whether the 16 bytes at `h` open such an index.
  bool (*opens)(const uint8_t* h);
  // The measure with only the data from `checked_from` up to `checked_to` checked against
  // the index: what lies outside is the same in every candidate splice.
  Carve (*measure_between)(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t checked_from,
                           uint64_t checked_to);
};

// Formats whose probes accept one sector that are measured there, in probing order.
constexpr size_t kMaxHitsPerSector = 4;

struct Format {
  const char* name;    // the search option that enables it, and the default extension
  Kind kind;
  size_t probe_bytes;  // bytes the probe looks at (at most 512)
  // Cheap check of the bytes at a sector start; `head` holds probe_bytes bytes.
  bool (*probe)(const uint8_t* head);
  // Follows the structure from `start`; never reads past start + max_length.
  Carve (*measure)(ByteSource& src, uint64_t start, uint64_t max_length);
  uint64_t max_length;  // largest file of this format the engine accepts
  // Makes the splicer for a file that `measured` (over `file`, up to max_length) found
  // broken. Optional: without it every candidate is measured whole.
  std::unique_ptr<Splicer> (*splicer)(ByteSource& file, uint64_t max_length, const Carve& measured) = nullptr;
  // Optional: the file offset of the directory that the header at `head` points to, 0
  // when none. Editors write a TIFF's pixels first and its directory last, so a deleted
  // one in pieces shows nothing to follow until that directory is found.
  uint64_t (*directory_at)(const uint8_t* head) = nullptr;
  // Optional: whether the file at `start` (measured up to max_length) places at `at` data
  // that nothing checks (a raw photo's sensor data). A whole file that begins there is
  // another's, where elsewhere a picture inside may be the file's own preview.
  bool (*unchecked_at)(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t at) = nullptr;
  const TrailingIndex* trailing_index = nullptr;  // optional
};

// A sector some probes accepted: the formats, in probing order.
struct SectorHits {
  uint64_t pos = 0;
  const Format* hits[kMaxHitsPerSector] = {};
  size_t count = 0;
};

// Every format the engine knows, in probing order.
const Format* format_table(size_t* count);
// The format enabled by a search option ("jpg", "tif", ...), or null.
const Format* find_format(const char* option);

}  // namespace kes
