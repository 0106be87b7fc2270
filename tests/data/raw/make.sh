#!/usr/bin/env bash
# Makes small camera RAW stand-ins: TIFF structures as cameras write them, carrying a JPEG preview
# (the 64 x 48 colour fixture) where RAW files keep theirs: IFD0's JPEG interchange tags with an
# orientation of 6 (preview.nef, little-endian), a SubIFD's JPEG strip (subifd.dng, big-endian)
# beside a smaller one (40 x 1) in IFD0, and an IFD0 without any preview (nopreview.cr2).
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
import struct
jpeg = open('../jpeg/colour.jpg', 'rb').read()
stub = open('../jpeg/row1.jpg', 'rb').read()

def ifd(order, entries, next_offset=0):
    out = struct.pack(order + 'H', len(entries))
    for tag, typ, count, value in sorted(entries):
        out += struct.pack(order + 'HHI', tag, typ, count)
        out += struct.pack(order + ('HH' if typ == 3 else 'I'), *((value, 0) if typ == 3 else (value,)))
    return out + struct.pack(order + 'I', next_offset)

# preview.nef: header, IFD0 at 8 (3 entries = 2 + 36 + 4 = 42 bytes), JPEG at 50.
d = ifd('<', [(274, 3, 1, 6), (513, 4, 1, 50), (514, 4, 1, len(jpeg))])
open('preview.nef', 'wb').write(b'II*\0' + struct.pack('<I', 8) + d + jpeg)
# subifd.dng: IFD0 at 8 with the stub and a SubIFD; the SubIFD's JPEG strip.
ifd0_len = 2 + 12 * 3 + 4
sub_at = 8 + ifd0_len
sub_len = 2 + 12 * 3 + 4
stub_at = sub_at + sub_len
jpeg_at = stub_at + len(stub)
d0 = ifd('>', [(330, 4, 1, sub_at), (513, 4, 1, stub_at), (514, 4, 1, len(stub))])
d1 = ifd('>', [(259, 3, 1, 7), (273, 4, 1, jpeg_at), (279, 4, 1, len(jpeg))])
open('subifd.dng', 'wb').write(b'MM\0*' + struct.pack('>I', 8) + d0 + d1 + stub + jpeg)
open('nopreview.cr2', 'wb').write(b'II*\0' + struct.pack('<I', 8) + ifd('<', [(256, 3, 1, 4000), (257, 3, 1, 3000)]))
PY
# cfa.dng: a 64 x 48 Bayer mosaic (GRBG, 16-bit, orientation 6) of the colour fixture with no
# preview at all, for the demosaic of the sensor data.
python3 ../../../../shared/tools/make-dng.py ../jpeg/colour.ppm cfa.dng --cfa GRBG --orientation 6
# cfa_preview.dng: the same mosaic (RGGB) with a preview far smaller than its sensor data (40 x 1).
python3 ../../../../shared/tools/make-dng.py ../jpeg/colour.ppm cfa_preview.dng --preview ../jpeg/row1.jpg
# cfa_thumb.dng: the mosaic with the colour fixture as IFD0's RGB thumbnail and no JPEG at all.
python3 ../../../../shared/tools/make-dng.py ../jpeg/colour.ppm cfa_thumb.dng --thumb ../jpeg/colour.ppm
# thumbnail.crw: a Canon CRW (CIFF) stripped of its image data, keeping its 160 x 120 JPEG
# ThumbnailImage in the root heap, turned by 90 degrees and naming the camera in a heap below.
convert rose: -resize '160x120!' -quality 85 -sampling-factor 2x2 -strip crw-thumb.jpg
python3 - <<'PY'
import struct
thumb = open('crw-thumb.jpg', 'rb').read()
def heap(records):
    """records: (tag, bytes); the heap's data, its table and the table's offset."""
    data, table = b'', b''
    for tag, body in records:
        table += struct.pack('<HII', tag, len(body), len(data))
        data += body
    return data + struct.pack('<H', len(records)) + table + struct.pack('<I', len(data))
info = struct.pack('<IIfiIII', 3072, 2048, 1.0, 90, 8, 24, 257)
props = heap([(0x1810, info), (0x080A, b'Canon\0Canon EOS D60\0')])
root = heap([(0x2005, b'<Dummy raw image data>'), (0x2008, thumb), (0x300A, props)])
open('thumbnail.crw', 'wb').write(b'II' + struct.pack('<I', 26) + b'HEAPCCDR' + struct.pack('<I', 0x10002) + b'\0' * 8 + root)
PY
rm -f crw-thumb.jpg
# lossy.dng: a lossy DNG (compression 34892) whose SubIFD holds the colour fixture as linear RGB in
# four 32 x 24 baseline JPEG tiles, with a 40 x 1 preview in IFD0; lossy_damaged.dng: the same
# with a damaged first tile; lossy_damaged_nopreview.dng: that without the preview.
python3 - <<'PY'
import struct, subprocess
d = open('../jpeg/colour.ppm', 'rb').read()
w, h = 64, 48
px = d[len(d) - w * h * 3:]
tiles = []
for ty in range(0, h, 24):
    for tx in range(0, w, 32):
        rows = b''.join(px[((ty + y) * w + tx) * 3:((ty + y) * w + tx + 32) * 3] for y in range(24))
        tiles.append(subprocess.run(['cjpeg', '-quality', '95'], input=b'P6\n32 24\n255\n' + rows,
                                    capture_output=True, check=True).stdout)
