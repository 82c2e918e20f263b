#!/usr/bin/python3
"""A save through the real program while another program writes the file.

The program lists a folder holding one MP3; its Title is edited in the
window, then another program (a small mutagen script standing for a player
counting plays or another tagger) sets the artist, the album and a play
count in the file, and Save is pressed. The file then holds both the edit
and the other program's values, as mutagen reads them, and the save's
report says that the file had changed since it was read.
"""
import os
import shutil
import stat
import sys
import tempfile

import testlib

BIN = testlib.BIN

NOTE = "changed on disk since it was read; your edits were applied to its current tags"

WRITER = """#!/usr/bin/python3
import sys
from mutagen.id3 import ID3, TPE1, TALB, TXXX
t = ID3(sys.argv[1])
t.add(TPE1(encoding=3, text=["Their Artist"]))
t.add(TALB(encoding=3, text=["Their Album"]))
t.add(TXXX(encoding=3, desc="PLAYCOUNT", text=["7"]))
t.save()
"""


def main():
    if testlib.program_missing(BIN):
        return 0
    try:
        import mutagen.id3 as id3
    except ImportError:
        print("mutagen missing; 0 passed, 0 failed, 1 skipped")
        return 0
    check = testlib.Checks()
    tmp = tempfile.mkdtemp(prefix="veltrano-second-writer-")
    try:
        music = os.path.join(tmp, "music")
        config = os.path.join(tmp, "config", "Veltrano")
        os.makedirs(music)
        os.makedirs(config)
        song = testlib.mp3_by_mutagen(os.path.join(music, "song.mp3"), [
            id3.TIT2(encoding=3, text="Song"), id3.TPE1(encoding=3, text="Band"),
            id3.TCON(encoding=3, text="Folk"),
            id3.APIC(encoding=3, mime="image/png", type=3, desc="", data=testlib.png_bytes())])
        writer = os.path.join(tmp, "other-program")
        with open(writer, "w", encoding="utf-8") as f:
            f.write(WRITER)
        os.chmod(writer, os.stat(writer).st_mode | stat.S_IXUSR)
        report = os.path.join(tmp, "report.txt")
        with open(os.path.join(config, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1200\nHeight=800\nFolder=%s\n" % music)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.dirname(config), QT_QPA_PLATFORM="offscreen",
                   VELTRANO_TEST_HOOK="second-writer=%s|%s" % (writer, report))
        run = testlib.run_program(BIN, env, check=False)
        check(run.returncode == 0, "the program ended normally (%d)" % run.returncode)

        tags = id3.ID3(song)
        def text(key):
            return str(tags[key].text[0]) if key in tags else None
        check(text("TIT2") == "Edited Here", "the title edited in the window is in the file (%r)" % text("TIT2"))
        check(text("TPE1") == "Their Artist", "the other program's artist stays (%r)" % text("TPE1"))
        check(text("TALB") == "Their Album", "the other program's album stays (%r)" % text("TALB"))
        check(text("TXXX:PLAYCOUNT") == "7", "the other program's play count stays (%r)" % text("TXXX:PLAYCOUNT"))
        check(text("TCON") == "Folk", "a field nobody changed stays (%r)" % text("TCON"))
        check(len(tags.getall("APIC")) == 1, "the cover stays")
        lines = open(report, encoding="utf-8").read().splitlines() if os.path.exists(report) else []
        check(lines == [song + "\t" + NOTE], "the report names the file and says why (%r)" % lines)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return check.report()


if __name__ == "__main__":
    sys.exit(main())
