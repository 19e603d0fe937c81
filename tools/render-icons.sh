#!/usr/bin/env bash
# Renders resources/icons/*.svg to resources/images/*.png: white pictogram with
# a soft white glow, 64x64 RGBA on a transparent background, and the same at
# 128x128 as *@2x.png for dense screens (the toolkit picks it by name). Safe
# to rerun.
#
# Usage: tools/render-icons.sh [NAME...]   (default: every SVG in resources/icons)
set -euo pipefail

BASE_SIZE=64
BASE_GLOW_SIGMA=2.2 # blur radius of the glow at 64x64, in pixels
GLOW_OPACITY=0.75   # peak opacity of the glow under the stroke
GLOW_FLOOR=3%       # faint blur tails below this are cut, so the margin stays clear

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
src_dir=$root/resources/icons
out_dir=$root/resources/images

die() { echo "render-icons: $*" >&2; exit 1; }

missing=()
command -v rsvg-convert >/dev/null 2>&1 || missing+=(librsvg2-bin)
# A convert that is not ImageMagick's (e.g. GraphicsMagick's) lacks the options used below.
if ! command -v convert >/dev/null 2>&1 || ! convert -version 2>/dev/null | grep -q 'ImageMagick'; then
    missing+=(imagemagick)
fi
if [ ${#missing[@]} -gt 0 ]; then
    die "missing tools; install them with: apt-get install -y ${missing[*]}"
fi

if [ $# -gt 0 ]; then
    svgs=()
    for name in "$@"; do
        [ -f "$src_dir/$name.svg" ] || die "no such icon source: $src_dir/$name.svg"
        svgs+=("$src_dir/$name.svg")
    done
else
    shopt -s nullglob
    svgs=("$src_dir"/*.svg)
    shopt -u nullglob
    [ ${#svgs[@]} -gt 0 ] || die "no SVG sources in $src_dir"
fi

mkdir -p "$out_dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Reads the PNG header directly: ImageMagick reports what it decoded, not what
# the file says, and the app needs the file itself to be 8-bit RGBA.
check_png() {
    local png=$1 SIZE=$2 hdr corners
    hdr=$(od -An -tu1 -j16 -N13 "$png" | tr -s ' \n' ' ')
    # width (4 bytes) height (4) depth type compression filter interlace
    read -r w0 w1 w2 w3 h0 h1 h2 h3 depth ctype _ _ interlace <<<"$hdr"
    local w=$(( (w0 << 24) | (w1 << 16) | (w2 << 8) | w3 ))
    local h=$(( (h0 << 24) | (h1 << 16) | (h2 << 8) | h3 ))
    if [ "$w" -ne "$SIZE" ] || [ "$h" -ne "$SIZE" ]; then echo "size ${w}x${h}"; return 1; fi
    [ "$depth" -eq 8 ] || { echo "bit depth $depth"; return 1; }
    [ "$ctype" -eq 6 ] || { echo "colour type $ctype, not RGBA"; return 1; }
    [ "$interlace" -eq 0 ] || { echo "interlaced"; return 1; }
    local m=$((SIZE - 1))
    corners=$(convert "$png" -format "%[fx:255*p{0,0}.a] %[fx:255*p{$m,0}.a] %[fx:255*p{0,$m}.a] %[fx:255*p{$m,$m}.a]" info:)
    [ "$corners" = "0 0 0 0" ] || { echo "corner alpha not 0: $corners"; return 1; }
}

failed=0
for svg in "${svgs[@]}"; do
    name=$(basename "$svg" .svg)
    for scale in 1 2; do
        SIZE=$((BASE_SIZE * scale))
        GLOW_SIGMA=$(awk "BEGIN { print $BASE_GLOW_SIGMA * $scale }")
        suffix=
        [ "$scale" -eq 1 ] || suffix="@${scale}x"
        out_name=$name$suffix.png
        shape=$work/$name$suffix.shape.png
        tmp_out=$work/$out_name

        if ! rsvg-convert -w "$SIZE" -h "$SIZE" -f png -o "$shape" "$svg"; then
            echo "render-icons: $out_name: rsvg-convert failed" >&2
            failed=1
            continue
        fi

        # Glow: the shape's alpha, blurred and dimmed, as a white layer under the shape.
        # Fully transparent pixels are made white too, so scaling never pulls in a dark fringe.
        if ! convert "$shape" -background none -gravity center -extent "${SIZE}x${SIZE}" \
            \( +clone -alpha extract -blur "0x$GLOW_SIGMA" -evaluate multiply "$GLOW_OPACITY" \
               -level "$GLOW_FLOOR,100%" -background white -alpha shape \) \
            +swap -compose over -composite \
            -background white -alpha background \
            -strip -interlace none -depth 8 \
            -define png:color-type=6 -define png:bit-depth=8 \
            "PNG32:$tmp_out"; then
            echo "render-icons: $out_name: convert failed" >&2
            failed=1
            continue
        fi

        if ! problem=$(check_png "$tmp_out" "$SIZE"); then
            echo "render-icons: $out_name: bad output ($problem); kept the old PNG" >&2
            failed=1
            continue
        fi

        # Replace only a good result, so a failed run never leaves a broken icon behind.
        mv -f "$tmp_out" "$out_dir/$out_name"
        echo "rendered $out_name"
    done
done

exit "$failed"
