#!/bin/bash
# Start-up time of the program with the update check, off screen: wall time
# and peak memory of the whole process from launch until its main window has
# shown and closed again, with an empty settings folder.
#
#   bench/bench_startup.sh [--runs R]
#
# Three update addresses:
#   default   the built-in update server (on a machine without network: the
#             name does not resolve)
#   silent    a server on 127.0.0.1 that accepts connections and never answers
#             (the worst case: the check's deadline ends it)
#   none      a plain-HTTP address, refused before any request (no check)
set -euo pipefail

RUNS=3
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) RUNS="$2"; shift 2 ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

source "$(dirname "$0")/lib.sh"
need_executable bench_startup "$BIN/veltrano"
[ -x /usr/bin/time ] || { echo "bench_startup: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }

WORK="$(mktemp -d /tmp/bench-startup.XXXXXX)"
/usr/bin/python3 - "$WORK/port" <<'PY' &
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(16)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
held = []
while True:
    c, _ = s.accept()
    held.append(c)
PY
SILENT_PID=$!
trap 'kill $SILENT_PID 2>/dev/null || true; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(cat "$WORK/port")

run() {  # LABEL [UPDATE_URL]
    local Label=$1
    for r in $(seq "$RUNS"); do
        rm -rf "$WORK/config"
        mkdir -p "$WORK/config"
        if [ $# -gt 1 ]; then
            env XDG_CONFIG_HOME="$WORK/config" QT_QPA_PLATFORM=offscreen VELTRANO_TEST_HOOK=quit-when-shown \
                VELTRANO_UPDATE_URL="$2" /usr/bin/time -f "%e %M" -o "$WORK/t" "$BIN/veltrano" > /dev/null 2>&1
        else
            env -u VELTRANO_UPDATE_URL XDG_CONFIG_HOME="$WORK/config" QT_QPA_PLATFORM=offscreen \
                VELTRANO_TEST_HOOK=quit-when-shown /usr/bin/time -f "%e %M" -o "$WORK/t" "$BIN/veltrano" \
                > /dev/null 2>&1
        fi
        read -r SECS KB < "$WORK/t"
        printf 'update address %-8s start-up %5.2f s   peak RSS %6.1f MiB\n' "$Label" "$SECS" \
            "$(awk -v k="$KB" 'BEGIN { print k / 1024 }')"
    done
}

run default
run silent "https://127.0.0.1:$PORT"
run none "http://127.0.0.1:9"
