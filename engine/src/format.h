// The format layer: one Format per search option, each a cheap header probe and a
// structural measure that finds where the file truly ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include "byte_source.h"

namespace kes {

enum class Kind : uint8_t { photo = 0, video = 1, audio = 2 };

enum class Verdict : uint8_t {
  complete,   // the structure was followed to its proper end
  truncated,  // valid up to `length`, then the data stops validating; worth writing
  corrupt,    // not a file of this format after all; skip
};

struct Carve {
  Verdict verdict = Verdict::corrupt;
  uint64_t length = 0;  // bytes from the start that belong to the file
  char ext[8] = {};     // extension chosen by content ("nef", "cr2"); empty = the format's name
};

struct Format {
  const char* name;    // the search option that enables it, and the default extension
  Kind kind;
  size_t probe_bytes;  // bytes the probe looks at (at most 512)
  // Cheap check of the bytes at a sector start; `head` holds probe_bytes bytes.
  bool (*probe)(const uint8_t* head);
  // Follows the structure from `start`; never reads past start + max_length.
  Carve (*measure)(ByteSource& src, uint64_t start, uint64_t max_length);
  uint64_t max_length;  // largest file of this format the engine accepts
};

// Every format the engine knows, in probing order.
const Format* format_table(size_t* count);
// The format enabled by a search option ("jpg", "tif", ...), or null.
const Format* find_format(const char* option);

}  // namespace kes
