// Formats for the engine's own tests. A test file is a block that starts at a sector
// boundary with "KES" + a letter, its total length (u32 LE), an extension (8 bytes) and
// a delay in ms (u32 LE) that its measure waits, and ends with "KEND".
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "format.h"

namespace kes_test {

constexpr size_t kTestHeader = 20;

const kes::Format* test_format_table(size_t* count);

// The bytes of one test file: random content between header and trailer.
std::vector<uint8_t> make_test_file(char letter, uint32_t length, const std::string& ext = "",
                                    uint32_t delay_ms = 0, uint32_t seed = 1);

}  // namespace kes_test
