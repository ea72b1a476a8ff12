#!/usr/bin/env python3
"""Writes the format tests' samples of music and project formats that no Debian tool
writes, laid out as the formats' public descriptions say, and the compressed variants
of samples made by make_media.sh. Usage: make_music.py <media-dir>"""
import gzip
import lzma
import os
import struct
import sys
import zlib

out = sys.argv[1]


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def read(name):
    with open(os.path.join(out, name), "rb") as f:
        return f.read()


def noise(n, seed):
    x, b = seed * 2654435761 + 1, bytearray()
    for _ in range(n):
        x = (x * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        b.append(x >> 56)
    return bytes(b)


# Flash: the generated uncompressed movie, zlib- and LZMA-compressed.
fws = read("swf_fws.swf")
z = zlib.compressobj(9)
write("swf_cws.swf", b"CWS" + fws[3:8] + b"".join(z.compress(fws[at:at + 4096]) + z.flush(zlib.Z_FULL_FLUSH)
                                                  for at in range(8, len(fws), 4096)) + z.flush())
alone = lzma.compress(fws[8:], format=lzma.FORMAT_ALONE)  # properties, 64-bit size, data
body = alone[13:]
write("swf_zws.swf", b"ZWS\x0d" + fws[4:8] + struct.pack("<I", len(body)) + alone[:5] + body)

# Live sets: gzip members of the XML document, with and without the optional fields.
doc = (b'<?xml version="1.0" encoding="UTF-8"?>\n<Ableton MajorVersion="5" MinorVersion="11.0_433">\n'
       + b"".join(b'  <Track Id="%d"><Name Value="Track %d"/><Clip Start="%d" Hash="%s"/></Track>\n'
                  % (i, i, i * 7, noise(6, i).hex().encode()) for i in range(3000)) + b"</Ableton>\n")
write("als_plain.als", gzip.compress(doc, 9, mtime=0))
raw = zlib.compressobj(6, zlib.DEFLATED, -15)
more = b"<!-- saved twice -->\n" * 150
deflated = raw.compress(doc + more) + raw.flush()
header = b"\x1f\x8b\x08" + bytes([4 | 8 | 16 | 2]) + b"\0\0\0\0\0\x03"
header += struct.pack("<H", 6) + b"AB\x02\0xy" + b"Set.als\0" + b"saved\0"
header += struct.pack("<H", zlib.crc32(header) & 0xFFFF)
write("als_fields.als", header + deflated + struct.pack("<II", zlib.crc32(doc + more), len(doc + more)))
write("gz_other.gz", gzip.compress(b"<?xml version=\"1.0\"?>\n<Other/>\n" * 40, mtime=0))

# CAF whose audio runs to the end: the packet table moved before the data, size -1.
caf = read("caf_alac.caf")
chunks, pos = [], 8
while pos < len(caf):
    kind, size = caf[pos:pos + 4], struct.unpack(">q", caf[pos + 4:pos + 12])[0]
    chunks.append((kind, caf[pos + 12:pos + 12 + size]))
    pos += 12 + size
order = [c for c in chunks if c[0] not in (b"data", b"pakt")] + [c for c in chunks if c[0] == b"pakt"]
data = [c for c in chunks if c[0] == b"data"][0]
caf_open = caf[:8] + b"".join(k + struct.pack(">q", len(v)) + v for k, v in order)
write("caf_open.caf", caf_open + b"data" + struct.pack(">q", -1) + data[1])

# Standard MIDI file of format 1 with a chunk of an unknown type between the tracks.
def mtrk(events):
    return b"MTrk" + struct.pack(">I", len(events) + 4) + events + b"\x00\xff\x2f\x00"


tempo = b"\x00\xff\x51\x03\x07\xa1\x20"
notes = b"".join(b"\x00\x90%c\x40\x60\x80%c\x40" % (60 + i, 60 + i) for i in range(12))
write("mid_chunks.mid", b"MThd" + struct.pack(">IHHH", 6, 1, 2, 96) + mtrk(tempo)
      + b"XFIH" + struct.pack(">I", 5) + b"extra" + mtrk(notes))

# Game music: header, instruments, a score of notes, delays, controllers, score end.
score = bytearray()
for i in range(40):
    score += bytes([0x10 | (i % 4), 0x80 | (40 + i), 100])      # play note with volume
    score += bytes([0x80 | (i % 4), 60 + i % 20, 0x81, 0x10])   # release, then a delay
score += bytes([0x40, 3, 90, 0x20, 0x70, 0x60])                 # controller, pitch, end
instruments = [0, 30, 135, 181]
mus_head = struct.pack("<4sHHHHHH", b"MUS\x1a", len(score), 16 + 2 * len(instruments), 4, 0,
                       len(instruments), 0)
write("mus_score.mus", mus_head + struct.pack("<%dH" % len(instruments), *instruments) + score)

# Sequencer project: header chunk, then events of every size class.
def varint(n):
    b = bytearray()
    while True:
        b.append((n & 0x7F) | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            return bytes(b)


events = b"\xc7" + varint(7) + b"20.8.4\0" + b"\x1c\x01" + b"\x42\x8c\x00" + b"\x9c\x00\x00\x20\x41"
events += b"".join(b"\xc0" + varint(len(t)) + t for t in [b"Pattern %d\0" % i for i in range(30)])
events += b"\xd4" + varint(300) + noise(300, 2)
write("flp_project.flp", b"FLhd" + struct.pack("<IhHH", 6, 0, 3, 96) + b"FLdt"
      + struct.pack("<I", len(events)) + events)

# Multitrack session: header, version, tracks, wave list, wave blocks.
def block(kind, data):
    return kind + struct.pack("<I", len(data)) + data


hdr = struct.pack("<iIiHHddIII", 44100, 88200, 1, 16, 1, 1.0, 1.0, 0, 0, 0) + b"\0" * 256
track = struct.pack("<ddI", 1.0, 1.0, 0) + b"Guitar".ljust(36, b"\0") + struct.pack("<IIHHHH", 1, 1, 0, 0, 0, 0)
wave = block(b"wav ", struct.pack("<II", 1, 17) + b"C:\\take1.wav\0")
blk = struct.pack("<ddddIIIIIiiiIi", 1.0, 1.0, 0, 0, 0, 88200, 1, 0, 1, 1, 0, 0, 0, 0)
ses = (block(b"hdr ", hdr) + block(b"vers", b"Session writer 1.1\0") + block(b"trks", struct.pack("<I", 1) + track)
       + b"LISTFILE" + struct.pack("<I", len(wave)) + wave + block(b"blk ", struct.pack("<I", 1) + blk))
write("ses_session.ses", b"COOLNESS" + struct.pack("<I", len(ses)) + ses)


# IT module: 3 orders, 1 instrument, 3 samples (8-bit, 16-bit stereo,
# compressed), 2 patterns (one empty by a zero offset) and a song message.
def it_module():
    orders = bytes([0, 1, 255])
    n_ins, n_smp, n_pat = 1, 3, 2
    head = bytearray(0xC0)
    head[0:4] = b"IMPM"
    head[4:30] = b"Test song".ljust(26, b"\0")
    struct.pack_into("<HHHHHHHH", head, 0x20, len(orders), n_ins, n_smp, n_pat, 0x5130, 0x0214, 0x0D, 0x07)
    head[0x30:0x36] = bytes([128, 48, 6, 125, 128, 0])
    head[0x40:0x80] = bytes([32] * 4 + [160] * 60)
    head[0x80:0xC0] = bytes([64] * 64)
    history = struct.pack("<H", 1) + bytes(8)
    tables_end = 0xC0 + len(orders) + 4 * (n_ins + n_smp + n_pat) + len(history)
    message = b"Made for the tests.\r\0"
    pos = tables_end + len(message)
    ins_at = pos
    ins = bytearray(554)
    ins[0:4] = b"IMPI"
    pos += len(ins)
    smp_at = [pos, pos + 80, pos + 160]
    pos += 240
    pat_at = pos
    pattern = struct.pack("<HH4x", 6, 64) + bytes([0x81, 1, 60, 1, 0, 0])
    pos += len(pattern)
    data8 = noise(1000, 3)
    data16 = noise(4 * 700, 4)
    blocks = b"".join(struct.pack("<H", len(b)) + b for b in (noise(200, 5), noise(90, 6)))
    data_at = [pos, pos + len(data8), pos + len(data8) + len(data16)]

    def sample(flags, length, at):
        s = bytearray(80)
        s[0:4] = b"IMPS"
        s[0x11], s[0x12], s[0x13] = 64, flags, 64
        struct.pack_into("<IIIIIII", s, 0x30, length, 0, 0, 8363, 0, 0, at)
        return bytes(s)

    samples = (sample(1, 1000, data_at[0]) + sample(1 | 2 | 4, 700, data_at[1])
               + sample(1 | 8, 0x8000 + 10, data_at[2]))
    head[0x2E] = 7  # message, edit history, (reserved bit 2)
    struct.pack_into("<HI", head, 0x36, len(message), tables_end)
    tables = orders + struct.pack("<I", ins_at) + struct.pack("<3I", *smp_at) + struct.pack("<2I", 0, pat_at)
    return bytes(head) + tables + history + message + bytes(ins) + samples + pattern + data8 + data16 + blocks


write("it_module.it", it_module())


# Extended module: 2 patterns, an instrument with two samples (8- and 16-bit), one without.
def xm_module():
    head = bytearray(b"Extended Module: " + b"Test song".ljust(20, b"\0") + b"\x1a"
                     + b"Test tracker        " + struct.pack("<HI", 0x0104, 276))
    head += struct.pack("<HHHHHHHH", 3, 0, 4, 2, 2, 1, 6, 125) + bytes([0, 1, 0]) + bytes(253)
    packed = bytes([0x98, 3, 0x83, 49, 1, 0x80, 0x80]) * 4
    patterns = struct.pack("<IBHH", 9, 0, 64, len(packed)) + packed + struct.pack("<IBHH", 9, 0, 16, 0)
    ins = struct.pack("<I", 263) + b"Lead".ljust(22, b"\0") + struct.pack("<BHI", 0, 2, 40) + bytes(263 - 33)

    def sample(length, kind, name):
        return struct.pack("<IIIBbBBbB", length, 0, 0, 64, 0, kind, 128, 0, 0) + name.ljust(22, b"\0")

    ins += sample(600, 0, b"saw") + sample(800, 0x10, b"pad") + noise(1400, 7)
    empty = struct.pack("<I", 29) + b"Empty".ljust(22, b"\0") + struct.pack("<BH", 0, 0)
    return bytes(head) + patterns + ins + empty


write("xm_module.xm", xm_module())


# Dictation recordings: a header of `version` blocks (hardware, times, length in ASCII),
# then audio blocks of 512 bytes.
def dictation(version, kind, blocks):
    head = bytearray(version * 512)
    head[0:4] = bytes([version]) + kind
    head[12:28] = b"DS-TEST".ljust(16, b" ")
    head[32:38] = b"\xfe\xff\xfe\xff\xf7\xff"
    head[38:68] = b"240131101500" + b"240131101503" + b"000003"
    return bytes(head) + b"".join(bytes([0x80 | i % 0x40, 0xFF, 2, 0, 6, 0]) + noise(506, 20 + i)
                                  for i in range(blocks))


write("dss_memo.dss", dictation(2, b"dss", 12))
write("ds2_memo.ds2", dictation(3, b"ds2", 9))


# Tablature: version field, texts, notices, lyrics, then the rest of the song.
def sized(text):
    return struct.pack("<IB", len(text) + 1, len(text)) + text


gp5 = bytes([24]) + b"FICHIER GUITAR PRO v5.00".ljust(30, b"\0")
gp5 += b"".join(sized(t) for t in [b"Etude", b"", b"Test", b"", b"", b"Anon", b"", b"", b""])
gp5 += struct.pack("<I", 2) + sized(b"first notice") + sized(b"second")
gp5 += struct.pack("<I", 1) + b"".join(struct.pack("<II", 1, 5) + b"la la" for _ in range(5))
write("gp5_song.gp5", gp5 + noise(3000, 9) + b"\x01")

# Notation score and rack song: the signature, then data this test cannot tell from noise.
write("sib_score.sib", b"\x0fSIBELIUS\0\0\x40\0\x02\0" + noise(5000, 10) + b"\x2a")
write("rns_song.rns", b"Propellerheads Reason Song File\x1a" + noise(7000, 11) + b"\x07")
