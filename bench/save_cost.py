#!/usr/bin/python3
"""What a save writes, per format: the bytes a one-field edit writes (wchar
of /proc/<pid>/io of the whole process) and whether the file keeps its inode
(edited in place), for a first save and then a run of title edits that grow
and shrink by up to 2 KB, through `veltrano-tags write` and through the
record (`veltrano-tags record --set`, the window's path).

usage: save_cost.py BIN_DIR WORK_DIR [--mb N] [--wav-mb N] [--only EXT,...]
"""
import argparse
import os
import shutil
import subprocess
import sys

p = argparse.ArgumentParser()
p.add_argument("bin")
p.add_argument("work")
p.add_argument("--mb", type=float, default=5.0, help="size of each file in MB (about)")
p.add_argument("--wav-mb", type=float, default=98.8, help="size of the large WAV file in MB (0: none)")
p.add_argument("--only", default="")
a = p.parse_args()
tool = os.path.join(a.bin, "veltrano-tags")
os.makedirs(a.work, exist_ok=True)


def run(cmd):
    """Runs cmd; returns the bytes the whole process wrote."""
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    with open(f"/proc/{child.pid}/io") as io:
        wchar = next(int(l.split()[1]) for l in io if l.startswith("wchar:"))
    _, err = child.communicate()
    if child.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{err.decode(errors='replace')}")
    return wchar


def ffmpeg(out, seconds, *codec):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"anoisesrc=duration={seconds}:sample_rate=44100:seed=7", "-ac", "2", *codec, out], check=True)


def make(ext, mb):
    out = os.path.join(a.work, "src." + ext)
    if os.path.exists(out):
        return out
    wav = os.path.join(a.work, "noise.wav")
    # Seconds that give about mb megabytes for each codec's rate.
    rate = {"mp3": 40e3, "ogg": 40e3, "opus": 16e3, "m4a": 16e3, "wma": 16e3, "flac": 150e3, "wv": 150e3,
            "mpc": 30e3, "wav": 176.4e3, "aiff": 176.4e3}[ext]
    seconds = max(1, int(mb * 1e6 / rate))
    if ext in ("wv", "mpc"):
        ffmpeg(wav, seconds)
        if ext == "wv":
            subprocess.run(["wavpack", "-q", "-y", wav, "-o", out], check=True)
        else:
            subprocess.run(["mpcenc", "--silent", "--overwrite", wav, out], check=True)
        os.remove(wav)
    else:
        codec = {"mp3": ["-c:a", "libmp3lame", "-b:a", "320k"], "ogg": ["-c:a", "libvorbis", "-q:a", "8"],
                 "opus": ["-c:a", "libopus", "-b:a", "128k"], "m4a": ["-c:a", "aac", "-b:a", "128k"],
                 "wma": ["-c:a", "wmav2", "-b:a", "128k"], "flac": ["-c:a", "flac"], "wav": [],
                 "aiff": []}[ext]
        ffmpeg(out, seconds, *codec)
    return out


def edits(path, how):
    """A first save, then titles that grow and shrink; (bytes, same inode) each."""
    rows = []
    for n in (12, 2000, 1, 1500, 10, 2000, 5):
        title = ("Title " * 400)[:n]
        ino = os.stat(path).st_ino
        if how == "write":
            wchar = run([tool, "write", path, "--set", "TITLE=" + title])
        else:
            wchar = run([tool, "record", path, "--set", "Title=" + title])
        rows.append((n, wchar, os.stat(path).st_ino == ino))
    return rows


formats = ["mp3", "flac", "ogg", "opus", "m4a", "wma", "wav", "aiff", "wv", "mpc"]
if a.only:
    formats = [f for f in formats if f in a.only.split(",")]
print(f"{'format':8} {'path':6} {'size MB':>8} {'first save':>14}  later saves (title length: bytes written, in place?)")
for ext in formats:
    src = make(ext, a.mb)
    for how in ("write", "record"):
        path = os.path.join(a.work, f"edit-{how}.{ext}")
        shutil.copyfile(src, path)
        rows = edits(path, how)
        first = rows[0]
        later = "  ".join(f"{n}:{w}{'' if same else ' MOVED'}" for n, w, same in rows[1:])
        print(f"{ext:8} {how:6} {os.path.getsize(path) / 1e6:8.1f} {first[1]:>10}{'' if first[2] else ' MOVED':>4}  {later}")
        os.remove(path)

if a.wav_mb > 0:
    big = os.path.join(a.work, "big.wav")
    if not os.path.exists(big):
        ffmpeg(big, max(1, int(a.wav_mb * 1e6 / 176.4e3)))
    for how in ("write", "record"):
        path = os.path.join(a.work, f"big-{how}.wav")
        shutil.copyfile(big, path)
        rows = edits(path, how)
        print(f"{os.path.getsize(path) / 1e6:.1f} MB WAV through {how}: " +
              "  ".join(f"{n}:{w}{'' if same else ' MOVED'}" for n, w, same in rows))
        os.remove(path)
