// Whole-file reading limits, header restoring in memory, decoding from memory.
#include "imaging/image_files.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "imaging/image.h"

namespace {

void write_file(const char* path, const std::string& bytes) {
  FILE* f = fopen(path, "wb");
  ASSERT_NE(nullptr, f);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

// A file of the given size without writing every byte (the tail reads as zeros).
void sized_file(const char* path, LONGLONG size) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  LARGE_INTEGER at;
  at.QuadPart = size;
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
}

}  // namespace

TEST(ReadFileToMemory, SizeLimits) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(-1, read_file_to_memory("no-such-file.bin", bytes));
  write_file("empty.bin", "");
  EXPECT_EQ(-1, read_file_to_memory("empty.bin", bytes));
  EXPECT_TRUE(bytes.empty());

  sized_file("exact64.bin", 67108864);
  EXPECT_EQ(0, read_file_to_memory("exact64.bin", bytes));
  EXPECT_EQ(67108864u, bytes.size());
  bytes.clear();
  bytes.shrink_to_fit();
  DeleteFileA("exact64.bin");

  sized_file("over64.bin", 67108865);
  EXPECT_EQ(-1, read_file_to_memory("over64.bin", bytes));
  EXPECT_TRUE(bytes.empty());
  DeleteFileA("over64.bin");
}

TEST(ReadFileToMemory, AppendsAndRestoresOnlyTheHeaderOfTheCopy) {
  std::string content;
  for (int i = 0; i < 40; ++i) content += static_cast<char>(i);
  std::string stored = content;
  for (int i = 0; i < 16; ++i) stored[i] = static_cast<char>(~stored[i]);
  write_file("cached.bin", stored);

  std::vector<uint8_t> bytes = {0xAA};
  ASSERT_EQ(0, read_file_to_memory("cached.bin", bytes, true));
  ASSERT_EQ(41u, bytes.size());
  EXPECT_EQ(0xAA, bytes[0]) << "earlier content stays in front";
  EXPECT_EQ(content, std::string(bytes.begin() + 1, bytes.end()));

  std::vector<uint8_t> plain;
  ASSERT_EQ(0, read_file_to_memory("cached.bin", plain));
  EXPECT_EQ(stored, std::string(plain.begin(), plain.end())) << "the file itself is unchanged";

  write_file("short.bin", std::string("\xF0\x0F\x01", 3));
  std::vector<uint8_t> shorter;
  ASSERT_EQ(0, read_file_to_memory("short.bin", shorter, true));
  EXPECT_EQ(std::string("\x0F\xF0\xFE", 3), std::string(shorter.begin(), shorter.end()));
}

TEST(ReadFileToMemory, ReadsAFileOthersHoldOpenForWriting) {
  write_file("busy.bin", "busy");
  HANDLE writer = CreateFileA("busy.bin", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(0, read_file_to_memory("busy.bin", bytes));
  EXPECT_EQ(4u, bytes.size());
  CloseHandle(writer);
}

TEST(LoadImageFromMemory, DecodesPicturesAndRejectsJunk) {
  std::vector<uint8_t> bytes;
  ASSERT_EQ(0, read_file_to_memory("media\\rgb24.png", bytes));
  CImage image;
  ASSERT_EQ(0, load_image_from_memory(bytes, image));
  EXPECT_EQ(40, image.GetWidth());
  EXPECT_EQ(30, image.GetHeight());

  std::vector<uint8_t> junk(1000, 0x5A);
  CImage other;
  EXPECT_EQ(-1, load_image_from_memory(junk, other));
  EXPECT_EQ(-1, load_image_from_memory({}, other));
}
