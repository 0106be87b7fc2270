#!/usr/bin/env bash
# Tiny files that claim a lot: each costs its reader or the reduction far more than its size
# suggests. make.sh [FOLDER] writes them into FOLDER (by default beside this script); the one of
# hundreds of megabytes (sparse) is made only into a FOLDER given, never committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
large=$([ $# -ge 1 ] && echo 1 || echo 0)
mkdir -p "$out"
python3 - "$out" "$large" <<'PY'
import os, struct, sys, zlib

out, large = sys.argv[1], sys.argv[2] == "1"

def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)

# BMP, 1 bit per pixel, 2147483647 x 1: 16 bytes of pixels, the rest of the row reads as 0.
width = 2147483647
info = struct.pack("<IiiHHIIiiII", 40, width, 1, 1, 1, 0, 0, 0, 0, 2, 0)
palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
pixels = bytes([0x55] * 16)
offset = 14 + len(info) + len(palette)
write("wide-1bit.bmp", b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels)

# PNG, grey 1 bit, 1000000000 x 1: the compressed row stops after a few bytes.
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
packer = zlib.compressobj(9)
idat = packer.compress(b"\0" + b"\x5a" * 4096) + packer.flush(zlib.Z_SYNC_FLUSH)
write("wide-1bit.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1000000000, 1, 1, 0, 0, 0, 0))
      + chunk(b"IDAT", idat) + chunk(b"IEND", b""))

# TIFF (little-endian): tags as (tag, type, count, value or offset).
SHORT, LONG = 3, 4
def tiff(entries, tail=b""):
    entries = sorted(entries)
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        ifd += struct.pack("<HHII", tag, kind, count, value)
    return b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + tail

def bilevel(width, height, compression, strip):
    # The strip follows the directory of eight tags.
    data_at = 8 + 2 + 8 * 12 + 4
    return tiff([(256, LONG, 1, width), (257, LONG, 1, height), (258, SHORT, 1, 1), (259, SHORT, 1, compression),
                 (262, SHORT, 1, 0), (273, LONG, 1, data_at), (278, LONG, 1, height), (279, LONG, 1, len(strip))],
                strip)

# 1 x 268435456, one uncompressed strip of a few bytes.
write("tall-1x268m.tif", bilevel(1, 268435456, 1, b"\xff" * 8))
# Fax pages of 65535 x 65535 from a few bytes: G3 (one-dimensional) and G4.
write("fax-g3-65535.tif", bilevel(65535, 65535, 3, b"\x00\x01" + b"\xb2\x59" * 4))
write("fax-g4-65535.tif", bilevel(65535, 65535, 4, b"\xff" * 16))

# A progressive grey JPEG of 16000 x 16000 with 499 scans of no data: every scan is a pass over
# all blocks.
def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload
one_code = b"\x01" + b"\0" * 15 + b"\0"
jpeg = b"\xff\xd8" + segment(0xDB, b"\0" + b"\x01" * 64)
jpeg += segment(0xC2, b"\x08" + struct.pack(">HH", 16000, 16000) + b"\x01\x01\x11\x00")
jpeg += segment(0xC4, b"\x00" + one_code) + segment(0xC4, b"\x10" + one_code)
jpeg += segment(0xDA, b"\x01\x01\x00\x00\x00\x00")
for _ in range(498):
    jpeg += segment(0xDA, b"\x01\x01\x00\x01\x3f\x00")
write("progressive-499.jpg", jpeg + b"\xff\xd9")

if large:
    # 1 x 134217728 in strips of one row: tables of 128 Mi entries (offsets of 4 bytes, counts of
    # 2), sparse and all zero, just within the file-data limit.
    rows = 1 << 27
    tables_at = 4096
    head = tiff([(256, LONG, 1, 1), (257, LONG, 1, rows), (258, SHORT, 1, 8), (259, SHORT, 1, 1), (262, SHORT, 1, 1),
                 (273, LONG, rows, tables_at), (278, LONG, 1, 1), (279, SHORT, rows, tables_at + 4 * rows)])
    with open(os.path.join(out, "strips-128m.tif"), "wb") as f:
        f.write(head)
        f.truncate(tables_at + 6 * rows)

# 32768 x 32767 in tiles of 1 x 1: a thousand million tiles, of which the tables name one.
write("tiles-1x1.tif", tiff([(256, LONG, 1, 32768), (257, LONG, 1, 32767), (258, SHORT, 1, 8), (259, SHORT, 1, 1),
                             (262, SHORT, 1, 1), (322, LONG, 1, 1), (323, LONG, 1, 1), (324, LONG, 1, 8),
                             (325, LONG, 1, 1)]))
PY
