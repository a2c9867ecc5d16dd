#!/usr/bin/env bash
# Renders the program's pictures from their drawings in src/app/resources/pictures into
# src/app/resources: the banner logo (logo.png 97 x 90, logo_2x.png 194 x 180), the status
# pictures (disconnected.ico, waiting.ico, connected.ico) and the program's icon (keypilot.ico),
# their frames of 32 px and more PNG-compressed; and into web/remote/icons the phone page's icons
# (icon-192.png, icon-512.png, and icon-maskable.png, whose picture keeps to the middle so that a
# launcher may cut it to any shape).
# The build does not run this; run it after changing a drawing and commit what it writes.
#
#   scripts/make-pictures.sh [preview.png]   the optional argument also writes a preview sheet
#   scripts/make-pictures.sh --help          this text
#
# Needs ImageMagick 6 (convert). 16 x 16 images come from their own pixel drawings (*_16.xpm);
# every other size is drawn from the vector drawings (*.mvg) at four times the size and scaled down.
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_if_asked "$@"

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
src=$here/src/app/resources/pictures
out=$here/src/app/resources
preview=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status_sizes=(20 24 32 40 48 64)
program_sizes=(20 24 32 40 48 64 96 128 256)
# No time stamps or other varying chunks, so that unchanged drawings give identical files.
steady=(-define 'png:exclude-chunks=date,time,tIME,tEXt,zTXt,iTXt' +set date:create +set date:modify)

# render <drawing.mvg> <scale> <out.png>: the drawing at <scale> times its own grid, transparent.
render() {
    local drawing=$1 scale=$2 target=$3
    awk -v k="$scale" '
        /^viewbox / { print "viewbox 0 0 " $4 * k " " $5 * k; print "affine " k " 0 0 " k " 0 0"; next }
        { print }' "$drawing" >"$work/scaled.mvg"
    convert -background none "MVG:$work/scaled.mvg" -depth 8 "$target"
}

# shrink <in.png> <size> <out.png>
shrink() {
    convert "$1" -filter Catrom -resize "$2x$2" -depth 8 "${steady[@]}" "PNG32:$3"
}

# The icon drawing plain, with the "connected" mark and with the "waiting" mark, large enough to
# scale every size from.
render "$src/icon.mvg" 4 "$work/plain.png"
render "$src/mark.mvg" 4 "$work/mark.png"
render "$src/waiting.mvg" 4 "$work/waiting-mark.png"
convert "$work/plain.png" "$work/mark.png" -composite "$work/marked.png"
convert "$work/plain.png" "$work/waiting-mark.png" -composite "$work/waiting.png"
convert "$src/icon_16.xpm" -depth 8 "${steady[@]}" "PNG32:$work/plain-16.png"
convert "$src/icon_16.xpm" "$src/mark_16.xpm" -composite -depth 8 "${steady[@]}" \
    "PNG32:$work/marked-16.png"
convert "$src/icon_16.xpm" "$src/waiting_16.xpm" -composite -depth 8 "${steady[@]}" \
    "PNG32:$work/waiting-16.png"
for size in "${program_sizes[@]}"; do
    shrink "$work/plain.png" "$size" "$work/plain-$size.png"
    shrink "$work/marked.png" "$size" "$work/marked-$size.png"
    shrink "$work/waiting.png" "$size" "$work/waiting-$size.png"
done

# le <value> <bytes>: the value as that many little-endian bytes.
le() {
    local value=$1 count=$2 i
    for ((i = 0; i < count; i++)); do
        # shellcheck disable=SC2059 # the format is the byte itself
        printf "\\$(printf %03o $(((value >> (8 * i)) & 255)))"
    done
}

