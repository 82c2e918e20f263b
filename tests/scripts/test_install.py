#!/usr/bin/python3
"""cmake --install into a temporary prefix, then the installed program once.

Checks that the program, the command-line tool, the translation table, the
desktop entry, the icons, the software centre's metainfo, the compressed
manual pages and the bash completion land in their freedesktop places, and
starts the installed window under Xvfb with German chosen: its captions come
out in German only if it found the table in ../share/veltrano/, as nothing
sits beside the installed executable. The window's icon holds the installed
48 and 128 pixel pictures.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import testlib

BIN = testlib.BIN
BUILD = os.path.dirname(os.path.abspath(BIN))
APP_ID = "example.veltrano.Veltrano"


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def main():
    if testlib.program_missing(BIN):
        return 0
    check = testlib.Checks()

    tmp = tempfile.mkdtemp(prefix="veltrano-install-")
    try:
        prefix = os.path.join(tmp, "prefix")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        share = os.path.join(prefix, "share")
        for rel in ("bin/veltrano", "bin/veltrano-tags"):
            check(os.access(os.path.join(prefix, rel), os.X_OK), "installed and executable: " + rel)
        check(os.path.isfile(os.path.join(share, "veltrano", "transl.dt")), "table in share/veltrano")
        check(not os.path.exists(os.path.join(prefix, "bin", "transl.dt")), "no table beside the program")
        desktop = os.path.join(share, "applications", APP_ID + ".desktop")
        check(os.path.isfile(desktop), "desktop entry installed")
        if os.path.isfile(desktop):
            with open(desktop, encoding="utf-8") as f:
                entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
            check(entry.get("Exec", "").split()[0] == "veltrano", "entry starts veltrano: %r" % entry.get("Exec"))
            check(entry.get("Icon") == "veltrano", "entry names the icon: %r" % entry.get("Icon"))
            if shutil.which("desktop-file-validate"):
                r = subprocess.run(["desktop-file-validate", desktop], capture_output=True, text=True)
                check(r.returncode == 0 and not r.stdout.strip(), "desktop entry valid: " + r.stdout)
        icons = os.path.join(share, "icons", "hicolor")
        for size in (48, 128):
            png = os.path.join(icons, "%dx%d" % (size, size), "apps", "veltrano.png")
            check(os.path.isfile(png) and png_size(png) == (size, size), "%d px icon: %s" % (size, png))
        svg = os.path.join(icons, "scalable", "apps", "veltrano.svg")
        check(os.path.isfile(svg) and open(svg, encoding="utf-8").read().find("<svg") >= 0, "scalable icon")
        check(os.path.isfile(os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")), "metainfo installed")
        for page in ("veltrano", "veltrano-tags"):
            path = os.path.join(share, "man", "man1", page + ".1.gz")
            check(os.path.isfile(path) and testlib.read_bytes(path)[:2] == b"\x1f\x8b", "compressed manual page: " + path)
        check(os.path.isfile(os.path.join(share, "bash-completion", "completions", "veltrano-tags")), "completion")

        # The installed program, once, under a virtual display, with German
        # stored as the user's language and a small music folder.
        if shutil.which("xvfb-run"):
            home = os.path.join(tmp, "home")
            music = os.path.join(home, "Music")
            config = os.path.join(tmp, "config")
            os.makedirs(music)
            os.makedirs(os.path.join(config, "Veltrano"))
            with open(os.path.join(config, "Veltrano", "Veltrano.conf"), "w") as f:
                f.write("[General]\nCurrentLanguage=de\n")
            with open(os.path.join(music, "a.mp3"), "wb") as f:
                f.write(b"not really audio")
            out = os.path.join(tmp, "captions.json")
            env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, VELTRANO_TEST_HOOK="captions=" + out)
            # In a sanitizer build, the X keyboard library's own string copies
            # trip the strict string checks; our code is checked offscreen.
            if "ASAN_OPTIONS" in env:
                env["ASAN_OPTIONS"] += ":strict_string_checks=0"
            for key in ("QT_QPA_PLATFORM", "XDG_MUSIC_DIR", "DISPLAY"):
                env.pop(key, None)
            subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", os.path.join(prefix, "bin", "veltrano")],
                           env=env, timeout=120, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(out, encoding="utf-8") as f:
                captions = json.load(f)
            start = captions["start"]
            check(start["language"] == "de", "installed program found its table: %r" % start["language"])
            check(captions.get("de", {}).get("column:2") == "Titel", "German captions: %r" % captions.get("de", {}).get("column:2"))
            check(48 in start["iconSizes"] and 128 in start["iconSizes"], "window icon: %r" % start["iconSizes"])
            check(start["desktopFileName"] == APP_ID, "desktop file name: %r" % start["desktopFileName"])
            check(start["rows"] == 1, "installed program lists the music folder: %r" % start["rows"])
        else:
            print("xvfb-run missing: the installed program was not started")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    return check.report()


if __name__ == "__main__":
    sys.exit(main())
