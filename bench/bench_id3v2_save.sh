#!/bin/bash
# ID3v2 save cost on a large MP3, measured from outside the process
# (`veltrano-tags write FILE --tag id3v2 --set TITLE=...`, whole process).
#
#   bench/bench_id3v2_save.sh [--size-mb N] [--runs R] [--dir DIR]
#
# Two cases on an N MiB file (default 100):
#   in place  the tag has 4000 bytes of padding, the new title fits: only the tag
#             region is written (wchar of /proc/<pid>/io, the inode stays);
#   rewrite   the new title does not fit: the file is rewritten through
#             "<file>.tmp"; its speed is compared with `cp` of the same file
#             followed by `sync` of the copy (a plain disk copy).
# The page cache is warmed first; each case runs R times (default 5) and the
# median is reported.
set -euo pipefail

SIZE_MB=100
RUNS=5
DIR=/tmp/bench-id3v2
while [ $# -gt 0 ]; do
    case "$1" in
        --size-mb) SIZE_MB="$2"; shift 2 ;;
        --runs) RUNS="$2"; shift 2 ;;
        --dir) DIR="$2"; shift 2 ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "bench_id3v2_save: unknown argument $1" >&2; exit 2 ;;
    esac
done

HERE="$(cd "$(dirname "$0")/.." && pwd)"
BIN="${VELTRANO_BIN:-$HERE/build/bin}"
TOOL="$BIN/veltrano-tags"
[ -x "$TOOL" ] || { echo "bench_id3v2_save: $TOOL not built (set VELTRANO_BIN)" >&2; exit 2; }
mkdir -p "$DIR"

/usr/bin/python3 - "$TOOL" "$DIR" "$SIZE_MB" "$RUNS" <<'PY'
import os, statistics, subprocess, sys, time

tool, folder, size_mb, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
path = os.path.join(folder, "big.mp3")


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def make_file(padding):
    body = b"\x00" + b"Original title"
    frame = b"TIT2" + len(body).to_bytes(4, "big") + b"\0\0" + body
    tag = b"ID3\x03\x00\x00" + syncsafe(len(frame) + padding) + frame + bytes(padding)
    frame_bytes = b"\xff\xfb\x90\x00" + bytes(413)       # 128 kbit/s, 44.1 kHz
    count = size_mb * 1024 * 1024 // len(frame_bytes)
    with open(path, "wb") as f:
        f.write(tag)
        chunk = frame_bytes * 2048
        for _ in range(count // 2048):
            f.write(chunk)
    with open(path, "rb") as f:                          # warm the page cache
        while f.read(1 << 24):
            pass
    return os.path.getsize(path)


def run(args):
    """Wall time and /proc/<pid>/io of the finished child (read before it is reaped)."""
    start = time.perf_counter()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    wall = time.perf_counter() - start
    with open(f"/proc/{child.pid}/io") as f:
        io = {k.rstrip(":"): int(v) for k, v in (line.split() for line in f)}
    rc = child.wait()
    if rc != 0:
        sys.exit(f"bench_id3v2_save: {' '.join(args)} failed: {child.stderr.read().decode()}")
    return wall, io


def median_of(cases):
    walls = sorted(c[0] for c in cases)
    return statistics.median(walls), cases[len(cases) // 2][1]


# --- in place ---------------------------------------------------------------
size = make_file(4000)
results = []
for i in range(runs):
    ino = os.stat(path).st_ino
    results.append(run([tool, "write", path, "--tag", "id3v2", "--set", f"TITLE=New title {i}"]))
    assert os.stat(path).st_ino == ino, "in-place save replaced the file"
    assert os.path.getsize(path) == size, "in-place save changed the file size"
wall, io = median_of(results)
print(f"file                    {size / 1048576:8.1f} MiB, tag padding 4000 bytes")
print(f"in place   time         {wall * 1000:8.1f} ms (median of {runs})")
print(f"in place   bytes written{io['wchar']:10d}   (write_bytes {io['write_bytes']}, {io['syscw']} write calls)")
print(f"in place   bytes read   {io['rchar']:10d}")

# --- rewrite ------------------------------------------------------------------
rewrites = []
for i in range(runs):
    make_file(16)
    rewrites.append(run([tool, "write", path, "--tag", "id3v2", "--set", "TITLE=" + "long title " * 50]))
    assert not os.path.exists(path + ".tmp")
wall, io = median_of(rewrites)
copies = []
for i in range(runs):
    start = time.perf_counter()
    subprocess.run(["cp", path, path + ".copy"], check=True)
    subprocess.run(["sync", path + ".copy"], check=True)
    copies.append(time.perf_counter() - start)
    os.unlink(path + ".copy")
copy = statistics.median(copies)
mb = size / 1048576
print(f"rewrite    time         {wall * 1000:8.1f} ms  = {mb / wall:7.1f} MiB/s (median of {runs})")
print(f"rewrite    bytes written{io['wchar']:10d}   bytes read {io['rchar']}")
print(f"cp + sync  time         {copy * 1000:8.1f} ms  = {mb / copy:7.1f} MiB/s")
print(f"rewrite / copy          {wall / copy:8.2f}")
os.unlink(path)
PY
