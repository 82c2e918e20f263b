#!/bin/bash
# The main window renaming many files from their tags (File > Tag to Name),
# optionally on a network share simulated: how long it takes, how long the
# window's event loop ever had to wait meanwhile (what the user would feel
# as a stall), and how many files were renamed.
#
#   bench/bench_renames.sh [CORPUS_DIR] [--files N] [--latency MS] [--runs R]
#
# N files (default 1,000) of CORPUS_DIR (default /tmp/corpus2000, made with
# make-corpus when missing) are copied into a folder of their own, which the
# window lists and renames by "%track% %title% (%num%)"; each run renames a
# fresh copy. With --latency MS every file call below that folder costs MS
# milliseconds (bench/latency_preload.c).
set -euo pipefail

CORPUS=/tmp/corpus2000
FILES=1000
LATENCY=0
RUNS=1
while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES="$2"; shift 2 ;;
        --latency) LATENCY="$2"; shift 2 ;;
        --runs) RUNS="$2"; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) CORPUS="$1"; shift ;;
    esac
done

source "$(dirname "$0")/lib.sh"
need_executable bench_renames "$BIN/veltrano"
ensure_corpus "$CORPUS" 2000
CORPUS=$(realpath "$CORPUS")

WORK="$(mktemp -d /tmp/bench-renames.XXXXXX)"
trap 'cat "$WORK/renames.json" >&2 2>/dev/null; rm -rf "$WORK"' EXIT
SHARE=()
if [ "$LATENCY" != 0 ]; then
    cc -O2 -shared -fPIC -o "$WORK/latency_preload.so" "$HERE/bench/latency_preload.c" -ldl
    SHARE=(env LATENCY_MS="$LATENCY" LATENCY_PREFIX="$WORK/share/music" LD_PRELOAD="$WORK/latency_preload.so")
    echo "every open, stat, close and first read of a 128 KiB block below the folder: $LATENCY ms"
fi

for r in $(seq "$RUNS"); do
    rm -rf "$WORK/share" "$WORK/config"
    mkdir -p "$WORK/share/music" "$WORK/config/Veltrano"
    # N audio files, flat, under names that the pattern changes.
    /usr/bin/python3 - "$CORPUS" "$WORK/share/music" "$FILES" <<'PY'
import os, shutil, sys
src, dst, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
exts = (".mp3", ".flac", ".ogg", ".m4a", ".wma", ".wav", ".opus", ".wv", ".mpc", ".aiff", ".ape")
files = sorted(os.path.join(r, n) for r, _, ns in os.walk(src) for n in ns if n.lower().endswith(exts))
if len(files) < count:
    sys.exit("bench_renames: %s holds %d audio files, %d asked for" % (src, len(files), count))
for i, f in enumerate(files[:count]):
    shutil.copyfile(f, os.path.join(dst, "file%05d%s" % (i, os.path.splitext(f)[1])))
PY
    printf '[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1600\nHeight=1000\nFolder=%s\n' "$WORK/share/music" \
        > "$WORK/config/Veltrano/set.ini"
    [ "$LATENCY" != 0 ] && printf 'FilesInFlight=32\n' >> "$WORK/config/Veltrano/set.ini"
    sync
    XDG_CONFIG_HOME="$WORK/config" QT_QPA_PLATFORM=offscreen \
        VELTRANO_TEST_HOOK="renamebench=$WORK/renames.json|%track% %title% (%num%)" \
        "${SHARE[@]}" "$BIN/veltrano" > /dev/null 2>&1
    LEFT=$(find "$WORK/share/music" -name 'file0*' | wc -l)
    /usr/bin/python3 - "$WORK/renames.json" "$LEFT" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
print("window renames: %5d files in %6.2f s  (%4.0f files/s)  longest event-loop wait %3d ms  "
      "names left unchanged: %s  status: %s" % (
      d["files"], d["ms"] / 1000, d["files"] / max(d["ms"], 1) * 1000, d["maxEventLoopGapMs"], sys.argv[2],
      d["status"]))
PY
done
