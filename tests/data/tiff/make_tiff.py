#!/usr/bin/env python3
"""Writes TIFF layouts that libtiff's tools and ImageMagick do not write: subsampled YCbCr in
strips and tiles under each compression, NeXT, 24-bit floating point, and old-style JPEG.
Usage: make_tiff.py SOURCE.ppm OUTDIR [SMALL.ppm JPEG.jpg RESTARTS.jpg]

The picture is taken from a binary PPM; chroma is averaged over each block's pixels inside the
picture, and blocks past the right and bottom edges are padded with the edge pixels."""

import math
import struct
import sys
import zlib


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    assert fields[0] == b"P6" and fields[3] == b"255"
    w, h = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + w * h * 3]
    return w, h, [[tuple(pixels[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def lzw(data):
    """TIFF LZW, codes most significant bit first, code width growing one code early."""
    out = bytearray()
    acc = 0
    nacc = 0
    width = 9

    def put(code):
        nonlocal acc, nacc
        acc = (acc << width) | code
        nacc += width
        while nacc >= 8:
            nacc -= 8
            out.append((acc >> nacc) & 0xFF)
        acc &= (1 << nacc) - 1

    table = {bytes([i]): i for i in range(256)}
    next_code = 258
    put(256)
    w = b""
    for b in data:
        wc = w + bytes([b])
        if wc in table:
            w = wc
            continue
        put(table[w])
        table[wc] = next_code
        next_code += 1
        if next_code == 4094:
            put(256)
            table = {bytes([i]): i for i in range(256)}
            next_code = 258
            width = 9
        elif next_code > (1 << width) - 1:
            width += 1
        w = bytes([b])
    if w:
        put(table[w])
        next_code += 1
        if next_code > (1 << width) - 1 and width < 12:
            width += 1
    put(257)
    if nacc:
        out.append((acc << (8 - nacc)) & 0xFF)
    return bytes(out)


def packbits(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and run < 128 and data[i + run] == data[i]:
            run += 1
        if run >= 2:
            out += bytes([257 - run, data[i]])
            i += run
            continue
        j = i
        while j < len(data) and j - i < 128 and not (j + 1 < len(data) and data[j + 1] == data[j]):
            j += 1
        j = max(j, i + 1)
        out.append(j - i - 1)
        out += data[i:j]
        i = j
    return bytes(out)


COMPRESSORS = {1: lambda d: d, 5: lzw, 8: zlib.compress, 32773: packbits}


def to_ycbcr(rgb, luma, ref):
    kr, kg, kb = luma
    r, g, b = rgb
    y = kr * r + kg * g + kb * b
    cb = (b - y) / (2 - 2 * kb)
    cr = (r - y) / (2 - 2 * kr)
    return (y * (ref[1] - ref[0]) / 255 + ref[0],
            cb * (ref[3] - ref[2]) / 127 + ref[2],
            cr * (ref[5] - ref[4]) / 127 + ref[4])


def clamp(v):
    return max(0, min(255, int(round(v))))


def ycbcr_blocks(picture, w, h, x0, y0, bw, bh, sh, sv, luma, ref):
    """Block data of the area bw x bh at x0, y0: each block its sh*sv luma samples, then Cb, Cr."""
    out = bytearray()
    for by in range(y0, y0 + bh, sv):
        for bx in range(x0, x0 + bw, sh):
            ys, cbs, crs = [], [], []
            for yy in range(by, by + sv):
                for xx in range(bx, bx + sh):
                    inside = xx < w and yy < h
                    y, cb, cr = to_ycbcr(picture[min(yy, h - 1)][min(xx, w - 1)], luma, ref)
                    ys.append(clamp(y))
                    if inside:
                        cbs.append(cb)
                        crs.append(cr)
            if not cbs:
                cbs, crs = [ref[2]], [ref[4]]
            out += bytes(ys) + bytes([clamp(sum(cbs) / len(cbs)), clamp(sum(crs) / len(crs))])
    return bytes(out)


def write_tiff(path, big, w, h, tags, blocks, compression, tiled, interchange=False, tables=None):
    """tags: {tag: (type, [values])}; blocks: the uncompressed data of each strip or tile.
    interchange: tag 513 names the first block's offset; tables: old-style JPEG tables (Q0, Q1,
    DC0, DC1, AC0, AC1) put after the blocks, tags 519 to 521 pointing at them."""
    e = ">" if big else "<"
    packed = [COMPRESSORS[compression](b) for b in blocks]
    tags = dict(tags)
    tags[259] = (3, [compression])
    offsets_tag, counts_tag = (324, 325) if tiled else (273, 279)
    tags[offsets_tag] = (4, [0] * len(packed))
    tags[counts_tag] = (4, [len(p) for p in packed])
    if tables:
        for tag in (519, 520, 521):
            tags[tag] = (4, [0, 0, 0])
    order = sorted(tags)
    dir_size = 2 + 12 * len(order) + 4
    extra = bytearray()
    extra_at = 8 + dir_size
    size_of = {1: 1, 3: 2, 4: 4, 5: 8}

    def value_bytes(kind, values):
        if kind == 5:
            return b"".join(struct.pack(e + "II", n, d) for n, d in values)
        fmt = {1: "B", 3: "H", 4: "I"}[kind]
        return b"".join(struct.pack(e + fmt, v) for v in values)

    # Data first after the directory and its long values, so the offsets are known.
    long_values = sum(len(value_bytes(t, v)) for t, v in tags.values() if size_of[t] * len(v) > 4)
    data_at = extra_at + long_values + (long_values & 1)
    offsets = []
    pos = data_at
    for p in packed:
        offsets.append(pos)
        pos += len(p)
    tags[offsets_tag] = (4, offsets)
    if interchange:
        tags[513] = (4, [offsets[0]])
    if tables:
        at = []
        for t in tables:
            at.append(pos)
            pos += len(t)
        tags[519] = (4, [at[0], at[1], at[1]])
        tags[520] = (4, [at[2], at[3], at[3]])
        tags[521] = (4, [at[4], at[5], at[5]])
    directory = bytearray(struct.pack(e + "H", len(order)))
    for tag in order:
        kind, values = tags[tag]
        raw = value_bytes(kind, values)
        directory += struct.pack(e + "HHI", tag, kind, len(values))
        if len(raw) <= 4:
            directory += raw + bytes(4 - len(raw))
        else:
            directory += struct.pack(e + "I", extra_at + len(extra))
            extra += raw
    directory += struct.pack(e + "I", 0)
    if len(extra) & 1:
        extra.append(0)
    header = (b"MM" if big else b"II") + struct.pack(e + "HI", 42, 8)
    with open(path, "wb") as f:
        f.write(header + directory + extra + b"".join(packed) + b"".join(tables or []))


def rational(v):
    return (int(round(v * 10000)), 10000)


def ycbcr_file(path, picture, w, h, sh, sv, compression, tiled=None, big=False, luma=None, ref=None,
               rows_per_strip=None):
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [8, 8, 8]), 262: (3, [6]), 277: (3, [3]),
            284: (3, [1]), 530: (3, [sh, sv])}
    if luma:
        tags[529] = (5, [rational(v) for v in luma])
    if ref:
        tags[532] = (5, [rational(v) for v in ref])
    luma = luma or (0.299, 0.587, 0.114)
    ref = ref or (0, 255, 128, 255, 128, 255)
    blocks = []
    if tiled:
        tw, tl = tiled
        tags[322] = (3, [tw])
        tags[323] = (3, [tl])
        for ty in range(0, h, tl):
            for tx in range(0, w, tw):
                blocks.append(ycbcr_blocks(picture, w, h, tx, ty, tw, tl, sh, sv, luma, ref))
    else:
        rps = rows_per_strip or h
        tags[278] = (3, [rps])
        for y0 in range(0, h, rps):
            rows = min(rps, h - y0)
            rows += -rows % sv
            blocks.append(ycbcr_blocks(picture, w, h, 0, y0, w, rows, sh, sv, luma, ref))
    write_tiff(path, big, w, h, tags, blocks, compression, tiled is not None)


def next_rows(rows, w):
    """NeXT 2-bit coding of packed rows: literal rows, white rows with a literal span, and runs."""
    out = bytearray()
    row_bytes = (w * 2 + 7) // 8
    for i, row in enumerate(rows):
        if i % 3 == 0:
            out += b"\x00" + row
        elif i % 3 == 1:
            start, end = row_bytes // 4, row_bytes // 2
            out += b"\x40" + struct.pack(">HH", start, end - start) + row[start:end]
        else:
            pixels = [(row[x // 4] >> (6 - 2 * (x % 4))) & 3 for x in range(w)]
            x = 0
            while x < w:
                n = 1
                while x + n < w and n < 63 and pixels[x + n] == pixels[x]:
                    n += 1
                out.append(pixels[x] << 6 | n)
                x += n
    return bytes(out)


def next_file(path, picture, w, h, rows_per_strip):
    packed = []
    for y in range(h):
        row = bytearray((w * 2 + 7) // 8)
        for x in range(w):
            r, g, b = picture[y][x]
            grey = (r * 299 + g * 587 + b * 114) // 1000 >> 6
            row[x // 4] |= grey << (6 - 2 * (x % 4))
        packed.append(bytes(row))
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [2]), 262: (3, [1]), 277: (3, [1]), 278: (3, [rows_per_strip])}
    blocks = [next_rows(packed[y:y + rows_per_strip], w) for y in range(0, h, rows_per_strip)]
    COMPRESSORS[32766] = lambda d: d
    write_tiff(path, False, w, h, tags, blocks, 32766, False)


def fp24(v):
    """24-bit floating point: sign, 7 exponent bits with a bias of 63, 16 of fraction."""
    if v == 0:
        return 0
    m, e = math.frexp(v)  # v = m * 2^e, 0.5 <= m < 1
    fraction = int(round((2 * m - 1) * 65536))
    if fraction == 65536:
        fraction, e = 0, e + 1
    return (e - 1 + 63) << 16 | fraction


def fp24_file(path, picture, w, h, big):
    """RGB samples v / 255 as 24-bit floating point, uncompressed, in strips of 8 rows."""
    e = ">" if big else "<"
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            for c in picture[y][x]:
                row += struct.pack(e + "I", fp24(c / 255))[1:] if big else struct.pack(e + "I", fp24(c / 255))[:3]
        rows.append(bytes(row))
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [24, 24, 24]), 262: (3, [2]), 277: (3, [3]),
            278: (3, [8]), 284: (3, [1]), 339: (3, [3, 3, 3])}
    blocks = [b"".join(rows[y:y + 8]) for y in range(0, h, 8)]
    write_tiff(path, big, w, h, tags, blocks, 1, False)


def jpeg_segments(data):
    """(marker, body) of each segment up to the scan; then the entropy-coded data to EOI."""
    pos, segments = 2, []
    while True:
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        segments.append((marker, data[pos + 4:pos + 2 + length]))
        pos += 2 + length
        if marker == 0xDA:
            return segments, data[pos:data.rindex(b"\xff\xd9")]


def ojpeg_interchange_file(path, jpeg, w, h):
    """Compression 6 as most such files are: the whole JPEG file is the strip and the
    interchange-format stream."""
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [8, 8, 8]), 262: (3, [6]), 277: (3, [3]),
            278: (3, [h]), 284: (3, [1]), 512: (3, [1]), 513: (4, [0]), 514: (4, [len(jpeg)]),
            530: (3, [2, 2])}
    COMPRESSORS[6] = lambda d: d
    write_tiff(path, False, w, h, tags, [jpeg], 6, False, interchange=True)


def ojpeg_rgb_file(path, jpeg, w, h, photometric):
    """The interchange form with Photometric RGB (or none) over a stream of subsampled YCbCr, as
    some old writers left it; libtiff reads the data as the YCbCr it is."""
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [8, 8, 8]), 277: (3, [3]),
            278: (3, [h]), 284: (3, [1]), 512: (3, [1]), 513: (4, [0]), 514: (4, [len(jpeg)])}
    if photometric is not None:
        tags[262] = (3, [photometric])
    COMPRESSORS[6] = lambda d: d
    write_tiff(path, False, w, h, tags, [jpeg], 6, False, interchange=True)


