#!/usr/bin/env bash
# Takes the README screenshots. Runs the built program under Xvfb on a catalogue,
# opens one entry of each safety level from the keyboard (digits type a code,
# KP_Enter opens the selected row, BackSpace closes the detail window) and
# writes screenshot-list.png and screenshot-detail.png, 800x480 each; then types
# an ingredient list of the label set into "Read ingredients" (Ctrl+L) and
# writes screenshot-label.png. Last, started again with restrictions stored
# (vegan, the six colours with the EU warning), it reads another list and
# writes screenshot-restrictions.png.
# writes screenshot-label.png; last, opens a photo of the same list there and
# writes screenshot-photo.png, the picture beside the text read from it.
# Nothing is built here.
#
# Usage: tools/screenshots.sh [options] [BUILD_DIR] [CATALOGUE]
#   BUILD_DIR   a built tree holding vestrion and vestrion-vdb (default: build)
#   CATALOGUE   a .vdb or .xml file, or a folder of them (default: BUILD_DIR/data)
# Options:
#   -o DIR      where the two screenshots go (default: docs)
#   -a DIR      also keep the list and the detail window of every level in DIR
#   -l LEVEL    the safety level (0-3) whose detail window is kept (default: 2)
#   -k          show the on-screen keypad
#
# Needs: xvfb-run, xdotool, ImageMagick (import, convert), python3.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
self=$root/tools/screenshots.sh
WIDTH=800
HEIGHT=480

die() {
    echo "screenshots: $*" >&2
    exit 1
}

# ---------------------------------------------------------------------------
# Inside Xvfb: drive the program. Everything it needs is in the work folder.
if [ "${1:-}" = "--inside" ]; then
    work=$2
    app=$work/app
    shots=$work/shots
    mkdir -p "$shots"

    # shellcheck source=tools/xdrive.sh
    . "$root/tools/xdrive.sh"

    # Grabs a window and crops it to the handheld's screen.
    grab() {
        import -window "$1" "$work/grab.png"
        convert "$work/grab.png" -crop "${WIDTH}x${HEIGHT}+0+0" +repage "$2"
    }

    cd "$app"
    XD_OUT=$work/program.err xd_start ./vestrion || die "the program's window did not appear (see $work/program.err)"
    trap xd_stop EXIT
    main=$xd_main
    sleep 1

    # One entry per safety level, read from the plan: "level digits code".
    while read -r level digits code; do
        xd_type "$main" "$digits"
        sleep 0.5
        xd_press "$main" KP_Enter
        xd_wait_for 10 xd_has_detail "$main" || die "no detail window for $code"
        detail=$(xd_detail "$main")
        sleep 1
        grab "$detail" "$shots/detail-$level.png"
        echo "detail window of $code (level $level)"
        xd_press "$detail" BackSpace
        xd_wait_for 10 xd_no_detail "$main" || die "BackSpace did not close the detail window of $code"
        # Let the search code run out before the next one is typed.
        sleep 2.2
    done <"$work/plan-detail"

    # The list, scrolled to a stretch with several colours and the searched row selected.
    read -r digits code <"$work/plan-list"
    xd_type "$main" "$digits"
    # The search banner hides itself after a second.
    sleep 2.5
    grab "$main" "$shots/list.png"
    echo "list at $code"

    # An ingredient list typed into the label reader, its additives below;
    # slowly, as xdotool remaps a key for every Cyrillic letter.
    read_label() {
        xd_press "$1" ctrl+l
        xd_wait_for 10 xd_has_detail "$1" || die "Ctrl+L did not open the label reader"
        reader=$(xd_detail "$1")
        sleep 0.5
        xdotool windowfocus --sync "$reader"
        # The program reads the keyboard map once the first remapped key arrives,
        # and that key can come out twice or not at all: a throwaway letter first.
        xdotool type --delay 40 "С"
        sleep 0.5
        xdotool key ctrl+a BackSpace
        xdotool type --delay 90 --file "$2"
        sleep 1
    }
    read_label "$main" "$work/label.txt"
    grab "$reader" "$shots/label.png"
    echo "label reader"

    # The photo through the file dialog: the field emptied, Tab passes the
    # empty list to "Открыть снимок…"; the dialog is the program's one window
    # not titled Vestrion.
    xdotool key ctrl+a BackSpace
    sleep 0.5
    xdotool key --delay 200 Tab space
    xd_dialog() { xdotool search --onlyvisible --pid "$xd_pid" 2>/dev/null | grep -vxF "$(xd_windows)"; }
    xd_wait_for 10 xd_dialog || die "no file dialog"
    dialog=$(xd_dialog | head -1)
    xdotool windowfocus --sync "$dialog"
    xdotool type --delay 20 "$work/photo.jpg"
    for _ in 1 2 3; do
        xd_dialog >/dev/null 2>&1 || break
        xdotool key Return
        sleep 1
    done
    # Read on the program's own thread: a few seconds on a busy machine.
    sleep 8
    grab "$reader" "$shots/photo.png"
    echo "label reader with a photo"
    # Again with restrictions stored: the reader names what conflicts.
    xd_stop
    printf '[restrictions]\ndiet=vegan\ngroups=warning-colours\n' >>"$XDG_CONFIG_HOME/Morvane/Vestrion.conf"
    XD_OUT=$work/program.err xd_start ./vestrion || die "the program's window did not appear again"
    sleep 1
    read_label "$xd_main" "$work/restricted.txt"
    grab "$reader" "$shots/restrictions.png"
    echo "label reader with restrictions"
    exit 0
