#!/bin/bash
# Per-format scan: our library next to TagLib and next to a floor that only
# reads each file's first and last 64 KiB: files/s (best of R runs), read
# calls and KiB read per file, for every extension in the corpus and for all
# files together.
#
#   bench/compare_formats.sh [CORPUS_DIR] [RUNS]
#
# CORPUS_DIR defaults to /tmp/corpus2000 (generated when missing). Our side
# is built at -O2 in build-bench, as bench/compare.sh does.
set -euo pipefail

CORPUS=${1:-/tmp/corpus2000}
RUNS=${2:-5}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANO_BENCH_BUILD:-$SRC/build-bench}

source "$SRC/bench/lib.sh"
ensure_corpus "$CORPUS" 2000
command -v strace >/dev/null || { echo "compare_formats: strace missing" >&2; exit 2; }

LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANO_GUI=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" --target tags -j"${JOBS:-2}" >/dev/null

WORK=$(mktemp -d /tmp/bench-formats.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
g++ -O2 -std=c++20 -pthread -I"$SRC" "$SRC/bench/compare_ours.cpp" "$BUILD/libtags.a" -lz -o "$WORK/ours"
g++ -O2 -std=c++17 "$SRC/bench/compare_taglib.cpp" -o "$WORK/taglib" $(pkg-config --cflags --libs taglib)
g++ -O2 -std=c++17 "$SRC/bench/compare_ends.cpp" -o "$WORK/ends"
find "$CORPUS" -type f -exec cat {} + > /dev/null   # warm the page cache

/usr/bin/python3 "$SRC/bench/compare_formats.py" "$CORPUS" "$WORK" "$RUNS" "$WORK/ours" "$WORK/taglib" "$WORK/ends"
