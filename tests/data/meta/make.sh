#!/usr/bin/env bash
# Small pictures with shooting data written by exiftool: EXIF, XMP and IPTC in JPEG, EXIF in TIFF,
# PNG and HEIF. Needs ImageMagick, exiftool and heif-enc.
set -euo pipefail
cd "$(dirname "$0")"
tags=(-Make=Canon "-Model=Canon EOS R5" "-LensModel=RF24-105mm F4 L IS USM"
      "-DateTimeOriginal=2024:06:01 14:03:27" -ExposureTime=1/250 -FNumber=8 -ISO=100 -FocalLength=50)
fresh() { convert -size 16x12 gradient:red-blue "$@"; }
fresh -quality 80 bare.jpg
fresh -quality 80 full.jpg
exiftool -q -overwrite_original "${tags[@]}" -XMP-xmp:Rating=3 "-XMP-dc:Title=Harbour at dawn" full.jpg
fresh -quality 80 iptc.jpg
exiftool -q -overwrite_original -Make=SONY -Model=ILCE-7M3 "-CreateDate=2023:12:24 18:30:00" \
  -ExposureTime=0.4 -FNumber=2.8 -FocalLength=24.5 -ISO=6400 "-IPTC:ObjectName=Pier" iptc.jpg
fresh -compress none full.tif
exiftool -q -overwrite_original "${tags[@]}" -XMP-xmp:Rating=4 full.tif
fresh full.png
exiftool -q -overwrite_original "${tags[@]}" -XMP-xmp:Rating=2 full.png
fresh full-src.png
heif-enc -q 50 -o full.heic full-src.png >/dev/null
rm -f full-src.png
exiftool -q -overwrite_original "${tags[@]}" full.heic
# Ratings of ACDSee (stars) and Windows (a percentage, 50 is 3 stars in Explorer); with
# xmp:Rating beside them, xmp:Rating counts.
fresh -quality 80 rating-windows.jpg
exiftool -q -overwrite_original -XMP-microsoft:RatingPercent=50 rating-windows.jpg
fresh -quality 80 rating-acdsee.jpg
exiftool -q -overwrite_original -XMP-acdsee:Rating=4 rating-acdsee.jpg
fresh -quality 80 rating-all.jpg
exiftool -q -overwrite_original -XMP-microsoft:RatingPercent=99 -XMP-acdsee:Rating=5 -XMP-xmp:Rating=2 rating-all.jpg
# Values read by their exiv2 keys: a list of creators, a title in two languages, repeated IPTC
# keywords.
fresh -quality 80 keys.jpg
exiftool -q -overwrite_original -Make=Canon "-Model=Canon EOS R5" -ExposureTime=1/250 \
  "-XMP-dc:Creator=Jane Doe" "-XMP-dc:Creator+=John Roe" "-XMP-dc:Title-x-default=Harbour at dawn" \
  "-XMP-dc:Title-de=Hafen im Morgengrauen" -IPTC:City=Genova -IPTC:Keywords=sea "-IPTC:Keywords+=harbour" \
  -XMP-xmp:Label=Red keys.jpg
