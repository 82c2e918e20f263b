#!/usr/bin/python3
"""The scan on a network share simulated, beside TagLib's reader and mutagen.

Called by compare.sh --latency MS. Every process runs with
bench/latency_preload.so, which adds MS milliseconds to each open, stat and
close of a file below the corpus and to each 128 KiB block first read.
Ours is the whole `veltrano-tags scan DIR -j N` (the folder walk and the
window's loading pool, N files in flight); TagLib's and mutagen's drivers
read the same files one after another, as their readers do. Each side runs
BENCH_RUNS times (default 3); the median run counts.
"""
import os
import subprocess
import sys
import time

EXTS = (".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav",
        ".opus", ".oga", ".wv", ".mpc", ".aif", ".aiff", ".aifc", ".dsf", ".dff", ".m4b")


def timed(cmd, env):
    start = time.monotonic()
    p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    wall = time.monotonic() - start
    if p.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), p.stderr.decode("utf-8", "replace")[-400:]))
    return wall


def main():
    corpus, work, latency, preload, tool, taglib = sys.argv[1:7]
    runs = int(os.environ.get("BENCH_RUNS", "3"))
    jobs = os.environ.get("BENCH_JOBS", "32")
    files = sorted(os.path.join(r, n) for r, _, ns in os.walk(corpus) for n in ns
                   if os.path.splitext(n)[1].lower() in EXTS)
    listing = os.path.join(work, "latency-files.txt")
    with open(listing, "w", encoding="utf-8") as fh:
        fh.write("".join(f + "\n" for f in files))
    env = dict(os.environ, LATENCY_MS=latency, LATENCY_PREFIX=corpus, LD_PRELOAD=preload)
    mutagen = ["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)), "compare_mutagen.py")]
    sides = [
        ("veltrano -j%s" % jobs, [tool, "scan", corpus, "-j", jobs]),
        ("veltrano -j1", [tool, "scan", corpus, "-j", "1"]),
        ("TagLib", [taglib, "scan", listing]),
        ("mutagen", mutagen + ["scan", listing]),
    ]
    print("network share simulated: %s ms per open, stat, close and first read of a 128 KiB block; "
          "%d files, median of %d runs" % (latency, len(files), runs))
    rate = {}
    for name, cmd in sides:
        walls = sorted(timed(cmd, env) for _ in range(runs))
        wall = walls[len(walls) // 2]
        rate[name] = len(files) / wall
        print("  %-16s %8.2f s  %9.1f files/s  %6.2f ms per file" % (name, wall, rate[name], wall * 1000 / len(files)))
    ours = rate["veltrano -j%s" % jobs]
    print("  veltrano -j%s / TagLib: %.1fx   / mutagen: %.1fx" % (jobs, ours / rate["TagLib"], ours / rate["mutagen"]))


if __name__ == "__main__":
    main()
