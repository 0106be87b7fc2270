#!/usr/bin/env bash
# Makes the colour-profile fixtures with the profiles of Debian's colord-data and lcms2's tools:
# a photograph (ImageMagick's rose, 64 x 48) converted into Adobe RGB and ProPhoto RGB and tagged
# with the profile, in every format that can carry one, lossless and JPEG-compressed; a red square
# tagged with a profile that swaps red and green (it must come out green); JPEGs whose EXIF alone
# says Adobe RGB; PNGs with chromaticities and gamma but no profile, or with a gamma beside a
# profile; HEIF colour given by nclx; BigTIFF.
set -euo pipefail
cd "$(dirname "$0")"
icc=/usr/share/color/icc/colord
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert rose: -resize '64x48!' -strip photo.png
convert -size 16x16 xc:'rgb(220,30,30)' -strip -type TrueColor "$tmp/red.png"
for space in AdobeRGB1998 ProPhotoRGB; do
  name=$(echo "$space" | tr 'A-Z' 'a-z' | sed 's/rgb.*//')
  # Converted at 16 bits a sample inside ImageMagick, rounded to 8 once.
  convert photo.png -profile "$icc/sRGB.icc" -intent perceptual -black-point-compensation \
    -profile "$icc/$space.icc" -strip -type TrueColor "$tmp/$name.png"
  convert "$tmp/$name.png" -profile "$icc/$space.icc" "$name.png"
  convert "$tmp/$name.png" -profile "$icc/$space.icc" -compress none "$name.tif"
  convert "$tmp/$name.png" -profile "$icc/$space.icc" "$name.psd"
  convert "$tmp/$name.png" -profile "$icc/$space.icc" -quality 98 -sampling-factor 1x1 "$name.jpg"
  convert "$tmp/$name.png" -profile "$icc/$space.icc" -define webp:lossless=true "$name.webp"
  heif-enc -q 95 "$name.png" -o "$name.heic" >/dev/null
done
# The red square, tagged without converting its numbers.
convert "$tmp/red.png" -profile "$icc/SwappedRedAndGreen.icc" swapped.png
convert "$tmp/red.png" -profile "$icc/SwappedRedAndGreen.icc" -compress none swapped.tif
convert "$tmp/red.png" -profile "$icc/SwappedRedAndGreen.icc" swapped.psd
convert "$tmp/red.png" -profile "$icc/SwappedRedAndGreen.icc" -quality 95 -sampling-factor 1x1 swapped.jpg
convert "$tmp/red.png" -profile "$icc/SwappedRedAndGreen.icc" -define webp:lossless=true swapped.webp
heif-enc -q 95 swapped.png -o swapped.heic >/dev/null
# A camera JPEG with no profile whose EXIF says Adobe RGB, both ways cameras say it.
convert "$tmp/red.png" -quality 95 -sampling-factor 1x1 "$tmp/plain.jpg"
cp "$tmp/plain.jpg" exif-adobe.jpg
exiftool -q -overwrite_original -ColorSpace#=2 exif-adobe.jpg
cp "$tmp/plain.jpg" exif-r03.jpg
exiftool -q -overwrite_original -ColorSpace#=65535 -InteropIndex=R03 exif-r03.jpg
cp "$tmp/plain.jpg" exif-srgb.jpg
exiftool -q -overwrite_original -ColorSpace#=65535 -InteropIndex=R98 exif-srgb.jpg
# PNG chromaticities without a profile: gamma 1/2.2 and red and green primaries swapped.
python3 - "$tmp/red.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
ihdr_end = 8 + 25
gama = chunk(b'gAMA', struct.pack('>I', 45455))
chrm = chunk(b'cHRM', struct.pack('>8I', 31270, 32900, 30000, 60000, 64000, 33000, 15000, 6000))
open('chrm-swapped.png', 'wb').write(data[:ihdr_end] + gama + chrm + data[ihdr_end:])
srgb = chunk(b'sRGB', b'\x00')
open('chrm-srgb.png', 'wb').write(data[:ihdr_end] + srgb + gama + chrm + data[ihdr_end:])
PY
# Camera RAW stand-ins: a preview tagged with the swapping profile (swapped.nef), and a preview
# without one in a RAW whose own EXIF says Adobe RGB (exif-adobe.nef).
# (RAW previews under 32 pixels are not taken.)
convert -size 64x48 xc:'rgb(220,30,30)' -strip -type TrueColor -quality 95 -sampling-factor 1x1 "$tmp/plain64.jpg"
convert "$tmp/plain64.jpg" -profile "$icc/SwappedRedAndGreen.icc" "$tmp/swapped64.jpg"
python3 - "$tmp/plain64.jpg" "$tmp/swapped64.jpg" <<'PY'
import struct, sys
def ifd(entries, next_offset=0):
    out = struct.pack('<H', len(entries))
    for tag, typ, count, value in sorted(entries):
        out += struct.pack('<HHI', tag, typ, count)
        out += struct.pack('<HH', value, 0) if typ == 3 else struct.pack('<I', value)
    return out + struct.pack('<I', next_offset)
