#!/bin/bash
# APE-tagged files: per-file read time of WavPack and Musepack files, ours
# next to TagLib's on the same files in one run, and the bytes a title
# change writes into a large WavPack file (only its trailer should be).
#
#   bench/bench_apev2.sh [FILES] [BIG_MB]
#
# FILES (default 400) copies of one WavPack and one Musepack file, each
# with an APE tag (mutagen) of ten items and a 100 KB picture. BIG_MB
# (default 100): size of the large WavPack file made from noise. Uses the
# tag library of build/ (VELTRANO_BUILD overrides) and Debian's libtag1-dev.
set -euo pipefail

FILES=${1:-400}
BIG_MB=${2:-100}
source "$(dirname "$0")/lib.sh"
BUILD=${VELTRANO_BUILD:-$HERE/build}
[ -f "$BUILD/libtags.a" ] || { echo "bench_apev2: $BUILD/libtags.a not built" >&2; exit 2; }
need_executable veltrano-tags "$BIN/veltrano-tags"

WORK=$(mktemp -d /tmp/bench-apev2.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
g++ -O2 -std=c++20 -pthread -I"$HERE" "$HERE/bench/compare_ours.cpp" "$BUILD/libtags.a" -lz -o "$WORK/ours"
g++ -O2 -std=c++17 "$HERE/bench/compare_taglib.cpp" -o "$WORK/taglib" $(pkg-config --cflags --libs taglib)

ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=5" -ac 2 "$WORK/src.wav"
wavpack -q -y "$WORK/src.wav" -o "$WORK/one.wv"
mpcenc --silent --overwrite "$WORK/src.wav" "$WORK/one.mpc" 2>/dev/null
/usr/bin/python3 - "$WORK" <<'EOF'
import sys
from mutagen.apev2 import APEv2, APEBinaryValue
for name in ("one.wv", "one.mpc"):
    t = APEv2()
    for i, k in enumerate(["Title", "Artist", "Album", "Year", "Track", "Genre", "Comment", "Composer",
                           "Album Artist", "Disc"]):
        t[k] = "%s value %d" % (k, i)
    t["Cover Art (Front)"] = APEBinaryValue(b"front\0\xff\xd8\xff\xe0" + bytes(100000))
    t.save(sys.argv[1] + "/" + name)
EOF
for ext in wv mpc; do
    mkdir -p "$WORK/$ext"
    for i in $(seq 1 "$FILES"); do cp "$WORK/one.$ext" "$WORK/$ext/$i.$ext"; done
    find "$WORK/$ext" -type f > "$WORK/$ext.list"
done

# Best of three runs, CPU time (user + system) in microseconds per file:
# the machine may be shared, and waiting for it is no one's cost.
per_file() {
    /usr/bin/python3 -c '
import resource, subprocess, sys
files, cmd = int(sys.argv[1]), sys.argv[2:]
best = None
for _ in range(3):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    best = cpu if best is None else min(best, cpu)
print(int(best * 1e6 / files))
' "$FILES" "$@"
}
for ext in wv mpc; do
    xargs cat < "$WORK/$ext.list" > /dev/null   # warm the page cache
    ours=$(per_file "$WORK/ours" scan "$WORK/$ext.list")
    theirs=$(per_file "$WORK/taglib" scan "$WORK/$ext.list")
    echo "read .$ext: ours ${ours} us/file, TagLib ${theirs} us/file (CPU time, best of 3)"
done

# A title change on a large WavPack file: bytes written (wchar of /proc/<pid>/io).
ffmpeg -v error -y -f lavfi -i "anoisesrc=duration=$(( BIG_MB * 12 )):sample_rate=44100" -ac 2 "$WORK/big.wav"
wavpack -q -y -f "$WORK/big.wav" -o "$WORK/big.wv"
rm -f "$WORK/big.wav"
/usr/bin/python3 - "$WORK/big.wv" <<'EOF'
import sys
from mutagen.apev2 import APEv2
t = APEv2()
t["Title"] = "Old title"
t["Artist"] = "Someone"
t.save(sys.argv[1])
EOF
size=$(stat -c %s "$WORK/big.wv")
/usr/bin/python3 - "$BIN/veltrano-tags" "$WORK/big.wv" "$size" <<'EOF'
import os, subprocess, sys
tool, path, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
# One named kind: the tool makes no safety copy of the file, so what is
# counted is the library's own write.
child = subprocess.Popen([tool, "write", path, "--tag", "apev2", "--set", "TITLE=A new title that is longer than the old one"],
                         stdout=subprocess.DEVNULL)
os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
with open(f"/proc/{child.pid}/io") as io:
    wchar = next(int(l.split()[1]) for l in io if l.startswith("wchar:"))
child.wait()
print("title change on a %.0f MB WavPack file: %d bytes written" % (size / 1e6, wchar))
EOF