preview = open('../jpeg/row1.jpg', 'rb').read()

def write(name, tiles, preview):
    def entries_size(n):
        return 2 + 12 * n + 4
    # (tag, type, values); types 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 10 SRATIONAL
    def enc(t, v):
        if t == 2: return v.encode() + b'\0'
        if t == 1: return bytes(v)
        if t in (5, 10): return b''.join(struct.pack('<ii' if t == 10 else '<II', int(round(x * 10000)), 10000) for x in v)
        return b''.join(struct.pack('<H' if t == 3 else '<I', x) for x in v)
    xyz2srgb = [3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108, 0.0415560, 0.0556434, -0.2040259, 1.0572252]
    ifd0 = [(254, 4, [1]), (271, 2, 'Tablora'), (272, 2, 'Lossy Linear'), (274, 3, [1]),
            (50706, 1, [1, 4, 0, 0]), (50707, 1, [1, 1, 0, 0]), (50708, 2, 'Tablora Lossy Linear'),
            (50721, 10, xyz2srgb), (50728, 5, [1.0, 1.0, 1.0]), (50778, 3, [21]), (330, 4, [0])]
    if preview:
        ifd0 += [(256, 4, [40]), (257, 4, [1]), (258, 3, [8, 8, 8]), (259, 3, [7]), (262, 3, [6]),
                 (273, 4, [0]), (277, 3, [3]), (278, 4, [1]), (279, 4, [len(preview)])]
    raw = [(254, 4, [0]), (256, 4, [w]), (257, 4, [h]), (258, 3, [8, 8, 8]), (259, 3, [34892]), (262, 3, [34892]),
           (277, 3, [3]), (322, 4, [32]), (323, 4, [24]), (324, 4, [0] * len(tiles)), (325, 4, [len(t) for t in tiles]),
           (50717, 3, [255, 255, 255])]
    ifds = [sorted(ifd0), sorted(raw)]
    def extra(e):
        return sum((len(enc(t, v)) + 1) & ~1 for _, t, v in e if len(enc(t, v)) > 4)
    offs = [8, 8 + entries_size(len(ifds[0])) + extra(ifds[0])]
    pos = offs[1] + entries_size(len(ifds[1])) + extra(ifds[1])
    preview_at = pos
    pos += (len(preview) + 1) & ~1 if preview else 0
    tile_at = []
    for t in tiles:
        tile_at.append(pos)
        pos += (len(t) + 1) & ~1
    out = bytearray(b'II*\0' + struct.pack('<I', 8))
    for k, e in enumerate(ifds):
        fix = {330: [offs[1]], 273: [preview_at], 324: tile_at}
        e = [(tg, t, fix.get(tg, v)) for tg, t, v in e]
        body = bytearray(struct.pack('<H', len(e)))
        ext = bytearray()
        ext_at = offs[k] + entries_size(len(e))
        for tg, t, v in e:
            b = enc(t, v)
            count = len(b) if t in (1, 2) else len(v)
            if len(b) <= 4:
                body += struct.pack('<HHI', tg, t, count) + b.ljust(4, b'\0')
            else:
                body += struct.pack('<HHI', tg, t, count) + struct.pack('<I', ext_at + len(ext))
                ext += b + (b'\0' if len(b) % 2 else b'')
        out += body + struct.pack('<I', 0) + ext
    if preview:
        out += preview + (b'\0' if len(preview) % 2 else b'')
    for t in tiles:
        out += t + (b'\0' if len(t) % 2 else b'')
    open(name, 'wb').write(out)

write('lossy.dng', tiles, preview)
# A first tile whose scan names a Huffman table it never defines: its header reads, and libjpeg
# fails as the decompression starts, where LibRaw leaves its decompressor behind.
sos = tiles[0].index(b'\xff\xda')
damaged = [tiles[0][:sos + 6] + b'\x33' + tiles[0][sos + 7:]] + tiles[1:]
write('lossy_damaged.dng', damaged, preview)
write('lossy_damaged_nopreview.dng', damaged, None)
PY