tagged = open(sys.argv[2], 'rb').read()
open('swapped.nef', 'wb').write(b'II*\0' + struct.pack('<I', 8) +
                                ifd([(513, 4, 1, 8 + 2 + 12 * 2 + 4), (514, 4, 1, len(tagged))]) + tagged)
plain = open(sys.argv[1], 'rb').read()
exif_at = 8 + 2 + 12 * 3 + 4
jpeg_at = exif_at + 2 + 12 + 4
open('exif-adobe.nef', 'wb').write(b'II*\0' + struct.pack('<I', 8) +
                                   ifd([(513, 4, 1, jpeg_at), (514, 4, 1, len(plain)), (34665, 4, 1, exif_at)]) +
                                   ifd([(40961, 3, 1, 2)]) + plain)
PY
# Every 16th level of each channel (a 64 x 64 Hald image), tagged Adobe RGB: the tables of
# matrix-and-curves profiles against lcms2 as ImageMagick runs it.
convert hald:4 -profile "$icc/AdobeRGB1998.icc" cube-adobe.png
convert hald:4 -profile "$icc/ProPhotoRGB.icc" cube-prophoto.png
# AVIF: the red square tagged with the swapping profile (libaom took 16 x 16 at 4:4:4 through
# avifenc, where heif-enc -A aborted). A photograph whose colour is given by nclx (CICP) alone:
# Display P3 primaries with the sRGB curve, losslessly (identity matrix), its numbers made by
# lcms2 with a Display P3 profile built here; and the red square marked BT.709 with the sRGB
# curve, which is sRGB and stays as it is.
avifenc -y 444 --speed 10 -j 1 --icc "$icc/SwappedRedAndGreen.icc" "$tmp/red.png" swapped.avif >/dev/null
python3 - "$tmp/p3.icc" <<'PY'
import struct, sys
# A matrix-and-curves display profile (ICC 4.3): white and primaries as CIE xy, the sRGB curve.
def profile(white, red, green, blue, description):
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
    # Bradford adaptation of the white to the D50 of the connection space.
    brad = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
    d50 = [0.9642, 1.0, 0.8249]
    src, dst = mul(brad, w), mul(brad, d50)
    chad = mmul(inv(brad), mmul([[dst[i] / src[i] if i == j else 0 for j in range(3)] for i in range(3)], brad))
    cols = [mul(chad, [m[r][c] * s[c] for r in range(3)]) for c in range(3)]
    def s15(v): return struct.pack('>i', round(v * 65536))
    def xyztag(v): return b'XYZ \0\0\0\0' + b''.join(s15(x) for x in v)
    text = description.encode('utf-16-be')
    curve = b'para\0\0\0\0' + struct.pack('>HH', 3, 0) + b''.join(
        s15(x) for x in (2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045))
    tags = [(b'desc', b'mluc\0\0\0\0' + struct.pack('>II2s2sII', 1, 12, b'en', b'US', len(text), 28) + text),
            (b'wtpt', xyztag(d50)),
            (b'chad', b'sf32\0\0\0\0' + b''.join(s15(x) for row in chad for x in row)),
            (b'rXYZ', xyztag(cols[0])), (b'gXYZ', xyztag(cols[1])), (b'bXYZ', xyztag(cols[2])),
            (b'rTRC', curve), (b'gTRC', curve), (b'bTRC', curve)]
    table, body = b'', b''
    at = 128 + 4 + 12 * len(tags)
    for sig, data in tags:
        data += b'\0' * (-len(data) % 4)
        table += sig + struct.pack('>II', at + len(body), len(data))
        body += data
    header = struct.pack('>I4sI4s4s4s12s4s', at + len(body), b'\0' * 4, 0x04300000, b'mntr', b'RGB ', b'XYZ ',
                         b'\0' * 12, b'acsp') + b'\0' * 28 + b''.join(s15(x) for x in d50) + b'\0' * 48
    return header + struct.pack('>I', len(tags)) + table + body
open(sys.argv[1], 'wb').write(profile((0.3127, 0.3290), (0.680, 0.320), (0.265, 0.690), (0.150, 0.060), 'Display P3'))
PY
convert photo.png -profile "$icc/sRGB.icc" -intent perceptual -black-point-compensation \
  -profile "$tmp/p3.icc" -strip -type TrueColor "$tmp/p3.png"
