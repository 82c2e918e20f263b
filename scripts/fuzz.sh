#!/bin/bash
# Builds the libFuzzer targets (clang) and runs each for SECONDS seconds
# (default 20). Seeds: small files written at run time by fuzz/make_seeds.py,
# the peer files of other projects' test suites, and the regression fixtures.
# The growing corpus stays in the build folder between runs. Exits non-zero
# when a target found a crash; the input is kept under fuzz-artifacts/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#   VELTRANO_FUZZ_BUILD=folder (default build-fuzz), JOBS=n (build jobs)
set -euo pipefail

SECS=${1:-20}
shift || true
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANO_FUZZ_BUILD:-$SRC/build-fuzz}
PEERS=${VELTRANO_PEERS:-$SRC/../shared/corpus/peers}

LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
mkdir -p "$BUILD"
CC=clang CXX=clang++ cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELTRANO_FUZZ=ON -DVELTRANO_GUI=OFF "${LAUNCHER[@]}" >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" --target fuzz_all -j"${JOBS:-2}"

SEEDS=$BUILD/fuzz-seeds
rm -rf "$SEEDS"
mkdir -p "$SEEDS"
/usr/bin/python3 "$SRC/fuzz/make_seeds.py" "$SEEDS"
if [ -d "$PEERS" ]; then
    # Peer files up to 256 KiB; larger ones only slow every execution down.
    find "$PEERS" -type f -size -256k ! -name '*.md' ! -name '*.tsv' -print0 |
        while IFS= read -r -d '' f; do cp "$f" "$SEEDS/peer_$(echo "${f#$PEERS/}" | tr '/' '_')"; done
fi
if [ -d "$SRC/tests/fixtures/fuzz" ]; then
    # Open findings (fixtures/fuzz/open) stay out until fixed, or every run would stop on them.
    find "$SRC/tests/fixtures/fuzz" -type f ! -name '*.md' ! -path '*/open/*' -exec cp {} "$SEEDS/" \;
fi

if [ $# -gt 0 ]; then
    TARGETS=("$@")
else
    TARGETS=()
    for t in "$BUILD"/fuzz/fuzz_*; do [ -x "$t" ] && TARGETS+=("$(basename "$t")"); done
fi

status=0
printf '%-22s %10s %8s %8s %10s %s\n' target runs exec/s cov ft result
for name in "${TARGETS[@]}"; do
    corpus=$BUILD/fuzz-corpus/$name
    artifacts=$BUILD/fuzz-artifacts/$name
    log=$BUILD/fuzz-logs/$name.log
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    result=ok
    if ! "$BUILD/fuzz/$name" "$corpus" "$SEEDS" -max_total_time="$SECS" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
        result="FOUND: $(ls -t "$artifacts" | head -1) (log: $log)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    printf '%-22s %10s %8s %8s %10s %s\n' "$name" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
exit $status
