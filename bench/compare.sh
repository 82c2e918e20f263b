#!/bin/bash
# Whole-process benchmarks: our tag library next to TagLib and mutagen on a
# generated library of at least 2,000 files of every format: scan (files/s,
# read calls and bytes read per file, peak memory; beside a floor that reads
# only each file's first and last 64 KiB), save in place and save with
# rewrite, printed side by side and as ratios in one run; then the scan per
# format (bench/compare_formats.py); then the saves per format
# (bench/compare_saves.py: bytes written by a first and a later title edit,
# saves per second in place, growing, and over a batch of 1,000 files).
#
#   bench/compare.sh [CORPUS_DIR] [--latency MS] [--saves]
#
# --saves runs the saves per format alone (no corpus needed); BENCH_SAVE_*,
# BENCH_EDITS, BENCH_GROW_FILES and BENCH_BATCH_* size them (see
# bench/compare_saves.py).
# CORPUS_DIR defaults to /tmp/corpus2000 and is generated (2,000 files) when
# it holds no manifest.json. BENCH_RUNS (default 5) runs per scan and
# in-place phase; BENCH_SAVE_FILES caps the files saved (default: all files
# of the formats our library writes). Our side is built at -O2 in
# build-bench; the TagLib driver against Debian's libtag1-dev.
# With --latency MS the library sits on a network share simulated
# (bench/latency_preload.c: MS milliseconds for each open, stat and close
# and for each 128 KiB block first read): `veltrano-tags scan -j N` (the
# window's loading pool), TagLib's reader and mutagen are timed over it
# instead (bench/compare_latency.py).
set -euo pipefail

CORPUS=/tmp/corpus2000
LATENCY=""
SAVES_ONLY=""
while [ $# -gt 0 ]; do
    case "$1" in
        --latency) LATENCY="$2"; shift 2 ;;
        --saves) SAVES_ONLY=1; shift ;;
        *) CORPUS="$1"; shift ;;
    esac
done
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANO_BENCH_BUILD:-$SRC/build-bench}

source "$SRC/bench/lib.sh"
[ -n "$SAVES_ONLY" ] || ensure_corpus "$CORPUS" 2000

LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANO_GUI=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" --target tags -j"${JOBS:-2}" >/dev/null

WORK=$(mktemp -d /tmp/bench-compare.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
g++ -O2 -std=c++20 -pthread -I"$SRC" "$SRC/bench/compare_ours.cpp" "$BUILD/libtags.a" -lz -o "$WORK/ours"
g++ -O2 -std=c++17 "$SRC/bench/compare_taglib.cpp" -o "$WORK/taglib" $(pkg-config --cflags --libs taglib)
g++ -O2 -std=c++17 "$SRC/bench/compare_ends.cpp" -o "$WORK/ends"

if [ -n "$LATENCY" ]; then
    cmake --build "$BUILD" --target veltrano-tags -j"${JOBS:-2}" >/dev/null
    cc -O2 -shared -fPIC -o "$WORK/latency_preload.so" "$SRC/bench/latency_preload.c" -ldl
    /usr/bin/python3 "$SRC/bench/compare_latency.py" "$(realpath "$CORPUS")" "$WORK" "$LATENCY" \
        "$WORK/latency_preload.so" "$BUILD/bin/veltrano-tags" "$WORK/taglib"
    exit
fi

if [ -n "$SAVES_ONLY" ]; then
    /usr/bin/python3 "$SRC/bench/compare_saves.py" "$WORK" "$WORK/ours" "$WORK/taglib"
    exit
fi

/usr/bin/python3 "$SRC/bench/compare.py" "$CORPUS" "$WORK" "$WORK/ours" "$WORK/taglib" "$WORK/ends"
echo
echo "scan per format (best of ${BENCH_RUNS:-5} runs; read calls and KiB per file under strace):"
/usr/bin/python3 "$SRC/bench/compare_formats.py" "$CORPUS" "$WORK" "${BENCH_RUNS:-5}" "$WORK/ours" "$WORK/taglib" "$WORK/ends"
echo
/usr/bin/python3 "$SRC/bench/compare_saves.py" "$WORK" "$WORK/ours" "$WORK/taglib"
