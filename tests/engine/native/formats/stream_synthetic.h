// Stream formats no Debian tool writes, built to their public layouts.
#pragma once
#include "formats/samples.h"

namespace kes::test {

// An APEv2 tag with a header, two items and its footer.
Bytes make_ape_tag();
// Monkey's Audio with a descriptor (3.99), three frames of stand-in data, an APE tag and
// an ID3v1 tag.
Bytes make_ape();
// A TiVo recording around the given MPEG stream: header, an XML and a blob chunk.
Bytes make_tivo(const Bytes& mpeg);

}  // namespace kes::test
