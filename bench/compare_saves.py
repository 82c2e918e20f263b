#!/usr/bin/python3
"""Saves per format: our library next to TagLib and mutagen, one title edit a save.

Called by compare.sh with the drivers built:
  compare_saves.py WORK OURS TAGLIB [--formats mp3,flac,...]
For every format an encoder makes here, files made by ffmpeg (wavpack and
mpcenc for WavPack and Musepack), one of about BENCH_SAVE_MB megabytes
(default 5) and one of about BENCH_BATCH_KB kilobytes (default 100):
  bytes      the bytes the whole process writes (wchar of /proc/PID/io, less
             the driver's own on an empty list) for the first title edit of
             the encoder's file, then for a later one (a title of another
             length that the tag has room for), and whether the file kept its
             inode (edited in place);
  in place   saves per second of one file saved BENCH_EDITS times (default
             200) in one process, with titles of one length that alternate;
  growing    saves per second over BENCH_GROW_FILES copies (default 20) of
             the large file, each given a 20 KB title that outgrows any room;
  batch      files per second of BENCH_BATCH_FILES copies (default 1,000) of
             the small file saved in one process: ours with a pool of
             BENCH_SAVE_THREADS workers (default: as many as the window's
             save pool takes here); TagLib and mutagen one file after
             another, neither flushing.
Ours runs every save mode (in place, growing, batch) in one save batch, as
the window's save pool does: no save flushes on its own, the batch flushes
the file system once when the run ends (a syncfs, inside the timed span),
so every file is on disk when the time is taken; a kill before that leaves
each file whole, old or new. It is not one flush per save: a single save
outside a batch (one file written by the window's editor) flushes its file
once and is slower than these figures. "batch 1st" is the first save of each copy, "batch" a
             later one-field edit; "@W 1st" and "@W" the same for ours with
             BENCH_SAVE_THREADS_WIDE workers (default 8, the pool's most).
Every timed run starts after os.sync(), so no run pays for the copies made
before it; the rate is taken over the seconds each driver reports for its
work (start-up left out). The machine's load average is printed before and
after: on a shared machine the figures are rough.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import measure  # noqa: E402

FORMATS = ["mp3", "flac", "ogg", "opus", "m4a", "wma", "wav", "aiff", "wv", "mpc"]


def ffmpeg(out, seconds, *codec):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"anoisesrc=duration={seconds}:sample_rate=44100:seed=7", "-ac", "2", *codec, out], check=True)


def make(work, ext, kb, name):
    """An encoder's file of about kb kilobytes, with the tags the encoder writes."""
    out = os.path.join(work, f"{name}.{ext}")
    rate = {"mp3": 40, "ogg": 40, "opus": 16, "m4a": 16, "wma": 16, "flac": 150, "wv": 150,
            "mpc": 30, "wav": 176.4, "aiff": 176.4}[ext]
    seconds = max(1, round(kb / rate))
    if ext in ("wv", "mpc"):
        wav = os.path.join(work, "noise.wav")
        ffmpeg(wav, seconds)
        if ext == "wv":
            subprocess.run(["wavpack", "-q", "-y", wav, "-o", out], check=True)
        else:
            subprocess.run(["mpcenc", "--silent", "--overwrite", wav, out], check=True,
                           stderr=subprocess.DEVNULL)
        os.remove(wav)
    else:
        codec = {"mp3": ["-c:a", "libmp3lame", "-b:a", "320k"], "ogg": ["-c:a", "libvorbis", "-q:a", "8"],
                 "opus": ["-c:a", "libopus", "-b:a", "128k"], "m4a": ["-c:a", "aac", "-b:a", "128k"],
                 "wma": ["-c:a", "wmav2", "-b:a", "128k"], "flac": ["-c:a", "flac"], "wav": [],
                 "aiff": []}[ext]
        ffmpeg(out, seconds, *codec)
    return out


def write_list(path, entries):
    """A driver's list: a path a line, or "path<TAB>title" for a title of its own."""
    with open(path, "w", encoding="utf-8") as fh:
        fh.write("".join(e + "\n" for e in entries))
    return path


