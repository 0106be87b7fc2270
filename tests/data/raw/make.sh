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
