#!/usr/bin/env bash
# Builds the catalogue fuzz targets with clang into build-fuzz/ and runs each
# for a short while with a fixed seed, starting from seeds made here (the
# packed catalogue, the starter fixture, the small documents in fuzz/seeds/
# that reach the reader's corners) and from the regression inputs in
# tests/data/hostile/. A crash, a sanitizer report or a differential mismatch
# fails the script and leaves the input in build-fuzz/fuzz/findings/.
#   scripts/fuzz.sh                      60 s for the catalogue file target,
#                                        a third of that for the inflate,
#                                        rich-text and label ones
#   FUZZ_SECONDS=1800 scripts/fuzz.sh    a long run
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh fuzz
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_BUILD_JOBS:-2}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVESTRION_FUZZ=ON -DVESTRION_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_catalogue_file fuzz_inflate fuzz_richtext fuzz_label \
    catalogue

fuzz=build-fuzz/fuzz
# Seeds: whole files for one target, their compressed payloads for the other,
# and size headers that lie over a short stream.
corpus=$fuzz/corpus
rm -rf "$corpus"
mkdir -p "$corpus/file" "$corpus/inflate"
cp build-fuzz/data/*.vdb fuzz/seeds/*.vdb "$corpus/file/"
for xml in tests/data/starter.xml fuzz/seeds/*.xml; do
    build-fuzz/vestrion-vdb pack "$xml" "$corpus/file/$(basename "$xml" .xml).vdb"
done
for vdb in "$corpus"/file/*.vdb; do
    tail -c +24 "$vdb" | head -c -20 >"$corpus/inflate/$(basename "$vdb" .vdb).z"
done
lie() { { printf '%b' "$2"; tail -c +5 "$corpus/inflate/empty-item.z"; } >"$corpus/inflate/header-$1.z"; }
lie 0 '\x00\x00\x00\x00'
lie 1 '\x00\x00\x00\x01'
lie 1000 '\x00\x00\x03\xe8'
lie 4294967295 '\xff\xff\xff\xff'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$fuzz/findings"

run() {
    local target=$1
    local seconds=$2
    shift 2
    local log="$fuzz/$target.log"
    mkdir -p "$work/$target"
    echo "fuzz_$target: $seconds s, seed 1"
    if ! "$fuzz/fuzz_$target" -seed=1 -max_total_time="$seconds" -max_len=65536 -timeout=25 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$fuzz/findings/" \
        "$work/$target" "$@" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$target failed; the input is in $fuzz/findings/" >&2
        return 1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$log" | tail -n 1 || true
}

run catalogue_file "$seconds" "$fuzz/corpus/file" tests/data/hostile
run inflate $((seconds / 3)) "$fuzz/corpus/inflate"
# Markup a catalogue value may hold, harmless and not: links of every scheme
# and url() in any letter case among them.
mkdir -p "$work/richtext-seeds"
n=0
for seed in '<b>x</b> & <ul><li>a</li></ul><a href="#e1">e</a><!-- c -->' \
    '<table background="x.png" bgcolor="red"><tr><td style="color:red; background:url(x)">x</td></tr></table>' \
    '<IMG SRC=file:///x><link rel="stylesheet" href="x.css"><style>@import url(x);</style>1 < 2' \
    '<html><head><meta name="qrichtext" content="1" /></head><body><p align=center>x</p></body></html>' \
    '<a href="file:///etc/passwd">f</a><A HREF="HTTPS://x/">h</A><a href=data:text/html,x>d</a>' \
    '<span style="background-color: URL(x.png); font-size: uRl(x)">s</span><p STYLE="color:Url(x)">p</p>'; do
    printf '%s' "$seed" >"$work/richtext-seeds/$n"
    n=$((n + 1))
done
run richtext $((seconds / 3)) "$work/richtext-seeds"
# Ingredient lists in every language the reader knows, and the label set's traps.
mkdir -p "$work/label-seeds"
find tests/data/labels -name '*.txt' -exec cp --backup=numbered -t "$work/label-seeds" {} +
run label $((seconds / 3)) "$work/label-seeds"
