#!/usr/bin/env python3
"""Makes a movie of more than 4 GiB out of one whose moov comes last (ffmpeg's layout:
ftyp, an 8-byte free box kept for this, mdat, moov): the mdat takes a 64-bit size in
place of the free box and `gap` bytes more before its samples, and the chunk offsets
move by as much, in 64-bit co64 tables. Writes the bytes before the gap and those after
it, so that a sparse file or a test's source puts the gap (zeros) between them.

Usage: big_movie.py <movie> <gap> <head-out> <tail-out>
"""
import struct
import sys

CONTAINERS = {b'moov', b'trak', b'mdia', b'minf', b'stbl'}


def boxes(data):
    pos = 0
    while pos + 8 <= len(data):
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        yield kind, data[pos + 8:pos + size]
        pos += size


def box(kind, body):
    return struct.pack('>I4s', 8 + len(body), kind) + body


def moved(kind, body, shift):
    if kind in CONTAINERS:
        return box(kind, b''.join(moved(k, b, shift) for k, b in boxes(body)))
    if kind == b'stco':
        count = struct.unpack('>I', body[4:8])[0]
        offsets = struct.unpack('>%dI' % count, body[8:8 + 4 * count])
        return box(b'co64', body[:8] + struct.pack('>%dQ' % count, *(o + shift for o in offsets)))
    return box(kind, body)


def main():
    movie, gap, head_out, tail_out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    top = list(boxes(open(movie, 'rb').read()))
    kinds = [k for k, _ in top]
    assert kinds == [b'ftyp', b'free', b'mdat', b'moov'], kinds
    (_, ftyp), _, (_, media), (_, moov) = top
    head = box(b'ftyp', ftyp) + struct.pack('>I4sQ', 1, b'mdat', 16 + gap + len(media))
    open(head_out, 'wb').write(head)
    open(tail_out, 'wb').write(media + moved(b'moov', moov, gap))


if __name__ == '__main__':
    main()
