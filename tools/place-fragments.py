#!/usr/bin/env python3
"""Writes files into a freshly made FAT12/16/32 or exFAT image in pieces, as a card
that was filled, partly deleted and written again holds them: the pieces of a few files
at a time interleaved cluster-wise, from the first free cluster on. Files marked listed
get their allocation (FAT chain, and exFAT's bitmap bits); the others are left as
deleted files leave them. No mounting needed.

  place-fragments.py IMAGE MANIFEST FILE...     FILE = path:pieces:listed  (listed 0/1)
  options: --seed N (piece sizes), --group N (files interleaved together, default 2),
           --at BYTES (from the first free cluster at or past that offset of the image)

Appends one line per file to MANIFEST: name, format, bytes, sha256, deleted, contiguous,
pieces, and the medium offsets of its pieces (comma-separated start+length).
"""
import hashlib
import os
import random
import struct
import sys


class Volume:
    def __init__(self, img):
        self.img = img
        img.seek(0)
        b = img.read(512)
        if b[3:11] == b'EXFAT   ':
            self.kind = 'exfat'
            sector = 1 << b[108]
            self.cluster = sector << b[109]
            self.fat_at = struct.unpack_from('<I', b, 80)[0] * sector
            self.fats = [self.fat_at]
            self.heap = struct.unpack_from('<I', b, 88)[0] * sector
            self.count = struct.unpack_from('<I', b, 92)[0]
            self.bits = 32
            self.bitmap_at = self._exfat_bitmap(struct.unpack_from('<I', b, 96)[0])
        else:
            sector, per, reserved, nfats, root = struct.unpack_from('<HBHBH', b, 11)
            total = struct.unpack_from('<H', b, 19)[0] or struct.unpack_from('<I', b, 32)[0]
            fat_sectors = struct.unpack_from('<H', b, 22)[0] or struct.unpack_from('<I', b, 36)[0]
            root_sectors = (root * 32 + sector - 1) // sector
            first = reserved + nfats * fat_sectors + root_sectors
            self.count = (total - first) // per
            self.bits = 12 if self.count < 4085 else 16 if self.count < 65525 else 32
            self.kind = 'fat%d' % self.bits
            self.cluster = sector * per
            self.fats = [(reserved + i * fat_sectors) * sector for i in range(nfats)]
            self.heap = first * sector
            self.bitmap_at = None

    def _exfat_bitmap(self, root):
        self.img.seek(self.offset(root))
        d = self.img.read(self.cluster)
        for e in range(0, len(d), 32):
            if d[e] == 0x81:
                return self.offset(struct.unpack_from('<I', d, e + 20)[0])
        raise SystemExit('place-fragments: no allocation bitmap')

    def offset(self, c):  # c counts from 2, as the file system does
        return self.heap + (c - 2) * self.cluster

    def entry(self, c):
        if self.bits == 12:
            self.img.seek(self.fats[0] + c * 3 // 2)
            v = struct.unpack('<H', self.img.read(2))[0]
            return v >> 4 if c & 1 else v & 0xFFF
        self.img.seek(self.fats[0] + c * self.bits // 8)
        return struct.unpack('<H' if self.bits == 16 else '<I', self.img.read(self.bits // 8))[0]

    def allocated(self, c):
        if self.bitmap_at is not None:
            self.img.seek(self.bitmap_at + (c - 2) // 8)
            return self.img.read(1)[0] >> ((c - 2) % 8) & 1
        return self.entry(c) != 0

    def set_entry(self, c, v):
        for fat in self.fats:
            if self.bits == 12:
                self.img.seek(fat + c * 3 // 2)
                old = struct.unpack('<H', self.img.read(2))[0]
                new = (old & 0x000F) | (v << 4) if c & 1 else (old & 0xF000) | v
                self.img.seek(fat + c * 3 // 2)
                self.img.write(struct.pack('<H', new & 0xFFFF))
            else:
                self.img.seek(fat + c * self.bits // 8)
                self.img.write(struct.pack('<H' if self.bits == 16 else '<I', v))
        if self.bitmap_at is not None:
            self.img.seek(self.bitmap_at + (c - 2) // 8)
            byte = self.img.read(1)[0] | 1 << ((c - 2) % 8)
            self.img.seek(self.bitmap_at + (c - 2) // 8)
            self.img.write(bytes([byte]))

    def chain(self, clusters):
        end = {12: 0xFFF, 16: 0xFFFF, 32: 0x0FFFFFFF if self.kind != 'exfat' else 0xFFFFFFFF}[self.bits]
        for a, b in zip(clusters, clusters[1:] + [None]):
            self.set_entry(a, b if b is not None else end)


def split(n, k, rnd):
    """n clusters in k runs of at least one, at random cut points."""
    k = max(1, min(k, n))
    cuts = sorted(rnd.sample(range(1, n), k - 1)) if k > 1 else []
    return [b - a for a, b in zip([0] + cuts, cuts + [n])]


def main(argv):
    seed, group, at_bytes = 1, 2, 0
    args = []
    it = iter(argv)
    for a in it:
        if a == '--seed':
            seed = int(next(it))
        elif a == '--group':
            group = int(next(it))
        elif a == '--at':
            at_bytes = int(next(it))
        else:
            args.append(a)
    if len(args) < 3:
        raise SystemExit(__doc__)
    image, manifest, entries = args[0], args[1], args[2:]
    rnd = random.Random(seed)
    with open(image, 'r+b') as img:
        vol = Volume(img)
        first = max(2, 2 + -(-(at_bytes - vol.heap) // vol.cluster))
        files = []
        for item in entries:
            path, pieces, listed = item.rsplit(':', 2)
            data = open(path, 'rb').read()
            n = max(1, -(-len(data) // vol.cluster))
            files.append({'path': path, 'data': data, 'runs': split(n, int(pieces), rnd),
                          'listed': listed == '1', 'clusters': []})
        # The pieces of each group of files take turns in the free clusters.
        order = []
        for g in range(0, len(files), group):
            members = files[g:g + group]
            for j in range(max(len(f['runs']) for f in members)):
                order += [(f, f['runs'][j]) for f in members if j < len(f['runs'])]
        free = (c for c in range(first, vol.count + 2) if not vol.allocated(c))
        for f, run in order:
            taken = [c for _, c in zip(range(run), free)]
            if len(taken) < run:
                raise SystemExit('place-fragments: the image is full')
            f['clusters'] += taken
        with open(manifest, 'a') as out:
            for f in files:
                cl, data = f['clusters'], f['data']
                for i, c in enumerate(cl):
                    img.seek(vol.offset(c))
                    img.write(data[i * vol.cluster:(i + 1) * vol.cluster])
                if f['listed']:
                    vol.chain(cl)
                extents = []
                for c in cl:
                    if extents and extents[-1][0] + extents[-1][1] == vol.offset(c):
                        extents[-1][1] += vol.cluster
                    else:
                        extents.append([vol.offset(c), vol.cluster])
                extents[-1][1] -= len(cl) * vol.cluster - len(data)
                name = os.path.basename(f['path'])
                out.write('%s\t%s\t%d\t%s\t%d\t%d\t%d\t%s\n' % (
                    name, name.rsplit('.', 1)[-1].lower(), len(data), hashlib.sha256(data).hexdigest(),
                    0 if f['listed'] else 1, 1 if len(extents) == 1 else 0, len(extents),
                    ','.join('%d+%d' % (o, n) for o, n in extents)))


if __name__ == '__main__':
    main(sys.argv[1:])
