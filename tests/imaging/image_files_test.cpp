// Whole-file reading limits, header restoring in memory, decoding from memory.
#include "imaging/image_files.h"
#include "imaging/picture_header.h"
#include "dng_writer.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
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

// The size every format claims is read from its header, and claims no bitmap can hold are
// refused before a decoder sees them.
TEST(PictureHeader, SizesAreReadFromEveryFormatAndImpossibleOnesRefused) {
  struct Made {
    const char* media;
    uint32_t width, height;
  } made[] = {{"rgb24.png", 40, 30}, {"indexed.gif", 16, 16}, {"halves.jpg", 300, 200}, {"cmyk.jpg", 400, 300},
              {"halves.bmp", 60, 40}, {"plain.tiff", 64, 48}, {"panorama.jpg", 4000, 1000}};
  for (const Made& m : made) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(0, read_file_to_memory((std::string("media\\") + m.media).c_str(), bytes)) << m.media;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(picture_dimensions(bytes, width, height)) << m.media;
    EXPECT_EQ(m.width, width) << m.media;
    EXPECT_EQ(m.height, height) << m.media;
    EXPECT_TRUE(decodable_picture(bytes)) << m.media;
  }
  using Bytes = std::vector<uint8_t>;
  const Bytes impossible[] = {
      {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 60, 0, 0, 0, 0, 0, 0, 0x40, 1, 0, 24, 0},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x20, 1, 0, 0, 0x20, 1},
      {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0},
      {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xC2, 0, 11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x11, 0},
      {'I', 'I', '*', 0, 8, 0, 0, 0, 2, 0, 0, 1, 4, 0, 1, 0, 0, 0, 0x70, 0x11, 1, 0, 1, 1, 4, 0, 1, 0, 0, 0,
       0x70, 0x11, 1, 0},
      {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 1, 0, 24, 0},  // no width
      {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'},  // a format GDI+ is not asked to read
  };
  // The largest picture allowed, and one pixel row and column more.
  Bytes largest = impossible[1];
  largest[18] = largest[22] = 0x20;
  largest[19] = largest[23] = 0;
  EXPECT_TRUE(decodable_picture(largest));
  for (const Bytes& bytes : impossible) {
    EXPECT_FALSE(decodable_picture(bytes)) << bytes[0] << bytes[1];
    CImage image;
    EXPECT_EQ(-1, load_image_from_memory(bytes, image));
  }
}

// A 36-colour filter pattern passes only after a 6 x 6 repeat size, as X-Trans files give
// it; the fuzzed DNG that faulted LibRaw had a 2 x 2 one (entries 13 and 14 of its first
// directory), and ordinary Bayer files pass.
TEST(PictureHeader, RawColourPatternsOf36NeedASixBySixRepeatFirst) {
  std::vector<uint8_t> dng;
  ASSERT_EQ(0, read_file_to_memory("regressions\\dng_36_colour_pattern_on_a_2x2_repeat.dng", dng));
  const size_t repeat = 8 + 2 + 12 * 13, pattern = repeat + 12;
  ASSERT_EQ(33421, dng[repeat] | dng[repeat + 1] << 8);
  ASSERT_EQ(33422, dng[pattern] | dng[pattern + 1] << 8);
  EXPECT_FALSE(raw_colour_pattern_sound(dng));
  dng[repeat + 8] = dng[repeat + 10] = 6;
  EXPECT_TRUE(raw_colour_pattern_sound(dng));
  std::swap_ranges(dng.begin() + repeat, dng.begin() + pattern, dng.begin() + pattern);  // the size comes after
  EXPECT_FALSE(raw_colour_pattern_sound(dng));
  EXPECT_TRUE(raw_colour_pattern_sound(make_dng(DngParams{})));
  EXPECT_TRUE(raw_colour_pattern_sound({'n', 'o', 't', ' ', 'T', 'I', 'F', 'F'}));
}
