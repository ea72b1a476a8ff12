// Sorting extensions into kinds, and the box for an unknown one.
#include "session/file_kinds.h"

#include <gtest/gtest.h>

#include "background_files.h"

TEST(FileKinds, TablesDecideInVideoPhotoAudioOrderWithoutCase) {
  MessageRecorder messages;
  EXPECT_EQ(0, classify_extension("JPG"));
  EXPECT_EQ(0, classify_extension("dng"));
  EXPECT_EQ(0, classify_extension("x3f"));
  for (const char* still : {"CR3", "heic", "HEIF", "avif"}) EXPECT_EQ(0, classify_extension(still)) << still;
  EXPECT_EQ(1, classify_extension("Mp4"));
  EXPECT_EQ(1, classify_extension("riff"));
  EXPECT_EQ(1, classify_extension("asf"));
  EXPECT_EQ(1, classify_extension("TIVO"));
  EXPECT_EQ(1, classify_extension("webm"));
  EXPECT_EQ(2, classify_extension("wav"));
  EXPECT_EQ(2, classify_extension("WTV"));
  EXPECT_EQ(2, classify_extension("xrns"));
  EXPECT_EQ(2, classify_extension("M4A"));
  EXPECT_TRUE(MessageRecorder::shown().empty());
}

TEST(FileKinds, UnknownExtensionShowsOneErrorBoxEachTime) {
  MessageRecorder messages;
  EXPECT_EQ(3, classify_extension("docx"));
  ASSERT_EQ(1u, MessageRecorder::shown().size());
  EXPECT_EQ(L"docx", MessageRecorder::shown()[0].text);
  EXPECT_EQ(2, MessageRecorder::shown()[0].mode);
  EXPECT_EQ(nullptr, MessageRecorder::shown()[0].owner);
  EXPECT_EQ(3, classify_extension("jp"));
  EXPECT_EQ(3, classify_extension("jpgx"));
  EXPECT_EQ(3u, MessageRecorder::shown().size());
  EXPECT_EQ(3, classify_extension_quietly("docx"));
  EXPECT_EQ(0, classify_extension_quietly("Jpg"));
  EXPECT_EQ(3u, MessageRecorder::shown().size()) << "the quiet one shows nothing";
}
