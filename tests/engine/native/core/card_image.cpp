#include "card_image.h"

#include <cstring>
#include "engine_process.h"

namespace kes_test {

void CardImage::place(uint64_t offset, const std::vector<uint8_t>& file, bool expect) {
  put(offset, file.data(), file.size());
  if (expect) expected_.push_back(file);
}

void CardImage::put(uint64_t offset, const void* data, size_t n) {
  std::memcpy(bytes_.data() + offset, data, n);
}

void CardImage::save(const std::string& path) const { write_file(path, bytes_); }

}  // namespace kes_test
