#!/usr/bin/python3
"""Tags from File Names through the real window (under Xvfb when it is
installed, else off screen).

A folder of MP3 files in an artist/year - album layout is listed; every row is
selected, the dialog opened, a pattern typed, the preview photographed and
Apply pressed. mutagen then reads the values from the files, a file the
pattern does not match is untouched, and the pattern is remembered in the
settings file. Set VELTRANO_SCREENSHOT to keep the picture at that path.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import testlib

BIN = testlib.BIN
PATTERN = "%artist%/%year% - %album%/%track% - %title%"


def main():
    if testlib.program_missing(BIN):
        return 0
    try:
        import mutagen.id3 as id3
    except ImportError:
        print("mutagen missing; 0 passed, 0 failed, 1 skipped")
        return 0
    check = testlib.Checks()
    tmp = tempfile.mkdtemp(prefix="veltrano-names-")
    try:
        music = os.path.join(tmp, "music")
        config = os.path.join(tmp, "config", "Veltrano")
        os.makedirs(config)
        songs = {
            os.path.join(music, "Sigur Rós", "1999 - Ágætis byrjun", "01 - Intro.mp3"): ("Sigur Rós", "Ágætis byrjun", "1999", "01", "Intro"),
            os.path.join(music, "Sigur Rós", "1999 - Ágætis byrjun", "02 - Svefn-g-englar.mp3"): ("Sigur Rós", "Ágætis byrjun", "1999", "02", "Svefn-g-englar"),
            os.path.join(music, "The Band", "1969 - The Band", "3 - Up on Cripple Creek.mp3"): ("The Band", "The Band", "1969", "3", "Up on Cripple Creek"),
        }
        stray = os.path.join(music, "The Band", "1969 - The Band", "liner notes.mp3")
        for path in list(songs) + [stray]:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            testlib.mp3_by_mutagen(path, [id3.TIT2(encoding=3, text="untitled"), id3.TCON(encoding=3, text="Rock")])
        stray_bytes = testlib.read_bytes(stray)
        with open(os.path.join(config, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1200\nHeight=760\nFolder=%s\n" % music)
        shot = os.environ.get("VELTRANO_SCREENSHOT") or os.path.join(tmp, "names.png")
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.dirname(config), VELTRANO_UPDATE_URL="https://127.0.0.1:9",
                   VELTRANO_TEST_HOOK="namesguess=%s|%s" % (shot, PATTERN))
        program, env = testlib.on_screen([os.path.join(BIN, "veltrano")], env)
        run = subprocess.run(program, env=env, timeout=120, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        check(run.returncode == 0, "the program ended normally (%d): %s" % (run.returncode, run.stderr[-2000:]))

        check(os.path.isfile(shot) and testlib.read_bytes(shot)[:8] == b"\x89PNG\r\n\x1a\n", "a picture of the preview")
        for path, (artist, album, year, track, title) in songs.items():
            t = id3.ID3(path)
            got = tuple(str(t[k]) if k in t else None for k in ("TPE1", "TALB", "TDRC", "TRCK", "TIT2", "TCON"))
            check(got == (artist, album, year, track, title, "Rock"), "%s: %r" % (os.path.basename(path), got))
        check(testlib.read_bytes(stray) == stray_bytes, "the file the pattern does not match is untouched")
        with open(os.path.join(config, "set.ini"), encoding="utf-8") as f:
            settings = f.read()
        check("NamePatterns" in settings and "%track% - %title%" in settings, "the pattern is remembered: %r" % settings)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return check.report()


if __name__ == "__main__":
    sys.exit(main())
