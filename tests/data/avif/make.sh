#!/usr/bin/env bash
# Makes the AVIF fixtures with libavif's avifenc from ImageMagick's rose:
#   sequence.avifs      three lossless frames (the rose, its negative, the rose upside down)
#   alpha-limited.avif  the PNG logo with its alpha squeezed into 16..235 and its alpha stream
#                       marked limited range (avifenc 0.11 always marks alpha full range: the
#                       flag is set afterwards in the AV1 sequence header)
#   grey-icc.avif       a grey ramp with a grey profile of gamma 1.8 (grey18.icc, written here),
#                       beside the same ramp as PNG with that profile (grey-icc.png) and as TIFF
#                       without it (grey-ramp.tif)
#   ycgco-re.avif       the rose coded losslessly as YCgCo-Re (matrix 16, 10 bits for 8-bit RGB;
#                       avifenc 0.11 cannot convert to it: the planes are made here as y4m),
#                       beside the rose as PNG (rose.png)
#   turned.avif         the rose cropped, turned a quarter anticlockwise and mirrored top to bottom
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert rose: -strip rose.png
convert rose: -negate -strip "$tmp/f2.png"
convert rose: -flip -strip "$tmp/f3.png"
avifenc -l -s 8 rose.png "$tmp/f2.png" "$tmp/f3.png" -o sequence.avifs >/dev/null

convert ../png/logo-rgba.png -channel A -fx '(16 + u * 219) / 255' +channel -strip "$tmp/alpha.png"
avifenc -l -s 8 "$tmp/alpha.png" -o alpha-limited.avif >/dev/null
python3 - alpha-limited.avif <<'PY'
import sys
# The sequence header OBU of the alpha stream (the second one in the file, monochrome): its
# color_range bit follows the colour description flag in color_config.
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())

class Bits:
    def __init__(self, data, pos): self.data, self.pos = data, pos * 8
    def read(self, n):
        v = 0
        for _ in range(n):
            v = (v << 1) | ((self.data[self.pos >> 3] >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return v

def range_bit(payload_start):
    b = Bits(data, payload_start)
    profile = b.read(3); b.read(1); reduced = b.read(1)
    assert reduced == 1, 'expected a reduced still-picture header'
    b.read(5)
    wbits = b.read(4) + 1; hbits = b.read(4) + 1
    b.read(wbits); b.read(hbits)
    b.read(1); b.read(1); b.read(1)  # 128x128 superblock, filter intra, intra edge filter
    b.read(1); b.read(1); b.read(1)  # superres, cdef, restoration
    high = b.read(1)
    if profile == 2 and high: b.read(1)
    mono = b.read(1) if profile != 1 else 0
    assert mono == 1, 'expected the monochrome alpha stream'
    if b.read(1): b.read(24)
    return b.pos

# Sequence header OBUs: type 1, with a size field (0x0A), in av1C and in the stream.
found = 0
i = 0
while True:
    i = data.find(b'\x0a', i)
    if i < 0 or i + 3 > len(data): break
    try:
        pos = range_bit(i + 2)
    except (AssertionError, IndexError):
        i += 1
        continue
    if (data[pos >> 3] >> (7 - (pos & 7))) & 1:
        data[pos >> 3] &= ~(1 << (7 - (pos & 7))) & 0xFF
        found += 1
    i += 1
assert found >= 1, 'no alpha sequence header marked full range'
open(path, 'wb').write(data)
PY

python3 - grey18.icc <<'PY'
import struct, sys
# A display-class grey profile: D50 white, gamma 1.8.
def tag_desc(text):
    t = text.encode() + b'\0'
    return b'desc' + b'\0' * 4 + struct.pack('>I', len(t)) + t + b'\0' * 8 + b'\0' * 3 + b'\0' * 67
def xyz(x, y, z):
    f = lambda v: struct.pack('>i', round(v * 65536))
    return b'XYZ ' + b'\0' * 4 + f(x) + f(y) + f(z)
def curv(gamma):
    return b'curv' + b'\0' * 4 + struct.pack('>IH', 1, round(gamma * 256)) + b'\0' * 2
def text(s):
    return b'text' + b'\0' * 4 + s.encode() + b'\0'
tags = [(b'desc', tag_desc('Grey gamma 1.8')), (b'wtpt', xyz(0.9642, 1.0, 0.8249)),
        (b'kTRC', curv(1.8)), (b'cprt', text('No copyright, use freely'))]
offset = 128 + 4 + 12 * len(tags)
table, body = b'', b''
for sig, data in tags:
    while len(data) % 4: data += b'\0'
    table += sig + struct.pack('>II', offset + len(body), len(data))
    body += data
size = offset + len(body)
header = struct.pack('>I', size) + b'lcms' + bytes([2, 0x10, 0, 0]) + b'mntrGRAYXYZ ' + \
    struct.pack('>6H', 2024, 1, 1, 0, 0, 0) + b'acsp' + b'\0' * 4 + struct.pack('>I', 0) + b'\0' * 8 + \
    b'\0' * 8 + struct.pack('>I', 0) + xyz(0.9642, 1.0, 0.8249)[8:] + b'\0' * 4 + b'\0' * 16 + b'\0' * 28
assert len(header) == 128
open(sys.argv[1], 'wb').write(header + struct.pack('>I', len(tags)) + table + body)
PY
convert -size 32x256 gradient:white-black -rotate 90 -colorspace Gray -depth 8 -strip -profile grey18.icc grey-icc.png
avifenc --min 0 --max 0 -y 400 -r full -s 8 --icc grey18.icc grey-icc.png -o grey-icc.avif >/dev/null
# The ramp for Little CMS's tificc, the reference.
convert grey-icc.png -strip -depth 8 -compress none grey-ramp.tif

python3 - rose.png "$tmp/ycgco.y4m" <<'PY'
import subprocess, struct, sys
ppm = subprocess.run(['convert', sys.argv[1], 'ppm:-'], check=True, capture_output=True).stdout
parts = ppm.split(maxsplit=4)
w, h = int(parts[1]), int(parts[2])
rgb = parts[4]
ys, cgs, cos = [], [], []
for i in range(w * h):
    r, g, b = rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]
    co = r - b
    t = b + (co >> 1)
    cg = g - t
    ys.append(t + (cg >> 1)); cgs.append(cg + 512); cos.append(co + 512)
with open(sys.argv[2], 'wb') as out:
    out.write(b'YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C444p10 XCOLORRANGE=FULL\nFRAME\n' % (w, h))
    for plane in (ys, cgs, cos):
        out.write(struct.pack('<%dH' % len(plane), *plane))
PY
avifenc --min 0 --max 0 -s 8 --cicp 1/13/16 "$tmp/ycgco.y4m" -o ycgco-re.avif >/dev/null

avifenc -l -s 8 --crop 4,6,60,40 --irot 1 --imir 0 rose.png -o turned.avif >/dev/null
