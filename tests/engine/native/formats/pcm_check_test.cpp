// Linear PCM read as sound: a calm recording whose samples give way to another file's
// bytes (a JPEG's entropy data, a TIFF's pixel rows) from a cluster on ends there, or
// where the digital silence before them begins (a zeroed cluster reads so); sound the
// check cannot tell from such bytes (a hiss from its first sample) keeps its contiguous
// reading, and whole recordings stay whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/samples.h"

namespace kes::test {
namespace {

struct Recording {
  const char* option;
  const char* name;
  const char* ext;
  bool calm;  // opens calmly enough for another file's bytes to show
};

TEST(SoundSamples, AnotherFilesBytesEndACalmRecordingWhereTheyBegin) {
  const Recording recordings[] = {
      {"riff", "world_memo.wav", "wav", true},   {"riff", "world_bext.wav", "wav", true},
      {"riff", "riff_wav_odd.wav", "wav", true},  // 8-bit, stored plus 128
      {"riff", "world_hiss.wav", "wav", false},  {"aif", "world_memo.aif", "aif", true},
      {"aif", "aif_aifc.aifc", "aif", true},      {"au", "au_sox.au", "au", true},
  };
  const Bytes jpeg = sample("jpg_big.jpg"), tiff = sample("tif_strips.tif");
  for (const Recording& r : recordings) {
    SCOPED_TRACE(r.name);
    const Bytes file = sample(r.name);
    expect_exact(r.option, file, r.ext);
    for (const size_t at : {size_t(4096), std::max<size_t>(4096, file.size() / 2 / 4096 * 4096)}) {
      for (const Bytes* other : {&jpeg, &tiff}) {
        Bytes mixed = file;
        for (size_t i = at, from = other->size() / 3; i < mixed.size(); ++i, ++from)
          mixed[i] = (*other)[from % other->size()];
        const Carve c = measure(fmt(r.option), mixed, 0);
        if (r.calm) {  // at the other bytes, or before the silence that leads to them
          EXPECT_EQ(c.verdict, Verdict::truncated) << at;
          EXPECT_LE(c.length, at);
          EXPECT_GE(c.length + 128 * 1024, at);
        } else {
          EXPECT_EQ(c.length, file.size()) << at;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kes::test
