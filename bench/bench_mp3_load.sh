#!/bin/bash
# MP3 load cost: `veltrano-tags read` on every MP3 of a generated music
# library in one process, measured from outside the process. Prints files
# per second, the bytes and read calls per file (rchar and syscr of
# /proc/<pid>/io, less what the tool reads to start up), peak memory, and
# how many play times, sample rates and channel counts agree with what the
# generator wrote.
#
#   bench/bench_mp3_load.sh [CORPUS_DIR] [--files N] [--runs R]
#
# CORPUS_DIR defaults to /tmp/corpus600; it is generated (N files, default
# 600) when it holds no manifest.json. The page cache is warmed first; the
# tool runs R times (default 5) and the median time is reported.
set -euo pipefail

CORPUS=/tmp/corpus600
FILES=600
RUNS=5
while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES="$2"; shift 2 ;;
        --runs) RUNS="$2"; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) CORPUS="$1"; shift ;;
    esac
done

source "$(dirname "$0")/lib.sh"
TOOL="$BIN/veltrano-tags"
need_executable bench_mp3_load "$TOOL"

ensure_corpus "$CORPUS" "$FILES"

# Warm the page cache so that the figures do not depend on the disk.
find "$CORPUS" -name '*.mp3' -exec cat {} + > /dev/null

/usr/bin/python3 - "$TOOL" "$CORPUS" "$RUNS" <<'PY'
import json, os, statistics, subprocess, sys, tempfile, time

tool, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
manifest = json.load(open(os.path.join(corpus, "manifest.json")))
tracks = {os.path.join(corpus, t["path"]): t for t in manifest["tracks"] if t["path"].endswith(".mp3")}
files = sorted(tracks)
if not files:
    sys.exit("bench_mp3_load: no MP3 files in " + corpus)


def run(args):
    """Wall time, /proc/<pid>/io of the finished child (read while it is a
    zombie), peak resident memory in KiB, and its standard output."""
    with tempfile.TemporaryFile() as out:
        start = time.perf_counter()
        child = subprocess.Popen(args, stdout=out, stderr=subprocess.DEVNULL)
        os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
        wall = time.perf_counter() - start
        with open(f"/proc/{child.pid}/io") as f:
            io = {k.rstrip(":"): int(v) for k, v in (line.split() for line in f)}
        _, status, usage = os.wait4(child.pid, 0)
        if status != 0:
            sys.exit(f"bench_mp3_load: {args[0]} exited with {status}")
        out.seek(0)
        return wall, io, usage.ru_maxrss, out.read().decode()


# What the tool reads to start up (its libraries, locale files), measured
# on one empty file and taken off the totals.
with tempfile.NamedTemporaryFile(suffix=".mp3") as empty:
    _, base_io, _, _ = run([tool, "read", empty.name])

measured = [run([tool, "read", *files]) for _ in range(runs)]
wall = statistics.median(m[0] for m in measured)
io, peak, output = measured[0][1], max(m[2] for m in measured), measured[0][3]
n = len(files)
audio_bytes = sum(os.path.getsize(f) for f in files)
read_bytes = io["rchar"] - base_io["rchar"]
read_calls = io["syscr"] - base_io["syscr"]

good_time = good_format = 0
worst = (0.0, "")
for line in output.splitlines():
    record = json.loads(line)
    track, props = tracks[record["file"]], record["properties"]
    error = abs(props["playtime"] - track["seconds"])
    good_time += error <= 1.0
    good_format += props["samplerate"] == track["sample_rate"] and props["channels"] == track["channels"]
    worst = max(worst, (error, os.path.relpath(record["file"], corpus)))

print(f"corpus: {corpus} ({n} MP3 files, {audio_bytes / n / 1024:.0f} KiB each on average); "
      f"{runs} runs, median time")
print(f"files/s            {n / wall:10.0f}   ({wall:.3f} s for {n} files)")
print(f"bytes read/file    {read_bytes / n:10.0f}   ({read_bytes / audio_bytes * 100:.2f} % of the audio bytes)")
print(f"read calls/file    {read_calls / n:10.1f}")
print(f"peak memory        {peak / 1024:10.1f} MiB")
print(f"play time within 1 s of the source: {good_time}/{n}; sample rate and channels right: {good_format}/{n}; "
      f"largest play-time error {worst[0]:.3f} s ({worst[1]})")
PY
