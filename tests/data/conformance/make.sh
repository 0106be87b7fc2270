#!/usr/bin/env bash
# Writes sizes.tsv: for every file of ../shared/corpus/modern-conformance/ (by its MANIFEST.tsv),
# the size its format's own tools report, or "-" where they refuse the file: HEIF and HEIC by
# heif-info's primary image (heif-convert must decode it), AVIF by avifdec --info (its decode, the
# clean aperture's crop and the rotation applied), WebP by dwebp's decode (webpinfo's canvas for
# animations, which dwebp refuses), JPEG XL by djxl's decode, RAW files by the largest JPEG preview
# exiftool extracts, else LibRaw's raw-identify. Run again when the corpus changes.
set -euo pipefail
cd "$(dirname "$0")"
corpus=${1:-../../../../shared/corpus/modern-conformance}
python3 - "$corpus" > sizes.tsv <<'PY'
import os, re, struct, subprocess, sys, tempfile
corpus = sys.argv[1]
tmp = tempfile.mkdtemp()

def run(args):
    try:
        return subprocess.run(args, capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return None

def png_size(path):
    d = open(path, 'rb').read(24)
    return struct.unpack('>II', d[16:24]) if d[:8] == b'\x89PNG\r\n\x1a\n' else None

def jpeg_size(d):
    """The frame size of a baseline or progressive JPEG (what libjpeg decodes), else None."""
    i = 2
    if d[:2] != b'\xff\xd8':
        return None
    while i + 4 <= len(d):
        if d[i] != 0xFF:
            return None
        m = d[i + 1]
        if m == 0xFF:
            i += 1
            continue
        n = struct.unpack('>H', d[i + 2:i + 4])[0]
        if m in (0xC0, 0xC1, 0xC2) and i + 9 <= len(d):
            h, w = struct.unpack('>HH', d[i + 5:i + 9])
            return (w, h)
        if 0xC3 <= m <= 0xCF and m not in (0xC4, 0xC8, 0xCC):
            return None
        i += 2 + n
    return None

def heif(path):
    r = run(['heif-info', path])
    if r is None or r.returncode != 0:
        return None
    m = re.search(rb'image: (\d+)x(\d+) \(id=\d+\), primary', r.stdout)
    c = run(['heif-convert', path, os.path.join(tmp, 'out.png')])
    for f in os.listdir(tmp):
        os.remove(os.path.join(tmp, f))
    return (int(m[1]), int(m[2])) if m and c is not None and c.returncode == 0 else None

def avif(path):
    r = run(['avifdec', '--info', path])
    if r is None or r.returncode != 0:
        return None
    out = r.stdout.decode('utf-8', 'replace')
    m = re.search(r'Resolution\s*:\s*(\d+)x(\d+)', out)
    if not m:
        return None
    w, h = int(m[1]), int(m[2])
    crop = re.search(r'Valid, derived crop rect: X: \d+, Y: \d+, W: (\d+), H: (\d+)', out)
    if crop:
        w, h = int(crop[1]), int(crop[2])
    turn = re.search(r'irot \(Rotation\)\s*:\s*(\d+)', out)
    if turn and int(turn[1]) % 2 == 1:
        w, h = h, w
    return (w, h)

def webp(path):
    out = os.path.join(tmp, 'out.pam')
    r = run(['dwebp', path, '-pam', '-o', out])
    if r is not None and r.returncode == 0:
        d = open(out, 'rb').read(200).decode('latin-1')
        os.remove(out)
        return (int(re.search(r'WIDTH (\d+)', d)[1]), int(re.search(r'HEIGHT (\d+)', d)[1]))
    i = run(['webpinfo', path])
    if i is None or i.returncode != 0 or b'ANIM' not in i.stdout:
        return None
    m = re.search(rb'Canvas size (\d+) x (\d+)', i.stdout)
    return (int(m[1]), int(m[2])) if m else None

def jxl(path):
    out = os.path.join(tmp, 'out.png')
    r = run(['djxl', path, out])
    size = png_size(out) if r is not None and r.returncode == 0 and os.path.exists(out) else None
    if os.path.exists(out):
        os.remove(out)
    return size

def raw(path):
    best = None
    for tag in ('PreviewImage', 'JpgFromRaw', 'ThumbnailImage', 'OtherImage'):
        r = run(['exiftool', '-b', '-' + tag, path])
        size = jpeg_size(r.stdout) if r is not None and r.stdout else None
        if size and max(size) >= 32 and (best is None or size[0] * size[1] > best[0] * best[1]):
            best = size
    if best:
        return best
    r = run(['raw-identify', '-v', path])
    m = r and re.search(rb'Image size:\s*(\d+) x (\d+)', r.stdout)
    return (int(m[1]), int(m[2])) if m else None

tools = {'heic': heif, 'heif': heif, 'avif': avif, 'webp': webp, 'jxl': jxl}
print('# path\twidth\theight (made by make.sh from the formats\' own tools; "-": they refuse the file)')
for line in open(os.path.join(corpus, 'MANIFEST.tsv'), encoding='utf-8').read().splitlines()[1:]:
    fields = line.split('\t')
    if len(fields) < 4:
        continue
    path, fmt = fields[0], fields[3]
    size = tools.get(fmt, raw)(os.path.join(corpus, path))
    print(f'{path}\t{size[0]}\t{size[1]}' if size else f'{path}\t-\t-')
    sys.stdout.flush()
PY
