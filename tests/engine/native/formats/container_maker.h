// Containers no Debian tool writes, built to their public layouts.
#pragma once
#include <initializer_list>

#include "formats/samples.h"

namespace kes::test {

Bytes make_ra(int version);  // RealAudio header of version 3, 4 or 5 and its audio bytes
// A compound file (512-byte sectors, FAT and directory first) holding streams of the
// given names, each at least the mini-stream cutoff long.
Bytes make_compound(std::initializer_list<const char*> streams);
Bytes make_max();            // a scene file's streams
Bytes make_fcp(bool le);     // project header and a run of property records
Bytes strip_ftyp(const Bytes& mov);  // a QuickTime movie as written before the file-type box

}  // namespace kes::test