def grey_extra_file(path, picture, w, h, extra):
    """8-bit min-is-black grey with three extra samples (their kinds as given), uncompressed."""
    rows = b"".join(bytes(v for p in row for v in (sum(p) // 3, p[0], p[1], 255 - p[2])) for row in picture)
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [8] * 4), 262: (3, [1]), 277: (3, [4]), 278: (3, [h]),
            284: (3, [1]), 338: (3, extra)}
    write_tiff(path, False, w, h, tags, [rows], 1, False)


def ojpeg_tables_file(path, jpeg, w, h, rows_per_strip, big):
    """Compression 6, tables-only: the tables where the tags point, each strip one restart interval
    of the scan without its marker, no JPEG header anywhere."""
    segments, scan = jpeg_segments(jpeg)
    q, dc, ac = {}, {}, {}
    for marker, body in segments:
        i = 0
        while marker == 0xDB and i < len(body):
            q[body[i] & 15] = body[i + 1:i + 65]
            i += 65
        while marker == 0xC4 and i < len(body):
            n = 17 + sum(body[i + 1:i + 17])
            (ac if body[i] >> 4 else dc)[body[i] & 15] = body[i + 1:i + n]
            i += n
    pieces = [bytearray()]
    i = 0
    while i < len(scan):
        if scan[i] == 0xFF and 0xD0 <= scan[i + 1] <= 0xD7:
            pieces.append(bytearray())
            i += 2
            continue
        pieces[-1].append(scan[i])
        i += 1
    assert len(pieces) == (h + rows_per_strip - 1) // rows_per_strip
    tables = [q[0], q[1], dc[0], dc[1], ac[0], ac[1]]
    tags = {256: (3, [w]), 257: (3, [h]), 258: (3, [8, 8, 8]), 262: (3, [6]), 277: (3, [3]),
            278: (3, [rows_per_strip]), 284: (3, [1]), 512: (3, [1]), 515: (3, [0]), 530: (3, [2, 2]),
            532: (5, [rational(v) for v in (0, 255, 128, 255, 128, 255)])}
    COMPRESSORS[6] = lambda d: d
    write_tiff(path, big, w, h, tags, [bytes(p) for p in pieces], 6, False, tables=tables)


def main():
    source, out = sys.argv[1], sys.argv[2]
    if len(sys.argv) > 5:
        w, h, _ = read_ppm(source)
        ojpeg_interchange_file(f"{out}/ojpeg-interchange.tif", open(sys.argv[4], "rb").read(), w, h)
        ojpeg_tables_file(f"{out}/ojpeg-tables-strips.tif", open(sys.argv[5], "rb").read(), w, h, 16, False)
        ojpeg_rgb_file(f"{out}/ojpeg-rgb-photometric.tif", open(sys.argv[4], "rb").read(), w, h, 2)
        ojpeg_rgb_file(f"{out}/ojpeg-no-photometric.tif", open(sys.argv[4], "rb").read(), w, h, None)
    if len(sys.argv) > 3:
        sw, sh, small = read_ppm(sys.argv[3])
        fp24_file(f"{out}/float-rgb24-be.tif", small, sw, sh, True)
    w, h, picture = read_ppm(source)
    rec709 = (0.2126, 0.7152, 0.0722)
    studio = (16, 235, 128, 240, 128, 240)
    next_file(f"{out}/grey2-next.tif", picture, w, h, 10)
    grey_extra_file(f"{out}/grey-extra3.tif", picture, w, h, [0, 0, 0])
    grey_extra_file(f"{out}/grey-alpha-extra3.tif", picture, w, h, [2, 0, 0])
    ycbcr_file(f"{out}/ycbcr11-none.tif", picture, w, h, 1, 1, 1, rows_per_strip=8)
    ycbcr_file(f"{out}/ycbcr21-lzw.tif", picture, w, h, 2, 1, 5, rows_per_strip=5)
    ycbcr_file(f"{out}/ycbcr22-none.tif", picture, w, h, 2, 2, 1, rows_per_strip=6)
    ycbcr_file(f"{out}/ycbcr22-be-lzw-studio.tif", picture, w, h, 2, 2, 5, big=True, ref=studio,
               rows_per_strip=10)
    ycbcr_file(f"{out}/ycbcr22-zip-tiled.tif", picture, w, h, 2, 2, 8, tiled=(16, 16))
    ycbcr_file(f"{out}/ycbcr41-packbits.tif", picture, w, h, 4, 1, 32773, rows_per_strip=7)
    ycbcr_file(f"{out}/ycbcr42-lzw-tiled.tif", picture, w, h, 4, 2, 5, tiled=(32, 16))
    ycbcr_file(f"{out}/ycbcr44-zip-709.tif", picture, w, h, 4, 4, 8, luma=rec709, ref=studio,
               rows_per_strip=8)
    ycbcr_file(f"{out}/ycbcr44-none.tif", picture, w, h, 4, 4, 1, rows_per_strip=12)
    ycbcr_file(f"{out}/ycbcr44-none-tiled.tif", picture, w, h, 4, 4, 1, tiled=(16, 32))
    ycbcr_file(f"{out}/ycbcr12-packbits-tiled.tif", picture, w, h, 1, 2, 32773, tiled=(16, 16),
               big=True)


if __name__ == "__main__":
    main()
