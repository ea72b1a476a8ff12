#!/usr/bin/env python3
"""Makes a Canon CR3 file of real size from a camera's own CR3 whose pictures were
replaced by short stand-ins (exiftool's CanonRaw.cr3, a Canon EOS M50's: its boxes,
metadata and sample tables as the camera wrote them). The three JPEG previews are put
back (THMB in the moov, PRVW in its uuid box, the full-size JPEG as the first track's
sample), the two raw tracks get stand-in data of the given sizes, and every size and
offset is written anew; the camera's timed metadata (CTMD) stays as it was.

  make-cr3.py BASE.cr3 OUT.cr3 THMB.jpg PRVW.jpg FULL.jpg [--raw SMALL,FULL] [--seed N]

The raw tracks hold pseudo-random bytes (CRX-coded data looks like noise): a decoder
reads the metadata and the previews, but not the raw picture.
"""
import argparse
import random
import struct

CANON_UUID = bytes.fromhex('85c0b687820f11e08111f4ce462b6a48')
PREVIEW_UUID = bytes.fromhex('eaf42b5e1c984b88b9fbb7dc406e4d16')
CONTAINERS = {b'moov', b'trak', b'mdia', b'minf', b'stbl'}


def boxes(data, pos, end):
    """(type, header bytes, body start, end) of each box in data[pos:end]."""
    while pos + 8 <= end:
        size, kind = struct.unpack_from('>I4s', data, pos)
        head = 8
        if size == 1:
            size = struct.unpack_from('>Q', data, pos + 8)[0]
            head = 16
        if size == 0:
            size = end - pos
        if kind == b'uuid':
            head += 16
        yield kind, data[pos + head - 16:pos + head] if kind == b'uuid' else b'', pos + head, pos + size
        pos += size


def box(kind, body, uuid=b''):
    return struct.pack('>I4s', 8 + len(uuid) + len(body), kind) + uuid + body


def jpeg_size(jpeg):
    """Width and height from the frame header."""
    pos = 2
    while pos + 9 < len(jpeg):
        marker, length = jpeg[pos + 1], struct.unpack_from('>H', jpeg, pos + 2)[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack_from('>HH', jpeg, pos + 5)
            return width, height
        pos += 2 + length
    raise SystemExit('make-cr3: no frame header in a preview')


def rebuild(data, pos, end, track, samples, offsets, thumb):
    """The boxes of data[pos:end] again, with the thumbnail, each track's sample size and
    its chunk offset replaced."""
    out = b''
    for kind, uuid, body, stop in boxes(data, pos, end):
        if kind in CONTAINERS or (kind == b'uuid' and uuid == CANON_UUID):
            if kind == b'trak':
                track[0] += 1
            out += box(kind, rebuild(data, body, stop, track, samples, offsets, thumb), uuid)
        elif kind == b'THMB':
            width, height = jpeg_size(thumb)
            out += box(kind, struct.pack('>IHHIHH', 0, width, height, len(thumb), 1, 0) + thumb)
        elif kind == b'stsz':
            out += box(kind, struct.pack('>III', 0, samples[track[0]], 1))
        elif kind == b'co64':
            out += box(kind, struct.pack('>IIQ', 0, 1, offsets[track[0]]))
        else:
            out += box(kind, data[body:stop], uuid)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('base')
    ap.add_argument('out')
    ap.add_argument('thumb')
    ap.add_argument('preview')
    ap.add_argument('full')
    ap.add_argument('--raw', default='1700000,6000000')
    ap.add_argument('--seed', type=int, default=1)
    a = ap.parse_args()
    data = open(a.base, 'rb').read()
    thumb, preview, full = (open(p, 'rb').read() for p in (a.thumb, a.preview, a.full))
    rnd = random.Random(a.seed)
    raws = [rnd.randbytes(int(n)) for n in a.raw.split(',')]

    top = list(boxes(data, 0, len(data)))
    moov = next(t for t in top if t[0] == b'moov')
    # The camera's timed metadata: the fourth track's sample, as its tables place it.
    tables = {}
    track = 0
    for kind, _, body, stop in boxes(data, moov[2], moov[3]):
        if kind == b'trak':
            track += 1
            stack = [(body, stop)]
            while stack:
                b, s = stack.pop()
                for k, _, bb, ss in boxes(data, b, s):
                    if k in CONTAINERS:
                        stack.append((bb, ss))
                    elif k in (b'stsz', b'co64'):
                        tables.setdefault(track, {})[k] = data[bb:ss]
    ctmd_at = struct.unpack_from('>Q', tables[4][b'co64'], 8)[0]
    ctmd_size = struct.unpack_from('>I', tables[4][b'stsz'], 4)[0]
    ctmd = data[ctmd_at:ctmd_at + ctmd_size]
    samples = {1: len(full), 2: len(raws[0]), 3: len(raws[1]), 4: len(ctmd)}

    # Layout: ftyp, moov, the other top-level boxes up to the mdat, then the mdat with
    # its 64-bit size: the full-size JPEG, the raw tracks, the metadata.
    ftyp = data[top[0][2] - 8:top[0][3]]
    rest = b''
    for kind, uuid, body, stop in top:
        if kind == b'uuid' and uuid == PREVIEW_UUID:
            width, height = jpeg_size(preview)
            prvw = box(b'PRVW', struct.pack('>IHHHHI', 0, 1, width, height, 1, len(preview)) + preview)
            rest += box(kind, data[body:body + 8] + prvw, uuid)
        elif kind == b'uuid':
            rest += box(kind, data[body:stop], uuid)
    moov_size = len(rebuild(data, moov[2], moov[3], [0], samples, dict.fromkeys(samples, 0), thumb)) + 8
    at = len(ftyp) + moov_size + len(rest) + 16
    offsets = {}
    for t in (1, 2, 3, 4):
        offsets[t] = at
        at += samples[t]
    moov_box = box(b'moov', rebuild(data, moov[2], moov[3], [0], samples, offsets, thumb))
    payload = full + raws[0] + raws[1] + ctmd
    mdat = struct.pack('>I4sQ', 1, b'mdat', 16 + len(payload)) + payload
    open(a.out, 'wb').write(ftyp + moov_box + rest + mdat)


if __name__ == '__main__':
    main()
