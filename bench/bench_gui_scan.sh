#!/bin/bash
# The main window's folder scan over a generated music library, next to
# `veltrano-tags scan` on the same folder: wall time, the longest time the
# window's event loop had to wait during the scan (what the user would feel
# as a stall), distinct covers kept and peak memory.
#
#   bench/bench_gui_scan.sh [CORPUS_DIR] [--runs R] [--filter-rows N] [--latency MS]
#
# CORPUS_DIR defaults to /tmp/corpus2000 (made with make-corpus when missing).
# The window runs off screen with a temporary settings folder pointing at the
# corpus; the page cache is warmed first; each side runs R times (default 3).
# With --filter-rows N the window then fills its cache up to N records
# (copies of those scanned) and times each keystroke of a filter typed and
# erased, the list's repaint included. With --latency MS every file call
# below the corpus costs MS milliseconds (bench/latency_preload.c: a network
# share simulated).
set -euo pipefail

CORPUS=/tmp/corpus2000
RUNS=3
FILTER_ROWS=0
LATENCY=0
TOOL_JOBS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) RUNS="$2"; shift 2 ;;
        --filter-rows) FILTER_ROWS="$2"; shift 2 ;;
        --latency) LATENCY="$2"; shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        *) CORPUS="$1"; shift ;;
    esac
done

source "$(dirname "$0")/lib.sh"
need_executable bench_gui_scan "$BIN/veltrano"
[ -x /usr/bin/time ] || { echo "bench_gui_scan: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }
ensure_corpus "$CORPUS" 2000
CORPUS=$(realpath "$CORPUS")

WORK="$(mktemp -d /tmp/bench-gui-scan.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/config/Veltrano"
printf '[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1600\nHeight=1000\nFolder=%s\n' "$CORPUS" \
    > "$WORK/config/Veltrano/set.ini"

find "$CORPUS" -type f -exec cat {} + > /dev/null   # warm the page cache
SHARE=()
if [ "$LATENCY" != 0 ]; then
    cc -O2 -shared -fPIC -o "$WORK/latency_preload.so" "$HERE/bench/latency_preload.c" -ldl
    SHARE=(env LATENCY_MS="$LATENCY" LATENCY_PREFIX="$CORPUS" LD_PRELOAD="$WORK/latency_preload.so")
    # What a share mounted over NFS or SMB gets by itself: 32 files in flight.
    printf 'FilesInFlight=32\n' >> "$WORK/config/Veltrano/set.ini"
    TOOL_JOBS=(-j 32)
    echo "every open, stat, close and first read of a 128 KiB block below the corpus: $LATENCY ms"
fi

echo "corpus: $CORPUS ($(find "$CORPUS" -type f | wc -l) files)"
for r in $(seq "$RUNS"); do
    XDG_CONFIG_HOME="$WORK/config" QT_QPA_PLATFORM=offscreen VELTRANO_TEST_HOOK="scanbench=$WORK/gui.json|$FILTER_ROWS" \
        "${SHARE[@]}" "$BIN/veltrano" > /dev/null 2>&1
    /usr/bin/python3 - "$WORK/gui.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
print("window scan:    %5d files in %6.2f s  (%4.0f files/s)  longest event-loop wait %3d ms  "
      "peak RSS %6.1f MiB" % (
      d["records"], d["scanMs"] / 1000, d["records"] / max(d["scanMs"], 1) * 1000,
      d["maxEventLoopGapMs"], d["VmHWM"] / 1024))
print("  the longest wait ended %d ms after start-up, %d ms before the scan's end; the window's thread "
      "worked %d ms of it" % (d["maxEventLoopGapAtMs"], d["sinceHookMs"] - d["maxEventLoopGapAtMs"],
                              d["maxEventLoopGapCpuMs"]))
print("  the most processor time the window's thread spent between two turns of its event loop: %d ms "
      "(the rest of a wait is the machine's other work)" % d["maxTurnCpuMs"])
print("  covers: %d files with one, %d distinct; %.1f MiB of cover bytes held for %.1f MiB in the records" % (
      d["withCover"], d["distinctCovers"], d["coverBytesHeld"] / 2**20, d["coverBytes"] / 2**20))
if "filterKeystrokes" in d:
    print("  filter over %d records: longest keystroke %d ms (%d ms of processor time)" % (
          d["filterRecords"], d["filterLongestMs"], d["filterLongestCpuMs"]))
    print("    " + " ".join("%r:%d/%dms->%d" % tuple(k) for k in d["filterKeystrokes"]))
PY
    /usr/bin/time -f "%e %M" -o "$WORK/tool.time" "${SHARE[@]}" "$BIN/veltrano-tags" scan "$CORPUS" "${TOOL_JOBS[@]}" > /dev/null 2>&1 || true
    read -r SECS KB < "$WORK/tool.time"
    printf 'veltrano-tags scan:        in %6.2f s                                                     peak RSS %6.1f MiB\n' \
        "$SECS" "$(awk -v k="$KB" 'BEGIN { print k / 1024 }')"
done
