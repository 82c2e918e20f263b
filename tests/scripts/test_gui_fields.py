#!/usr/bin/python3
"""The All Fields and Pictures windows through the real program, under Xvfb
when it is installed (off screen otherwise).

An MP3 holding an ID3v2 tag (title, artist, a MusicBrainz identifier, a
front and a back cover), an APEv2 tag (a ReplayGain figure, written by
mutagen) and an ID3v1 tag is listed; each window is opened on it, its
picture taken, and closed. Opening and closing the windows writes nothing:
the file keeps its bytes. With VELTRANO_SCREENSHOT_DIR set, the pictures
are kept there as all-fields.png and pictures.png.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

import testlib

BIN = testlib.BIN


def png(width, height, rgb):
    """A plain PNG of one colour, written by hand."""
    raw = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else (0, 0)


def main():
    if testlib.program_missing(BIN):
        return 0
    try:
        import mutagen.apev2
        import mutagen.id3 as id3
    except ImportError:
        print("mutagen missing; 0 passed, 0 failed, 1 skipped")
        return 0
    check = testlib.Checks()
    keep = os.environ.get("VELTRANO_SCREENSHOT_DIR")
    tmp = tempfile.mkdtemp(prefix="veltrano-fields-")
    try:
        music = os.path.join(tmp, "music")
        config = os.path.join(tmp, "config", "Veltrano")
        os.makedirs(music)
        os.makedirs(config)
        song = os.path.join(music, "every-tag.mp3")
        front, back = png(300, 300, (200, 40, 40)), png(120, 90, (40, 40, 200))
        testlib.mp3_by_mutagen(song, [
            id3.TIT2(encoding=3, text="Every Tag"), id3.TPE1(encoding=3, text=["Singer", "Guest"]),
            id3.TALB(encoding=3, text="Kinds"), id3.TRCK(encoding=3, text="3/12"),
            id3.TXXX(encoding=3, desc="MusicBrainz Album Id", text="0d3a2ea5-1b49-4a1e-8bd5-cb1d5d5b5c57"),
            id3.COMM(encoding=3, lang="eng", desc="", text="Three kinds of tag"),
            id3.APIC(encoding=3, mime="image/png", type=3, desc="", data=front),
            id3.APIC(encoding=3, mime="image/png", type=4, desc="Back side", data=back),
        ], version=4, v1=2)
        ape = mutagen.apev2.APEv2()
        ape["REPLAYGAIN_TRACK_GAIN"] = "-6.50 dB"
        ape["Title"] = "Every Tag"
        ape.save(song)
        # mutagen drops the ID3v1 tag when it appends the APEv2 tag: the
        # ID3v1 tag is written again behind it.
        id3.ID3(song).save(song, v1=2)
        before = testlib.read_bytes(song)

        with open(os.path.join(config, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1200\nHeight=800\nFolder=%s\n" % music)
        for hook, name, size in (("fields-screenshot", "all-fields.png", (860, 480)),
                                 ("pictures-screenshot", "pictures.png", (900, 420))):
            shot = os.path.join(tmp, name)
            env = dict(os.environ, XDG_CONFIG_HOME=os.path.dirname(config), VELTRANO_TEST_HOOK=hook + "=" + shot)
            command, env = testlib.on_screen([os.path.join(BIN, "veltrano")], env)
            run = subprocess.run(command, env=env, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            check(run.returncode == 0, "%s: the program ended normally (%d)" % (hook, run.returncode))
            check(os.path.exists(shot), "%s: a picture was taken" % hook)
            if os.path.exists(shot):
                width, height = png_size(shot)
                check(width >= size[0] and height >= size[1], "%s: picture of %dx%d" % (hook, width, height))
                if keep:
                    os.makedirs(keep, exist_ok=True)
                    shutil.copy(shot, os.path.join(keep, name))
        check(testlib.read_bytes(song) == before, "looking at the fields and pictures wrote nothing")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return check.report()


if __name__ == "__main__":
    sys.exit(main())