def main():
    p = argparse.ArgumentParser()
    p.add_argument("work")
    p.add_argument("ours")
    p.add_argument("taglib")
    p.add_argument("--formats", default=os.environ.get("BENCH_SAVE_FORMATS", ",".join(FORMATS)))
    a = p.parse_args()
    mb = float(os.environ.get("BENCH_SAVE_MB", "5"))
    batch_kb = float(os.environ.get("BENCH_BATCH_KB", "100"))
    edits = int(os.environ.get("BENCH_EDITS", "200"))
    grow_files = int(os.environ.get("BENCH_GROW_FILES", "20"))
    batch_files = int(os.environ.get("BENCH_BATCH_FILES", "1000"))
    # The window's save pool: as many workers as cores, at least 2, at most 8.
    threads = int(os.environ.get("BENCH_SAVE_THREADS", str(min(max(os.cpu_count() or 2, 2), 8))))
    wide = int(os.environ.get("BENCH_SAVE_THREADS_WIDE", "8"))
    mutagen = ["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)), "compare_mutagen.py")]
    tools = {"veltrano": [a.ours], "TagLib": [a.taglib], "mutagen": mutagen}
    work = os.path.join(a.work, "saves")
    os.makedirs(work, exist_ok=True)
    load_before = os.getloadavg()

    empty = write_list(os.path.join(work, "empty.txt"), [])
    base = {t: measure(c + ["save", empty]) for t, c in tools.items()}

    def rate(tool, cmd, count):
        os.sync()
        r = measure(cmd)
        return count / max(r["seconds"], 1e-6), r["failed"], r["wall"]

    def fresh(src, folder, count):
        """count copies of src in folder (emptied first)."""
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        paths = []
        for i in range(count):
            dst = os.path.join(folder, "%05d%s" % (i, os.path.splitext(src)[1]))
            shutil.copyfile(src, dst)
            paths.append(dst)
        return paths

    rows = []
    for ext in a.formats.split(","):
        big = make(work, ext, mb * 1000, "big")
        small = make(work, ext, batch_kb, "small")
        for tool, cmd in tools.items():
            row = {"format": ext, "tool": tool, "mb": os.path.getsize(big) / 1e6, "failed": 0}
            # Bytes of a first and a later one-field edit.
            path = fresh(big, os.path.join(work, "one"), 1)[0]
            lst = os.path.join(work, "one.txt")
            for key, title in (("first", "First title"), ("later", "A later title, longer")):
                ino = os.stat(path).st_ino
                r = measure(cmd + ["save", write_list(lst, [path + "\t" + title])])
                row[key] = max(0, r["wchar"] - base[tool]["wchar"])
                row[key + "_moved"] = os.stat(path).st_ino != ino
                row["failed"] += r["failed"]
            # In place: titles of one length, alternating, so every save changes the file.
            titles = [path + "\tIn place title %s" % "AB"[i % 2] for i in range(edits)]
            row["in_place"], failed, _ = rate(tool, cmd + ["save", write_list(lst, titles)], edits)
            row["failed"] += failed
            # Growing: each copy's tag outgrows its room.
            paths = fresh(big, os.path.join(work, "grow"), grow_files)
            grow = write_list(os.path.join(work, "grow.txt"), [x + "\t" + ("Growing %d " % i) * 2000
                                                              for i, x in enumerate(paths)])
            row["growing"], failed, _ = rate(tool, cmd + ["save", grow], grow_files)
            row["failed"] += failed
            shutil.rmtree(os.path.join(work, "grow"))
            # A batch: the first save of every copy, then a later one-field edit.
            paths = fresh(small, os.path.join(work, "batch"), batch_files)
            extra = [str(threads)] if tool == "veltrano" else []
            lst = write_list(os.path.join(work, "batch.txt"), paths)
            for key, title in (("batch_first", "Batch title A"), ("batch", "Batch title B")):
                row[key], failed, _ = rate(tool, cmd + ["batch", lst, title] + extra, batch_files)
                row["failed"] += failed
            if tool == "veltrano":
                # The same with the pool's most workers: saves wait on the disk
                # more than on the processor, and the file system commits the
                # flushes of saves running at once together.
                paths = fresh(small, os.path.join(work, "batch"), batch_files)
                for key, title in (("wide_first", "Batch title A"), ("wide", "Batch title B")):
                    row[key], failed, _ = rate(tool, cmd + ["batch", lst, title, str(wide)], batch_files)
                    row["failed"] += failed
            shutil.rmtree(os.path.join(work, "batch"))
            rows.append(row)
            print("  %s %s done" % (ext, tool), file=sys.stderr, flush=True)

    load_after = os.getloadavg()
    print("saves per format: one title edit a save; load average %.2f before, %.2f after (2 cores, shared)"
          % (load_before[0], load_after[0]))
    print("bytes: KiB the process wrote for the encoder's file's first title edit and a later one "
          "('moved': new inode);")
    print("saves/s: in place (one file, %d saves), growing (%d copies of the %.1f MB file, a 20 KB title each),"
          % (edits, grow_files, mb))
    print("batch (%d copies of a %.0f KB file: ours with %d workers in one save batch, flushed once at the end;"
          % (batch_files, batch_kb, threads))
    print("TagLib and mutagen one after another and never flushed; @%d: ours with %d workers)" % (wide, wide))
    print("%-5s %-9s %6s %11s %11s %9s %9s %9s %9s %9s %9s %6s" % (
        "fmt", "writer", "MB", "1st KiB", "later KiB", "in place", "growing", "batch 1st", "batch",
        "@%d 1st" % wide, "@%d" % wide, "failed"))

    def kib(row, key):
        return "%.1f%s" % (row[key] / 1024, " moved" if row[key + "_moved"] else "")

    for r in rows:
        wide_rates = ["%.0f" % r[k] if k in r else "-" for k in ("wide_first", "wide")]
        print("%-5s %-9s %6.1f %11s %11s %9.0f %9.1f %9.0f %9.0f %9s %9s %6d" % (
            r["format"], r["tool"], r["mb"], kib(r, "first"), kib(r, "later"), r["in_place"], r["growing"],
            r["batch_first"], r["batch"], *wide_rates, r["failed"]))
    print()
    print("speed ratios, veltrano / other (targets: batch >= 1.00 x TagLib, in place >= 0.80 x TagLib)")
    print("%-5s %-9s %9s %9s %9s %9s %9s %9s" % ("fmt", "other", "in place", "growing", "batch 1st", "batch",
                                               "@%d 1st" % wide, "@%d" % wide))
    by = {(r["format"], r["tool"]): r for r in rows}
    for ext in a.formats.split(","):
        ours = by[(ext, "veltrano")]
        for other in ("TagLib", "mutagen"):
            o = by[(ext, other)]
            print("%-5s %-9s %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f" % (ext, other, *(
                ours[k] / o[b] if o[b] else 0.0 for k, b in (("in_place", "in_place"), ("growing", "growing"),
                ("batch_first", "batch_first"), ("batch", "batch"), ("wide_first", "batch_first"),
                ("wide", "batch")))))


if __name__ == "__main__":
    main()
