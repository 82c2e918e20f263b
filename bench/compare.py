#!/usr/bin/python3
"""Whole-process benchmarks of the tag library next to TagLib and mutagen.

Called by compare.sh with the three drivers built. Phases, each over the same
files for every reader:
  scan     load tags, pictures and play time of every file the folder scanner
           offers (every extension of EXTS); beside the three readers, a floor
           that only reads each file's first and last 64 KiB;
  scan read the same over the files of the formats our readers parse now;
  in place change the title of every file of the formats our library can
           write to a text the old tag has room for;
  rewrite  change it to a 16 KiB text, so every writer has to grow the tag
           and move the audio.
Each run is one process over a list of files; wall time, peak memory (/usr/bin/time)
and the bytes read and written and the read calls (read and pread) through
system calls (/proc/PID/io, taken after the exit and before the reaping) are
measured. Start-up costs are
measured on an empty list and taken off the per-file byte counts.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

EXTS = (".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav",
        ".opus", ".oga", ".wv", ".mpc", ".aif", ".aiff", ".aifc", ".dsf", ".dff", ".m4b")


def measure(cmd):
    """Runs cmd under /usr/bin/time, whose small process makes the peak
    memory the command's own (a child forked from this Python process would
    start with its resident size). The time process's /proc/PID/io, read
    after it exited and before it is reaped, includes the reaped command's."""
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as peak:
        start = time.monotonic()
        p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name] + cmd, stdout=subprocess.PIPE, stderr=err)
        out = p.stdout.read()
        os.waitid(os.P_PID, p.pid, os.WEXITED | os.WNOWAIT)
        wall = time.monotonic() - start
        io = {}
        with open("/proc/%d/io" % p.pid) as fh:
            for line in fh:
                k, v = line.split(":")
                io[k] = int(v)
        _, status, _ = os.wait4(p.pid, 0)
        code = os.waitstatus_to_exitcode(status)
        err.seek(0)
        errtext = err.read().decode("utf-8", "replace")[-400:]
        rss_kib = int(peak.read().strip().splitlines()[-1] or 0)
    lines = out.decode("utf-8", "replace").strip().splitlines()
    if code != 0 or not lines:
        sys.exit("benchmark command failed: %s\n%s" % (" ".join(cmd), errtext))
    r = json.loads(lines[-1])
    r.update(wall=wall, rss=rss_kib / 1024.0, rchar=io["rchar"], wchar=io["wchar"], syscr=io["syscr"])
    return r


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def main():
    corpus, work, ours, taglib, ends = sys.argv[1:6]
    runs = int(os.environ.get("BENCH_RUNS", "5"))
    save_limit = int(os.environ.get("BENCH_SAVE_FILES", "0"))
    mutagen = ["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)), "compare_mutagen.py")]
    tools = {"veltrano": [ours], "TagLib": [taglib], "mutagen": mutagen}
    floor = {"ends 64K": [ends]}

    files = sorted(os.path.join(r, n) for r, _, ns in os.walk(corpus) for n in ns
                   if os.path.splitext(n)[1].lower() in EXTS)
    total_bytes = sum(os.path.getsize(f) for f in files)

    def write_list(name, paths):
        p = os.path.join(work, name)
        with open(p, "w", encoding="utf-8") as fh:
            fh.write("".join(x + "\n" for x in paths))
        return p

    empty = write_list("empty.txt", [])
    base = {t: measure(c + ["scan", empty]) for t, c in {**tools, **floor}.items()}

    # Formats our readers and writers handle now: one probe per extension.
    readable, writable = [], []
    for ext in EXTS:
        sample = next((f for f in files if f.lower().endswith(ext)), None)
        if not sample:
            continue
        probe = os.path.join(work, "probe" + ext)
        shutil.copyfile(sample, probe)
        if measure([ours, "scan", write_list("probe.txt", [probe])]).get("loaded"):
            readable.append(ext)
        r = measure([ours, "save", write_list("probe.txt", [probe]), "Probe"])
        if r["failed"] == 0:
            writable.append(ext)
        os.remove(probe)
    save_files = [f for f in files if os.path.splitext(f)[1].lower() in writable]
    if save_limit:
        save_files = save_files[:save_limit]

    rows = []

    def record(phase, tool, results, count, nbytes):
        wall = median([r["wall"] for r in results])
        last = results[-1]
        rows.append({
            "phase": phase, "tool": tool, "files": count, "failed": last["failed"], "seconds": wall,
            "files_s": count / wall if wall else 0.0,
            "read_kib": max(0, last["rchar"] - base[tool]["rchar"]) / 1024.0 / max(1, count),
            "reads": max(0, last["syscr"] - base[tool]["syscr"]) / max(1, count),
            "written_kib": max(0, last["wchar"] - base[tool]["wchar"]) / 1024.0 / max(1, count),
            "rss": max(r["rss"] for r in results), "mib": nbytes / 2**20,
        })

    scan_list = write_list("scan.txt", files)
    for f in files:      # warm the page cache so every reader sees the same disk
        with open(f, "rb") as fh:
            while fh.read(1 << 20):
                pass
    for tool, cmd in {**tools, **floor}.items():
        record("scan", tool, [measure(cmd + ["scan", scan_list]) for _ in range(runs)], len(files), total_bytes)
    # The same over the formats our readers parse now, where the work is alike.
    read_files = [f for f in files if os.path.splitext(f)[1].lower() in readable]
    read_bytes = sum(os.path.getsize(f) for f in read_files)
    read_list = write_list("scan-read.txt", read_files)
    for tool, cmd in {**tools, **floor}.items():
        record("scan read", tool, [measure(cmd + ["scan", read_list]) for _ in range(runs)], len(read_files),
               read_bytes)

    save_bytes = sum(os.path.getsize(f) for f in save_files)
    for tool, cmd in tools.items():
        copy = os.path.join(work, "save-" + tool)
        paths = []
        for i, f in enumerate(save_files):
            dst = os.path.join(copy, "%05d%s" % (i, os.path.splitext(f)[1]))
            os.makedirs(copy, exist_ok=True)
            shutil.copyfile(f, dst)
            paths.append(dst)
        lst = write_list("save-%s.txt" % tool, paths)
        # Alternating titles of one length: after the first run every save fits.
        record("in place", tool, [measure(cmd + ["save", lst, "In place title %d" % i]) for i in range(runs)],
               len(paths), save_bytes)
        record("rewrite", tool, [measure(cmd + ["save", lst, ("Rewrite %d " % i) * 2000])],
               len(paths), save_bytes)
        shutil.rmtree(copy)

    print("corpus: %s: %d files, %.0f MiB; 'scan read' over the %d files our readers parse now (%s), %.0f MiB;"
          % (corpus, len(files), total_bytes / 2**20, len(read_files), " ".join(readable), read_bytes / 2**20))
    print("saves over %d files (%s), %.0f MiB; median of %d runs"
          % (len(save_files), " ".join(writable), save_bytes / 2**20, runs))
    print("%-10s %-9s %6s %6s %8s %9s %10s %10s %10s %9s" % ("phase", "reader", "files", "failed", "seconds",
          "files/s", "reads/file", "KiB read", "KiB wrote", "peak MiB"))
    for r in rows:
        print("%-10s %-9s %6d %6d %8.2f %9.1f %10.2f %10.1f %10.1f %9.1f" % (r["phase"], r["tool"], r["files"],
              r["failed"], r["seconds"], r["files_s"], r["reads"], r["read_kib"], r["written_kib"], r["rss"]))
    print()
    print("ratios, veltrano / other (speed above 1 = veltrano faster; bytes and memory below 1 = veltrano uses less)")
    print("%-10s %-9s %9s %11s %12s %10s" % ("phase", "other", "speed", "bytes read", "bytes wrote", "memory"))
    by = {(r["phase"], r["tool"]): r for r in rows}
    for phase in ("scan", "scan read", "in place", "rewrite"):
        ours_row = by[(phase, "veltrano")]
        for other in ("TagLib", "mutagen", "ends 64K"):
            if (phase, other) not in by:
                continue
            o = by[(phase, other)]
            def ratio(a, b):
                # Nothing to compare where both sides are next to nothing (bytes written by a scan).
                return "%.2f" % (a / b) if b >= 0.1 else "-"
            print("%-10s %-9s %9s %11s %12s %10s" % (phase, other, ratio(ours_row["files_s"], o["files_s"]),
                  ratio(ours_row["read_kib"], o["read_kib"]), ratio(ours_row["written_kib"], o["written_kib"]),
                  ratio(ours_row["rss"], o["rss"])))


if __name__ == "__main__":
    main()