avifenc -l -y 444 --cicp 12/13/0 --speed 10 -j 1 "$tmp/p3.png" p3-nclx.avif >/dev/null
avifenc -y 444 --cicp 1/13/6 --speed 10 -j 1 "$tmp/red.png" srgb-nclx.avif >/dev/null
# The same primaries in linear light: the curve still applies.
avifenc -y 444 --cicp 1/8/6 --speed 10 -j 1 "$tmp/red.png" linear-nclx.avif >/dev/null
# BigTIFF copies of tagged files.
tiffcp -8 swapped.tif swapped-big.tif
tiffcp -8 adobe.tif adobe-big.tif
# PNG profiles beside a gamma that does not match them: the photograph in Adobe RGB with gAMA
# 1/1.8; the red square with sRGB and gAMA 1.0; and with a damaged (cut) iCCP, which is ignored,
# beside gAMA 1.0, and beside the swapped chromaticities.
python3 - "$tmp/red.png" <<'PY'
import struct, sys, zlib
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
def chunks(data):
    at, out = 8, []
    while at < len(data):
        length, = struct.unpack('>I', data[at:at + 4])
        out.append((data[at + 4:at + 8], data[at + 8:at + 8 + length]))
        at += 12 + length
    return out
def insert(data, *extra):
    return data[:8 + 25] + b''.join(extra) + data[8 + 25:]
red = open(sys.argv[1], 'rb').read()
iccp = dict(chunks(open('swapped.png', 'rb').read()))[b'iCCP']
cut = chunk(b'iCCP', iccp[:len(iccp) // 2])
linear = chunk(b'gAMA', struct.pack('>I', 100000))
open('adobe-gama.png', 'wb').write(insert(open('adobe.png', 'rb').read(), chunk(b'gAMA', struct.pack('>I', 55556))))
open('srgb-gama.png', 'wb').write(insert(red, chunk(b'sRGB', b'\x00'), linear))
open('bad-iccp-gama.png', 'wb').write(insert(red, linear, cut))
open('chrm-bad-iccp.png', 'wb').write(insert(open('chrm-swapped.png', 'rb').read(), cut))
PY
# CMYK pictures tagged with a press profile (Ghostscript's default CMYK, libgs-common, sampled
# into a few kilobytes by small_cmyk_profile.c): the photograph separated through it, as an
# Adobe JPEG (inverted inks, APP14, YCCK), a JPEG without APP14 (plain ink amounts), TIFF (8 and
# 16 bits, JPEG-compressed, with an extra alpha sample) and PSD (8 and 16 bits); and a patch of
# pure cyan ink, which the press prints far from the ink formula's (0, 255, 255).
press=/usr/share/color/icc/ghostscript/default_cmyk.icc
cc small_cmyk_profile.c -o "$tmp/small-cmyk" -llcms2
"$tmp/small-cmyk" "$press" "$tmp/press.icc"
convert photo.png -profile "$icc/sRGB.icc" -intent perceptual -black-point-compensation -profile "$press" \
  -strip "$tmp/cmyk.tif"
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -compress none cmyk.tif
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -depth 16 -compress lzw cmyk16.tif
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -quality 98 -compress jpeg cmyk-jpeg.tif
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -alpha set -channel A -evaluate set 100% +channel \
  -compress none cmyka.tif
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" cmyk.psd
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -depth 16 cmyk16.psd
convert "$tmp/cmyk.tif" -profile "$tmp/press.icc" -quality 98 -sampling-factor 1x1 cmyk-adobe.jpg
# The inks as they are, in a JPEG without APP14, written by libjpeg itself.
cc plain_cmyk_jpeg.c -o "$tmp/plain-cmyk-jpeg" -ljpeg
convert "$tmp/cmyk.tif" -depth 8 "cmyk:$tmp/inks.cmyk"
"$tmp/plain-cmyk-jpeg" 64 48 "$tmp/inks.cmyk" "$tmp/press.icc" cmyk-plain.jpg
convert -size 16x16 xc:"cmyk(255,0,0,0)" -colorspace CMYK -depth 8 -profile "$tmp/press.icc" -compress none cyan.tif
# A profile of the other kind is ignored: the cyan patch tagged with the red-green swap (an RGB
# profile on CMYK samples), the red square tagged with the press profile (CMYK on RGB).
cp cyan.tif cyan-swapped.tif
exiftool -q -overwrite_original "-ICC_Profile<=$icc/SwappedRedAndGreen.icc" cyan-swapped.tif
cp "$tmp/plain.jpg" red-press.jpg
exiftool -q -overwrite_original "-ICC_Profile<=$tmp/press.icc" red-press.jpg
# Floating-point pictures in linear light with linear profiles (Photoshop and TIFF).
python3 make_linear.py
