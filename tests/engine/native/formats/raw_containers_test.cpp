// RAF, X3F, MRW and CRW files built to the public layouts of those formats.
#include <gtest/gtest.h>

#include "formats/synthetic.h"

namespace kes::test {
namespace {

TEST(RawContainers, CarveByteExact) {
  expect_exact("raf", make_raf(), "raf");
  expect_exact("x3f", make_x3f(), "x3f");
  expect_exact("mrw", make_mrw(), "mrw");
  expect_exact("crw", make_crw(), "crw");
}

TEST(RawContainers, InconsistentTablesAreRejected) {
  // RAF whose JPEG slot is shorter than the JPEG in it.
  EXPECT_EQ(measure(fmt("raf"), make_raf(100), 0).verdict, Verdict::corrupt);
  // X3F whose final pointer disagrees with its directory.
  Bytes x3f = make_x3f();
  x3f[x3f.size() - 4] ^= 1;
  Card card(x3f.size() + 20000, true);
  card.put(0, x3f);
  EXPECT_EQ(measure(fmt("x3f"), card.data, 0).verdict, Verdict::corrupt);
  // MRW whose dimensions block claims an unknown storage method.
  Bytes mrw = make_mrw();
  mrw[8 + 8 + 18] = 0x33;
  EXPECT_EQ(measure(fmt("mrw"), mrw, 0).verdict, Verdict::corrupt);
  // CRW whose heap table is gone.
  Bytes crw = make_crw();
  Bytes cut(crw.begin(), crw.end() - 40);
  EXPECT_EQ(measure(fmt("crw"), cut, 0).verdict, Verdict::corrupt);
}

TEST(RawContainers, CutByTheEndOfTheMedium) {
  Bytes raf = make_raf();
  Carve c = measure(fmt("raf"), Bytes(raf.begin(), raf.end() - 5000), 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, raf.size() - 5000);
  Bytes mrw = make_mrw();
  c = measure(fmt("mrw"), Bytes(mrw.begin(), mrw.end() - 1000), 0);
  EXPECT_EQ(c.verdict, Verdict::truncated);
  EXPECT_EQ(c.length, mrw.size() - 1000);
}

}  // namespace
}  // namespace kes::test
