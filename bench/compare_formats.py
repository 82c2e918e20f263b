#!/usr/bin/python3
"""Per-format scan figures: our library, TagLib and a floor that reads each
file's first and last 64 KiB, over the same files.

Called by compare_formats.sh and compare.sh with the drivers built. For every
extension of the corpus: best of R whole-process runs (files/s), and from one
run under strace the read calls (read and pread64) and bytes read per file,
start-up taken off (measured on an empty list). A format with few files is
listed several times over (to at least MIN_ENTRIES entries a run), so that
a run lasts long enough for the timer and the machine's jitter.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile
import time

corpus, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
tools = {"veltrano": sys.argv[4], "TagLib": sys.argv[5], "ends 64K": sys.argv[6]}
by_ext = collections.defaultdict(list)
for root, _, names in os.walk(corpus):
    for n in names:
        ext = os.path.splitext(n)[1].lower()
        if ext not in (".jpg", ".json", ".png", ".txt"):
            by_ext[ext].append(os.path.join(root, n))


def listfile(name, files):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write("".join(p + "\n" for p in sorted(files)))
    return path


MIN_ENTRIES = 1000


def repeated(files):
    return files * max(1, -(-MIN_ENTRIES // max(1, len(files))))


def wall(tool, lst):
    best = None
    for _ in range(runs):
        t = time.monotonic()
        subprocess.run([tools[tool], "scan", lst], stdout=subprocess.DEVNULL, check=True)
        best = min(best or 1e9, time.monotonic() - t)
    return best


def reads(tool, lst):
    out = os.path.join(work, "strace.txt")
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=read,pread64", "-o", out, tools[tool], "scan", lst],
                   stdout=subprocess.DEVNULL, check=True)
    calls = size = 0
    for line in open(out):
        m = re.search(r"(read|pread64)\(.*\) += (\d+)", line)
        if m:
            calls += 1
            size += int(m.group(2))
    return calls, size


empty = listfile("empty.txt", [])
base = {t: reads(t, empty) for t in tools}
base_wall = {t: wall(t, empty) for t in tools}
print("%-6s %5s  %-9s %9s %9s %11s" % ("format", "files", "reader", "files/s", "reads/file", "KiB/file"))
everything = []
for ext in sorted(by_ext):
    files = by_ext[ext]
    everything += files
    lst = listfile("list%s.txt" % ext, files)
    timed = repeated(files)
    timed_lst = listfile("timed%s.txt" % ext, timed)
    for t in tools:
        w = max(wall(t, timed_lst) - base_wall[t], 1e-6)
        c, s = reads(t, lst)
        print("%-6s %5d  %-9s %9.0f %9.2f %11.1f" % (ext, len(files), t, len(timed) / w,
              (c - base[t][0]) / len(files), (s - base[t][1]) / len(files) / 1024))
lst = listfile("all.txt", everything)
for t in tools:
    w = max(wall(t, lst) - base_wall[t], 1e-6)
    c, s = reads(t, lst)
    print("%-6s %5d  %-9s %9.0f %9.2f %11.1f" % ("all", len(everything), t, len(everything) / w,
          (c - base[t][0]) / len(everything), (s - base[t][1]) / len(everything) / 1024))
