// Camera RAW files built to the public layouts of their formats.
#pragma once
#include "formats/samples.h"

namespace kes::test {

Bytes make_nef();                    // SubIFD raw strip, preview reached through the maker note
Bytes make_dng();                    // tiled raw in a SubIFD, DNGVersion
Bytes make_cr2();                    // IFD0..IFD3 chain, "CR" marker
Bytes make_sony(const char* model);  // SubIFD raw, private IFD with an encrypted block
Bytes make_plain_raw(bool le, const char* make, uint16_t compression);
Bytes make_orf();                    // own magic, preview placed by the Olympus maker note
Bytes make_rw2(bool with_count);     // raw length from the sensor size when no count is given
Bytes make_raf(uint32_t jpeg_slot_shrink = 0);
Bytes make_x3f();
Bytes make_mrw();
Bytes make_crw();

}  // namespace kes::test
