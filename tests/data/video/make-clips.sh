#!/usr/bin/env bash
# Regenerates the video clips of the video reader's tests with the ffmpeg of Debian 12 (5.1):
# tiny test patterns, a few kilobytes each, at 5 frames a second with a keyframe every second.
set -euo pipefail
cd "$(dirname "$0")"
ff=(ffmpeg -hide_banner -loglevel error -y)
pattern="testsrc2=size=64x48:rate=5"
x264=(-c:v libx264 -preset veryfast -crf 30 -g 5 -pix_fmt yuv420p -bsf:v filter_units=remove_types=6)
x265=(-c:v libx265 -preset veryfast -crf 32 -x265-params "keyint=5:min-keyint=5:log-level=none")
bt709=(-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv)

"${ff[@]}" -f lavfi -i "$pattern:duration=2" "${x264[@]}" "${bt709[@]}" -movflags +faststart h264.mp4
# The display matrix of a phone held sideways: ffmpeg 5.1 turns a "rotate" tag into one only when
# it copies the stream, and takes its angle as anticlockwise (ccw90.mp4 is shown turned a quarter
# anticlockwise, cw90.mov a quarter clockwise, as ffmpeg and players show them).
turned() {
  local angle=$1 out=$2
  shift 2
  "${ff[@]}" -f lavfi -i "$pattern:duration=2" "$@" "stored-$out"
  "${ff[@]}" -i "stored-$out" -c copy -metadata:s:v:0 rotate="$angle" "$out"
  rm "stored-$out"
}
turned 90 ccw90.mp4 "${x264[@]}" "${bt709[@]}"
turned 180 hevc180.mov "${x265[@]}" -pix_fmt yuv420p -tag:v hvc1
turned 270 cw90.mov "${x264[@]}"
# 10-bit HEVC in BT.2020 with the HLG curve, as phones record HDR: red at the left, white at the
# right, converted from sRGB by zimg with its white at the peak of the curve.
"${ff[@]}" -f lavfi -i "color=white:size=64x48:rate=5:duration=2,drawbox=x=0:y=0:w=32:h=48:color=red:t=fill" \
  -vf "format=gbrp,zscale=tin=iec61966-2-1:pin=bt709:min=gbr:t=arib-std-b67:p=bt2020:m=bt2020nc:r=tv:npl=1000,format=yuv420p10le" \
  -c:v libx265 -preset veryfast -crf 32 \
  -x265-params "keyint=5:min-keyint=5:log-level=none:colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc" \
  -colorspace bt2020nc -color_primaries bt2020 -color_trc arib-std-b67 -tag:v hvc1 hlg.mp4
"${ff[@]}" -f lavfi -i "$pattern:duration=2" -c:v libvpx-vp9 -b:v 40k -g 5 -pix_fmt yuv420p -colorspace bt709 vp9.webm
"${ff[@]}" -f lavfi -i "$pattern:duration=2" -c:v mjpeg -q:v 8 -pix_fmt yuvj420p mjpeg.avi
"${ff[@]}" -f lavfi -i "$pattern:duration=2" "${x264[@]}" "${bt709[@]}" -f mpegts clip.mts
# Four seconds: two of black, then the pattern; keyframes at 0, 1, 2 and 3 s.
"${ff[@]}" -f lavfi -i "color=black:size=64x48:rate=5:duration=2" -f lavfi -i "$pattern:duration=2" \
  -filter_complex "[0][1]concat=n=2:v=1" "${x264[@]}" "${bt709[@]}" black_start.mp4
# The first half of a clip whose index comes first, and text under a video's name.
head -c "$(( $(stat -c %s h264.mp4) / 2 ))" h264.mp4 > truncated.mp4
printf 'These are the notes of a holiday, not a video.\n' > text.mp4
# A clip of 4 × 4 pixels: libswscale's vector writes run past rows this short.
"${ff[@]}" -f lavfi -i "testsrc2=size=4x4:rate=5:duration=1" "${x264[@]}" tiny.mp4
