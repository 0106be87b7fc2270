#!/usr/bin/env python3
"""Floating-point pictures in linear light, tagged with linear profiles as GIMP and raw developers
write them: 32-bit Photoshop documents and a 32-bit TIFF. Their first sample, 0.371, is 164 in
sRGB; drawn twice through a curve it would be 210. The profiles are matrix-and-curves ICC
profiles made here: linear sRGB with a one-entry 'curv' (ICC 2) and with a 'para' (ICC 4), and
linear ProPhoto (ROMM) primaries, whose colours must still be converted."""
import struct

# Linear-light samples, 6 x 2: greys, then colours; the last one out of range (clamped).
PIXELS = [
    [(0.371,) * 3, (0.0,) * 3, (0.01,) * 3, (0.18,) * 3, (0.5,) * 3, (1.0,) * 3],
    [(0.371, 0.05, 0.02), (0.05, 0.371, 0.02), (0.02, 0.05, 0.371), (0.8, 0.5, 0.1), (0.1, 0.6, 0.9),
     (1.5, 0.2, -0.1)],
]
W, H = len(PIXELS[0]), len(PIXELS)


def profile(red, green, blue, version, curve_kind, description):
    """An RGB display profile, white D65 adapted to D50, every channel linear."""
    white = (0.3127, 0.3290)
    def xyz(x, y): return [x / y, 1.0, (1 - x - y) / y]
    def inv(m):
        a, b, c = m[0]; d, e, f = m[1]; g, h, i = m[2]
        det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
        return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
                [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
                [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]
    def mul(m, v): return [sum(m[r][k] * v[k] for k in range(3)) for r in range(3)]
    def mmul(m, n): return [[sum(m[r][k] * n[k][c] for k in range(3)) for c in range(3)] for r in range(3)]
    prim = [xyz(*red), xyz(*green), xyz(*blue)]
    m = [[prim[c][r] for c in range(3)] for r in range(3)]
    w = xyz(*white)
    s = mul(inv(m), w)
    brad = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
    d50 = [0.9642, 1.0, 0.8249]
    src, dst = mul(brad, w), mul(brad, d50)
    chad = mmul(inv(brad), mmul([[dst[i] / src[i] if i == j else 0 for j in range(3)] for i in range(3)], brad))
    cols = [mul(chad, [m[r][c] * s[c] for r in range(3)]) for c in range(3)]
    def s15(v): return struct.pack('>i', round(v * 65536))
    def xyztag(v): return b'XYZ \0\0\0\0' + b''.join(s15(x) for x in v)
    if curve_kind == 'curv':
        curve = b'curv\0\0\0\0' + struct.pack('>IH', 1, 256) + b'\0\0'
    else:
        curve = b'para\0\0\0\0' + struct.pack('>HH', 0, 0) + s15(1.0)
    if version == 2:
        text = description.encode('ascii') + b'\0'
        desc = b'desc\0\0\0\0' + struct.pack('>I', len(text)) + text + b'\0' * 12 + b'\0' * 67
    else:
        text = description.encode('utf-16-be')
        desc = b'mluc\0\0\0\0' + struct.pack('>II2s2sII', 1, 12, b'en', b'US', len(text), 28) + text
    tags = [(b'desc', desc), (b'wtpt', xyztag(d50)),
            (b'chad', b'sf32\0\0\0\0' + b''.join(s15(x) for row in chad for x in row)),
            (b'rXYZ', xyztag(cols[0])), (b'gXYZ', xyztag(cols[1])), (b'bXYZ', xyztag(cols[2])),
            (b'rTRC', curve), (b'gTRC', curve), (b'bTRC', curve)]
    offset = 128 + 4 + 12 * len(tags)
    table, data = b'', b''
    for sig, body in tags:
        while (offset + len(data)) % 4:
            data += b'\0'
        table += sig + struct.pack('>II', offset + len(data), len(body))
        data += body
    size = offset + len(data)
    ver = b'\x02\x10\0\0' if version == 2 else b'\x04\x30\0\0'
    header = (struct.pack('>I', size) + b'lcms' + ver + b'mntrRGB XYZ ' + b'\0' * 12 + b'acspAPPL' +
              b'\0' * 4 + b'\0' * 8 + b'\0' * 8 + b'\0' * 4 + s15(0.9642) + s15(1.0) + s15(0.8249) + b'lcms')
    header += b'\0' * (128 - len(header))
    return header + struct.pack('>I', len(tags)) + table + data


def psd(name, icc):
    planes = b''
    for c in range(3):
        for row in PIXELS:
            planes += b''.join(struct.pack('>f', p[c]) for p in row)
    resource = b'8BIM' + struct.pack('>H', 1039) + b'\0\0' + struct.pack('>I', len(icc)) + icc
    if len(icc) % 2:
        resource += b'\0'
    out = (b'8BPS' + struct.pack('>H', 1) + b'\0' * 6 + struct.pack('>HIIHH', 3, H, W, 32, 3) +
           struct.pack('>I', 0) + struct.pack('>I', len(resource)) + resource + struct.pack('>I', 0) +
           struct.pack('>H', 0) + planes)
    open(name, 'wb').write(out)


def tiff(name, icc):
    """A little-endian 32-bit float RGB TIFF, one strip, with the profile (tag 34675)."""
    pixels = b''.join(struct.pack('<3f', *p) for row in PIXELS for p in row)
    entries = []
    data_at = 8
    icc_at = data_at + len(pixels)
    bits_at = icc_at + len(icc)
    ifd_at = bits_at + 6
    entries = [(256, 3, 1, W), (257, 3, 1, H), (258, 3, 3, bits_at), (259, 3, 1, 1), (262, 3, 1, 2),
               (273, 4, 1, data_at), (277, 3, 1, 3), (278, 3, 1, H), (279, 4, 1, len(pixels)),
               (284, 3, 1, 1), (339, 3, 1, 3), (34675, 7, len(icc), icc_at)]
    ifd = struct.pack('<H', len(entries))
    for tag, typ, count, value in entries:
        if typ == 3 and count == 1:
            ifd += struct.pack('<HHIHH', tag, typ, count, value, 0)
        else:
            ifd += struct.pack('<HHII', tag, typ, count, value)
    ifd += struct.pack('<I', 0)
    out = b'II*\0' + struct.pack('<I', ifd_at) + pixels + icc + struct.pack('<3H', 32, 32, 32) + ifd
    open(name, 'wb').write(out)


SRGB = ((0.64, 0.33), (0.30, 0.60), (0.15, 0.06))
ROMM = ((0.7347, 0.2653), (0.1596, 0.8404), (0.0366, 0.0001))
linear_srgb = profile(*SRGB, 2, 'curv', 'Linear sRGB (curv)')
psd('float-linear-srgb.psd', linear_srgb)
psd('float-linear-srgb-para.psd', profile(*SRGB, 4, 'para', 'Linear sRGB (para)'))
psd('float-linear-prophoto.psd', profile(*ROMM, 2, 'curv', 'Linear ProPhoto'))
tiff('float-linear-srgb.tif', linear_srgb)
