// Numbers as text without printf: the old Windows runtime formats 64-bit values its own way.
#pragma once
#include <cstdint>
#include <string>

namespace kes {

inline std::string decimal(uint64_t v, size_t width = 0) {
  std::string out;
  do {
    out.insert(out.begin(), static_cast<char>('0' + v % 10));
    v /= 10;
  } while (v);
  if (out.size() < width) out.insert(0, width - out.size(), '0');
  return out;
}

// A value given in tenths, with one decimal place: 123 -> "12.3".
inline std::string tenths(uint64_t v10) { return decimal(v10 / 10) + "." + decimal(v10 % 10); }

}  // namespace kes
