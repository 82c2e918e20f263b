"""veltrano-tags record and scan: the tag service's records and the folder scanner, seen from outside."""
import json
import os
import shutil
import sys
import tempfile
import unittest

import testlib
from testlib import TOOL, mpeg_frames, read_bytes, write_bytes

try:
    sys.path.append("/usr/lib/python3/dist-packages")
    import mutagen.id3 as id3
except ImportError:  # pragma: no cover
    id3 = None

PNG = b"\x89PNG\r\n\x1a\n" + bytes(24)


def run(*args, prefix=()):
    return testlib.run(*prefix, TOOL, *args, check=False, text=True)


def lines(r):
    return [json.loads(line) for line in r.stdout.splitlines()]


class Record(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.song = write_bytes(os.path.join(self.tmp.name, "song.mp3"), mpeg_frames(40))

    def tearDown(self):
        self.tmp.cleanup()

    def test_set_writes_fields_and_cover_an_independent_reader_sees(self):
        r = run("record", self.song, "--set", "Title=Night é", "year=2020", "Track=4", "Lyrics=a\nb",
                "--cover", write_bytes(os.path.join(self.tmp.name, "c.png"), PNG))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([n for n in os.listdir(os.path.dirname(self.song)) if n.startswith(".")], [])
        rec = lines(run("record", self.song))[0]
        self.assertEqual((rec["Title"], rec["Year"], rec["Track"], rec["Lyrics"]), ("Night é", "2020", "4", "a\nb"))
        self.assertEqual((rec["CoverMime"], rec["CoverSize"], rec["FileType"]), ("image/png", len(PNG), "MP3"))
        self.assertEqual(rec["DurationSec"], 1)
        self.assertEqual(set(rec) - {"file"}, {
            "Title", "Artist", "Album", "Year", "Track", "Genre", "Comment", "Disc", "BPM", "AlbumArtist",
            "Composer", "OrigArtist", "Copyright", "URL", "EncodedBy", "Lyrics", "DurationSec", "CoverMime",
            "CoverSize", "FileType"})
        if id3:
            t = id3.ID3(self.song)
            self.assertEqual(str(t["TIT2"]), "Night é")
            self.assertEqual(t.getall("APIC")[0].data, PNG)

        self.assertEqual(run("record", self.song, "--no-cover").returncode, 0)
        self.assertEqual(lines(run("record", self.song))[0]["CoverSize"], 0)
        # Clearing the last field removes every tag: only the audio is left.
        r = run("record", self.song, "--set", "Title=", "Year=", "Track=", "Lyrics=")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(read_bytes(self.song), mpeg_frames(40))

    def test_failures_and_bad_arguments(self):
        missing = os.path.join(self.tmp.name, "missing.mp3")
        r = run("record", missing, self.song)
        self.assertEqual(r.returncode, 1)
        out = lines(r)
        self.assertEqual(out[0], {"file": missing, "error": "File not found."})
        self.assertEqual(out[1]["file"], self.song)

        r = run("record", missing, "--set", "Title=x")
        self.assertEqual(r.returncode, 1)
        self.assertIn("File not found.", r.stderr)
        self.assertFalse(os.path.exists(missing))

        for args in (["record"], ["record", self.song, "--set"], ["record", self.song, "--set", "Nope=1"],
                     ["record", self.song, "--cover"], ["record", self.song, "--cover", missing],
                     ["record", self.song, "--no-cover", "--cover", self.song], ["record", self.song, "--bogus"],
                     ["scan"], ["scan", missing], ["scan", self.song], ["scan", self.tmp.name, self.tmp.name]):
            r = run(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(len(r.stderr.strip().splitlines()), 1, (args, r.stderr))
            self.assertEqual(r.stdout, "", args)
        self.assertEqual(read_bytes(self.song), mpeg_frames(40))

    def test_read_only_file_is_not_changed(self):
        self.assertEqual(run("record", self.song, "--set", "Title=one").returncode, 0)
        before = read_bytes(self.song)
        os.chmod(self.song, 0o444)
        r = run("record", self.song, "--set", "Title=two")
        self.assertEqual(r.returncode, 1)
        self.assertTrue(r.stderr.strip())
        self.assertEqual(read_bytes(self.song), before)


class Scan(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        os.chmod(self.root, 0o755)

    def tearDown(self):
        for dirpath, dirnames, _ in os.walk(self.root):
            for d in dirnames:
                os.chmod(os.path.join(dirpath, d), 0o755)
        self.tmp.cleanup()

    def make(self, name, data=b"x"):
        return write_bytes(os.path.join(self.root, name), data)

    def test_scan_lists_audio_files_with_records_and_a_summary(self):
        self.make("a.MP3", mpeg_frames(40))
        self.make("b.flac")
        self.make("c.txt")
        self.make("sub/d.wav")
        self.make("song.mp4")
        self.make("song.oga")
        self.make("sub/deeper/e.Ogg")
        r = run("scan", self.root)
        self.assertEqual(r.returncode, 0, r.stderr)
        out = lines(r)
        summary = out.pop()
        names = [os.path.relpath(d["file"], self.root) for d in out]
        self.assertEqual(names, ["a.MP3", "b.flac", "song.oga", "sub/d.wav", "sub/deeper/e.Ogg"], "name order")
        self.assertEqual((summary["files"], summary["failed"]), (5, 0))
        self.assertGreaterEqual(summary["seconds"], 0)
        rec = next(d for d in out if d["file"].endswith("a.MP3"))
        self.assertEqual((rec["FileType"], rec["DurationSec"]), ("MP3", 1))
        sub = [i for i, d in enumerate(out) if "/sub/" in d["file"]]
        self.assertEqual(sub, list(range(sub[0], sub[0] + len(sub))), "a subfolder's files arrive together")

    def test_empty_folder(self):
        out = lines(run("scan", self.root))
        self.assertEqual(out[-1]["files"], 0)
        self.assertEqual(len(out), 1)

    @unittest.skipUnless(shutil.which("setpriv") and os.geteuid() == 0, "needs root to drop to another user")
    def test_unreadable_subfolder_is_skipped(self):
        # Root reads every folder, so the scan runs as an unprivileged user.
        self.make("a.mp3", mpeg_frames(4))
        self.make("locked/b.mp3", mpeg_frames(4))
        self.make("open/c.mp3", mpeg_frames(4))
        self.make("z.wav")
        secret = self.make("open/secret.flac")
        os.chmod(os.path.join(self.root, "locked"), 0o000)
        os.chmod(secret, 0o000)
        r = run("scan", self.root, prefix=("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"))
        self.assertEqual(r.returncode, 0, r.stderr)
        out = lines(r)
        names = sorted(os.path.relpath(d["file"], self.root) for d in out[:-1])
        self.assertEqual(names, ["a.mp3", "open/c.mp3", "open/secret.flac", "z.wav"])
        self.assertEqual((out[-1]["files"], out[-1]["failed"]), (4, 1))
        # A file that cannot be read is an error, not a file without tags.
        err = next(d for d in out if d["file"] == secret)
        self.assertTrue(err["error"].startswith("Cannot open file: "), err)


if __name__ == "__main__":
    unittest.main()