# make_icon <out.ico> <prefix> <sizes...>: frames of 32 px and more PNG-compressed, which Windows
# reads in icons since Vista, in a quarter to a tenth of a bitmap's room; the smaller ones, which
# the tray shows up to 150 % scale, stay bitmaps, where PNG saves least. ImageMagick 6 writes only
# a 256 px frame as PNG, so the file is put together here: its header, one entry a frame, the
# frames.
make_icon() {
    local target=$1 prefix=$2 size bytes sizes count offset frame=$work/frame
    shift 2
    sizes=(16 "$@")
    count=${#sizes[@]}
    offset=$((6 + 16 * count))
    : >"$work/entries"
    : >"$work/frames"
    for size in "${sizes[@]}"; do
        if [ "$size" -lt 32 ]; then
            # ImageMagick's own entry (size, colours, planes, bits, length) and bitmap, at our offset.
            convert "$work/$prefix-$size.png" "${steady[@]}" "ICO:$frame.ico"
            tail -c +23 "$frame.ico" >"$frame"
            head -c 18 "$frame.ico" | tail -c 12 >>"$work/entries"
        else
            convert "$work/$prefix-$size.png" -depth 8 -define png:exclude-chunk=all \
                -define png:compression-level=9 "PNG32:$frame"
            # A side of 256 is written as 0; 32 bits a pixel, one plane.
            { le $((size % 256)) 1; le $((size % 256)) 1; le 0 2; le 1 2; le 32 2
              le "$(stat -c %s "$frame")" 4; } >>"$work/entries"
        fi
        bytes=$(stat -c %s "$frame")
        le "$offset" 4 >>"$work/entries"
        cat "$frame" >>"$work/frames"
        offset=$((offset + bytes))
    done
    { le 0 2; le 1 2; le "$count" 2; cat "$work/entries" "$work/frames"; } >"$target"
}
make_icon "$out/disconnected.ico" plain "${status_sizes[@]}"
make_icon "$out/connected.ico" marked "${status_sizes[@]}"
make_icon "$out/waiting.ico" waiting "${status_sizes[@]}"
make_icon "$out/keypilot.ico" plain "${program_sizes[@]}"

# The logo sits on the banner's white, so it is flattened onto white: 24-bit, no alpha. It goes
# through a 24-bit bitmap, whose rounding to 8 bits the banner has always shown, into PNG, which
# the program decodes itself (LoadImageW reads no PNG into a bitmap).
render "$src/logo.mvg" 4 "$work/logo.png"
for entry in "194x180 logo_2x.png" "97x90 logo.png"; do
    read -r geometry name <<<"$entry"
    convert "$work/logo.png" -background white -alpha remove -alpha off -filter Catrom \
        -resize "$geometry!" -type TrueColor -define bmp:format=bmp3 "BMP3:$work/logo.bmp"
    convert "$work/logo.bmp" -define png:exclude-chunk=all -define png:compression-level=9 \
        "PNG24:$out/$name"
done

# The phone page's icons: the program's picture, transparent around it, and for the maskable one
# on a full square whose middle 80 % circle holds the whole picture.
web=$here/web/remote/icons
mkdir -p "$web"
render "$src/icon.mvg" 8 "$work/web.png"
for size in 192 512; do
    convert "$work/web.png" -filter Catrom -resize "${size}x$size" -depth 8 "${steady[@]}" \
        -define png:compression-level=9 "PNG32:$web/icon-$size.png"
done
convert "$work/web.png" -filter Catrom -resize 300x300 -background '#dcebfa' -gravity center \
    -extent 512x512 -alpha off -depth 8 "${steady[@]}" -define png:compression-level=9 \
    "PNG24:$web/icon-maskable.png"

if [ -n "$preview" ]; then
    # Every image at its own size on light and dark grounds, and the small ones enlarged.
    row() { # <ground> <prefix>
        local size args=()
        for size in 16 "${program_sizes[@]}"; do
            args+=(\( "$work/$2-$size.png" -background "$1" -flatten \))
        done
        convert -background "$1" "${args[@]}" -bordercolor "$1" -border 4 -gravity center +append \
            "$work/row-$1-$2.png"
        args=()
        for size in 16 20 24 32; do
            args+=(\( "$work/$2-$size.png" -background "$1" -flatten -filter point -resize 800% \))
        done
        convert -background "$1" "${args[@]}" -bordercolor "$1" -border 4 -gravity center +append \
            "$work/zoom-$1-$2.png"
    }
    rows=()
    for ground in '#f3f3f3' '#202020'; do
        for prefix in plain waiting marked; do
            row "$ground" "$prefix"
            rows+=("$work/row-$ground-$prefix.png" "$work/zoom-$ground-$prefix.png")
        done
    done
    convert -background '#888888' "${rows[@]}" \
        \( "$out/logo.png" "$out/logo_2x.png" -bordercolor white -border 4 -gravity center +append \) \
        -bordercolor '#888888' -border 2 -gravity west -append "$preview"
    echo "preview: $preview"
fi