fi

# ---------------------------------------------------------------------------
# Outside: check the tools, gather the program and catalogue, plan, run.
out_dir=$root/docs
all_dir=
readme_level=2
keypad=off
while getopts "o:a:l:kh" option; do
    case $option in
    o) out_dir=$OPTARG ;;
    a) all_dir=$OPTARG ;;
    l) readme_level=$OPTARG ;;
    k) keypad=on ;;
    h)
        sed -n '2,20p' "$self"
        exit 0
        ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -le 2 ] || die "too many arguments; see -h"
case $readme_level in 0 | 1 | 2 | 3) ;; *) die "the level is 0, 1, 2 or 3" ;; esac

build=${1:-$root/build}
build=$(cd "$build" 2>/dev/null && pwd) || die "no build folder ${1:-$root/build}"
catalogue=${2:-$build/data}
[ -x "$build/vestrion" ] || die "no program at $build/vestrion; build it first"
[ -x "$build/vestrion-vdb" ] || die "no tool at $build/vestrion-vdb; build it first"
[ -f "$build/libvestrion-ocr.so" ] || die "no OCR module at $build/libvestrion-ocr.so; build it first"
[ -e "$catalogue" ] || die "no catalogue at $catalogue"

missing=()
command -v xvfb-run >/dev/null 2>&1 || missing+=(xvfb)
command -v xdotool >/dev/null 2>&1 || missing+=(xdotool)
command -v import >/dev/null 2>&1 || missing+=(imagemagick)
command -v python3 >/dev/null 2>&1 || missing+=(python3)
[ ${#missing[@]} -eq 0 ] || die "missing tools; install them with: apt-get install -y ${missing[*]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/data" "$work/xml" "$work/config/Morvane"

# The program reads data/ beside its own file, so it runs from a copy.
cp "$build/vestrion" "$work/app/vestrion"
cp "$build/libvestrion-ocr.so" "$work/app/"

add_file() {
    local file=$1 name
    name=$(basename "$file")
    case ${name,,} in
    *.vdb) cp "$file" "$work/app/data/$name" ;;
    *.xml) "$build/vestrion-vdb" pack "$file" "$work/app/data/${name%.*}.vdb" ;;
    *) die "not a catalogue file: $file" ;;
    esac
}
if [ -d "$catalogue" ]; then
    shopt -s nullglob nocaseglob
    files=("$catalogue"/*.vdb "$catalogue"/*.xml)
    shopt -u nullglob nocaseglob
    [ ${#files[@]} -gt 0 ] || die "no .vdb or .xml files in $catalogue"
    for file in "${files[@]}"; do add_file "$file"; done
else
    add_file "$catalogue"
fi

# The same files, as the program reads them, in its order.
for vdb in "$work/app/data"/*.vdb; do
    "$build/vestrion-vdb" unpack "$vdb" "$work/xml/$(basename "$vdb" .vdb).xml" ||
        die "cannot read $vdb"
done

printf '[General]\nkeyboard-status=%s\n' "$keypad" >"$work/config/Morvane/Vestrion.conf"
# The list of the label set that names the most kinds of additive, without its header.
# One line: xdotool types no line breaks into the field.
tail -n +3 "$root/tests/data/labels/04-soda.txt" | sed -z 's/-\n//g; s/\n/ /g' >"$work/label.txt"
# Sweets with a colour of the six and beeswax, for the restrictions.
tail -n +3 "$root/tests/data/labels/06-sweets.txt" | sed -z 's/-\n//g; s/\n/ /g' >"$work/restricted.txt"
# The same list printed on a card, photographed a little askew on a table.
convert -size 900x -background '#f2eee4' -fill '#1e1e1e' -font DejaVu-Sans -pointsize 30 \
    caption:"$(cat "$work/label.txt")" -bordercolor '#f2eee4' -border 50 -background '#5b544a' \
    -rotate 1.5 -gravity center -extent 1100x900 -quality 85 "$work/photo.jpg" ||
    die "ImageMagick could not make the photo"

# Plans the run: for each safety level the searchable entry that fills most
# sections, and for the list the searchable entry after which the screen shows
# the most colours and a group title.
python3 - "$work" <<'PLAN'
import glob, os, re, sys
import xml.etree.ElementTree as ET

work = sys.argv[1]
rows = []
for path in sorted(glob.glob(os.path.join(work, "xml", "*.xml")), key=lambda p: os.path.basename(p)):
    try:
        tree = ET.parse(path)
    except ET.ParseError:
        continue
    for element in tree.iter():
        if isinstance(element.tag, str) and element.tag.split("}")[-1] == "item":
            rows.append({k.split("}")[-1]: v for k, v in element.attrib.items()})

def number(text):
    try:
        return int(text.strip(), 10)
    except ValueError:
        return 0

def pieces(row, name):
    return row.get(name, "").split(":")

def second(row, name):
    p = pieces(row, name)
    return p[1] if len(p) > 1 else ""

def detail_level(row):
    level = number(pieces(row, "safety")[0])
    return level if level in (1, 2, 3) else 0

def row_level(row):
    return min(3, max(0, number(pieces(row, "safety")[0])))

def is_header(row):
    return row.get("type", "") == "header"

def sections(row):
    shown = [second(row, n) for n in ("status", "safety", "sources", "production", "functions", "products")]
    shown.append(any(pieces(row, "names")[1:]))
    return sum(1 for text in shown if text)

# Rows a typed code reaches: the first row whose code holds "E" and its digits.
def searchable():
    for index, row in enumerate(rows):
        if is_header(row):
            continue
        match = re.match(r"E([1-9][0-9]{0,3})", row.get("code", ""))
        if not match:
            continue
        needle = "E" + match.group(1)
        first = next(i for i, r in enumerate(rows) if needle in r.get("code", ""))
        if first == index:
            yield index, match.group(1)

reachable = list(searchable())
if not reachable:
    sys.exit("screenshots: no entry in the catalogue can be reached by typing its code")

with open(os.path.join(work, "plan-detail"), "w") as plan:
    for level in range(4):
        found = [(i, digits) for i, digits in reachable if detail_level(rows[i]) == level]
        if not found:
            print(f"screenshots: no entry of safety level {level} can be reached", file=sys.stderr)
            continue
        # The fullest page; the earliest of equals.
        index, digits = max(found, key=lambda f: (sections(rows[f[0]]), -f[0]))
        plan.write(f"{level} {digits} {rows[index]['code']}\n")

def variety(index):
    screen = rows[index:index + 6]
    levels = {row_level(r) for r in screen if not is_header(r)}
    return len(levels) + any(is_header(r) for r in screen[1:])

index, digits = max(reachable, key=lambda f: (variety(f[0]), -f[0]))
with open(os.path.join(work, "plan-list"), "w") as plan:
    plan.write(f"{digits} {rows[index]['code']}\n")
PLAN

grep -q "^$readme_level " "$work/plan-detail" ||
    die "the catalogue has no reachable entry of safety level $readme_level; choose another with -l"

XDG_CONFIG_HOME=$work/config xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$self" --inside "$work"

mkdir -p "$out_dir"
cp "$work/shots/list.png" "$out_dir/screenshot-list.png"
cp "$work/shots/detail-$readme_level.png" "$out_dir/screenshot-detail.png"
cp "$work/shots/label.png" "$out_dir/screenshot-label.png"
cp "$work/shots/restrictions.png" "$out_dir/screenshot-restrictions.png"
echo "wrote $out_dir/screenshot-list.png, $out_dir/screenshot-detail.png, $out_dir/screenshot-label.png" \
    "and $out_dir/screenshot-restrictions.png"
cp "$work/shots/photo.png" "$out_dir/screenshot-photo.png"
echo "wrote $out_dir/screenshot-list.png, $out_dir/screenshot-detail.png, $out_dir/screenshot-label.png" \
    "and $out_dir/screenshot-photo.png"
if [ -n "$all_dir" ]; then
    mkdir -p "$all_dir"
    cp "$work/shots"/*.png "$all_dir/"
    echo "kept every screenshot in $all_dir"
fi
