#!/usr/bin/env bash
# Makes the colour-profile fixtures with the profiles of Debian's colord-data and lcms2's tools:
# a photograph (ImageMagick's rose, 64 x 48) converted into Adobe RGB and ProPhoto RGB and tagged
# with the profile, in every format that can carry one, lossless and JPEG-compressed; a red square
# tagged with a profile that swaps red and green (it must come out green); JPEGs whose EXIF alone
# says Adobe RGB; PNGs with chromaticities and gamma but no profile.
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
