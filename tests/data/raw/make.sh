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
