// Builds an image file with test files placed at chosen offsets and remembers them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kes_test {

class CardImage {
 public:
  explicit CardImage(uint64_t size) : bytes_(size) {}
  // Places `file` at `offset`; `expect` says whether the engine should report it.
  void place(uint64_t offset, const std::vector<uint8_t>& file, bool expect = true);
  void put(uint64_t offset, const void* data, size_t n);
  void save(const std::string& path) const;
  uint64_t size() const { return bytes_.size(); }
  // Expected files by content, for matching what the engine wrote.
  const std::vector<std::vector<uint8_t>>& expected() const { return expected_; }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<std::vector<uint8_t>> expected_;
};

}  // namespace kes_test
