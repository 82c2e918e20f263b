#!/usr/bin/python3
"""veltrano-tags guess and export from outside: the values a table of paths and
patterns gives, --apply seen by mutagen, the CSV read back with Python's csv
module against what `veltrano-tags record` says, and every playlist path on disk."""
import csv
import json
import os
import subprocess
import unittest

import testlib
from testlib import mpeg_frames, write_bytes

PATTERN = "%artist%/%year% - %album%/%track% - %title%"


def lines(r):
    return [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]


def make(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return write_bytes(path, data)


def record(*paths):
    r = testlib.tool("record", *paths)
    assert r.returncode == 0, r.stderr
    return [json.loads(line) for line in r.stdout.splitlines()]


def duration_text(seconds):
    return "" if seconds <= 0 else "%d:%02d" % (seconds // 60, seconds % 60)


class Guess(testlib.ToolCase, unittest.TestCase):
    prefix = "veltrano_guess_"

    def test_a_table_of_paths_and_patterns(self):
        testlib.require_tool()
        # (path below the temporary folder, pattern, the fields it gives; None: no match)
        table = [
            ("Band/2001 - First/03 - Song.mp3", PATTERN,
             {"Artist": "Band", "Year": "2001", "Album": "First", "Track": "03", "Title": "Song"}),
            ("x/Sigur Ro\u0301s - Ágætis byrjun/1 - Intro.flac", "%artist% - %album%/%track% - %title%",
             {"Artist": "Sigur Rós", "Album": "Ágætis byrjun", "Track": "1", "Title": "Intro"}),
            ("VA/CD2/07. 坂本龍一 - 戦場のメリークリスマス.ogg", "%albumartist%/cd%disc%/%track%. %artist% - %title%",
             {"AlbumArtist": "VA", "Disc": "2", "Track": "07", "Artist": "坂本龍一", "Title": "戦場のメリークリスマス"}),
            ("Jazz/A - B - C [320].mp3", "%genre%/%artist% - %title% [%dummy%]",
             {"Genre": "Jazz", "Artist": "A", "Title": "B - C"}),
            ("loose/Song.mp3", PATTERN, None),                     # fewer parts than the pattern
            ("Band/2001 - First/Song.mp3", PATTERN, None),         # no track before the title
            ("Band/01 - First/03 - Song.mp3", PATTERN, None),      # a year has four digits
        ]
        for rel, pattern, want in table:
            path = make(os.path.join(self.dir, rel), mpeg_frames(3))
            r = self.tool("guess", pattern, path)
            out = lines(r)
            self.assertEqual(len(out), 1, r)
            self.assertEqual(out[0]["file"], path)
            if want is None:
                self.assertEqual(r.returncode, 1, rel)
                self.assertIn("does not match", out[0]["error"])
                self.assertIn(path.encode("utf-8"), r.stderr)
            else:
                self.assertEqual(r.returncode, 0, (rel, r.stderr))
                self.assertEqual({k: v for k, v in out[0].items() if k != "file"}, want, rel)
        # Several files at once: one line each, in order; relative paths read
        # with their folders.
        r = subprocess.run([os.path.abspath(testlib.TOOL), "guess", "%artist%/%dummy%/%track% - %title%",
                            "Band/2001 - First/03 - Song.mp3", "loose/Song.mp3"],
                           cwd=self.dir, capture_output=True)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(lines(r)[0], {"file": "Band/2001 - First/03 - Song.mp3", "Artist": "Band", "Track": "03",
                                       "Title": "Song"})
        self.assertEqual(lines(r)[1]["file"], "loose/Song.mp3")
        self.assertIn("error", lines(r)[1])

    def test_bad_patterns_and_arguments_exit_2(self):
        testlib.require_tool()
        f = make(os.path.join(self.dir, "a", "b.mp3"), mpeg_frames(3))
        for args in (["guess"], ["guess", PATTERN], ["guess", "%artist%/%nope%", f], ["guess", "", f],
                     ["guess", "a//%title%", f], ["guess", PATTERN, f, "--force"]):
            r = self.tool(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(len(r.stderr.strip().splitlines()), 1, (args, r.stderr))
            self.assertEqual(r.stdout, b"", args)
        self.assertEqual(testlib.read_bytes(f), mpeg_frames(3))

    def test_apply_writes_what_mutagen_reads(self):
        testlib.require_tool("ffmpeg")
        import mutagen
        import mutagen.id3 as id3
        mp3 = testlib.mp3_by_mutagen(make(os.path.join(self.dir, "Band", "2001 - First", "03 - Song é.mp3"), b""),
                                     [id3.TRCK(encoding=3, text="5/12"), id3.TCON(encoding=3, text="Rock"),
                                      id3.TIT2(encoding=3, text="old")])
        flac = os.path.join(self.dir, "Other", "1999 - Second", "7 - Tune.flac")
        os.makedirs(os.path.dirname(flac))
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "anullsrc=r=44100:cl=mono", "-t", "0.5",
                        "-metadata", "genre=Folk", flac], check=True)
        stray = make(os.path.join(self.dir, "Band", "2001 - First", "notes.mp3"), mpeg_frames(5))
        audio_before = testlib.audio_hash(mp3), testlib.decoded_md5(flac)

        r = self.tool("guess", PATTERN, "--apply", mp3, stray, flac)
        self.assertEqual(r.returncode, 1, r.stderr)          # the stray file does not match
        self.assertEqual([sorted(o) for o in lines(r)][1], ["error", "file"])
        self.assertEqual(testlib.read_bytes(stray), mpeg_frames(5))

        t = id3.ID3(mp3)
        self.assertEqual(str(t["TPE1"]), "Band")
        self.assertEqual(str(t["TALB"]), "First")
        self.assertEqual(str(t["TIT2"]), "Song é")
        self.assertEqual(str(t["TDRC"]), "2001")
        self.assertEqual(str(t["TRCK"]), "03/12")           # the total stays
        self.assertEqual(str(t["TCON"]), "Rock")            # not in the pattern: kept
        f = mutagen.File(flac)
        self.assertEqual((f["artist"], f["album"], f["title"], f["date"]), (["Other"], ["Second"], ["Tune"], ["1999"]))
        self.assertEqual(f["tracknumber"], ["7"])
        self.assertEqual(f["genre"], ["Folk"])
        self.assertEqual((testlib.audio_hash(mp3), testlib.decoded_md5(flac)), audio_before)
        self.assertEqual(record(mp3)[0]["Track"], "03")     # the record shows the number, the file keeps the total

    def test_apply_reports_a_file_it_cannot_read(self):
        testlib.require_tool()
        folder = os.path.join(self.dir, "Band", "2001 - First", "03 - Song.mp3")
        os.makedirs(folder)   # a folder where a file should be
        r = self.tool("guess", PATTERN, "--apply", folder)
        self.assertEqual(r.returncode, 1)
        self.assertIn("error", lines(r)[0])
        self.assertTrue(r.stderr.strip())


class Export(testlib.ToolCase, unittest.TestCase):
    prefix = "veltrano_export_"

    def setUp(self):
        super().setUp()
        testlib.require_tool()
        self.music = os.path.join(self.dir, "music")
        # Natural order: "2" before "10"; values that need quoting; a file with no tags.
        self.files = [
            make(os.path.join(self.music, "A", "2 two.mp3"), mpeg_frames(2500)),
            make(os.path.join(self.music, "A", "10 ten.mp3"), mpeg_frames(40)),
            make(os.path.join(self.music, "B", "#hash, \"q\".mp3"), mpeg_frames(100)),
            make(os.path.join(self.music, "B", "bare.mp3"), mpeg_frames(40)),
        ]
        testlib.record(self.files[0], "--set", "Title=Two, \"quoted\"", "Artist=One\nTwo", "Album=Ålbum",
                       "AlbumArtist=VA", "Year=2001", "Track=2/12")
        testlib.record(self.files[1], "--set", "Title=Ten", "Artist=Band")
        testlib.record(self.files[2], "--set", "Title=Hash", "Artist=Ünïcode")

    def test_csv_reads_back_as_the_records(self):
        out = os.path.join(self.dir, "list.csv")
        r = self.tool("export", "--csv", out, self.music)
        self.assertEqual(r.returncode, 0, r.stderr)
        raw = testlib.read_bytes(out)
        self.assertTrue(raw.startswith(b"\xef\xbb\xbfFile,Directory,Title,"))
        self.assertTrue(raw.endswith(b"\r\n"))
        with open(out, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0], ["File", "Directory", "Title", "Artist", "Album Artist", "Album", "Duration",
                                   "Year", "Track"])
        want = []
        for rec in record(*self.files):
            want.append([os.path.basename(rec["file"]), os.path.dirname(rec["file"]), rec["Title"], rec["Artist"],
                         rec["AlbumArtist"], rec["Album"], duration_text(rec["DurationSec"]), rec["Year"],
                         rec["Track"]])
        self.assertEqual(rows[1:], want)
        self.assertEqual(rows[1][3].splitlines(), ["One", "Two"])   # a multi-value field, quoted whole
        self.assertEqual(rows[1][6], "1:05")
        # Records end with CR LF: with the quoted fields taken out, no other line break is left.
        unquoted = b"".join(raw.split(b'"')[0::2])
        self.assertEqual(unquoted.count(b"\r\n"), len(rows))
        self.assertEqual(unquoted.replace(b"\r\n", b"").count(b"\n"), 0)

        # Files given one by one keep their order; a missing one is named and the rest written.
        r = self.tool("export", "--csv", out, self.files[3], os.path.join(self.dir, "gone.mp3"), self.files[0])
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"gone.mp3", r.stderr)
        with open(out, encoding="utf-8-sig", newline="") as f:
            self.assertEqual([row[0] for row in csv.reader(f)][1:], ["bare.mp3", "2 two.mp3"])

    def test_playlist_paths_exist_and_durations_match(self):
        records = {rec["file"]: rec for rec in record(*self.files)}
        for out in (os.path.join(self.music, "all.m3u8"), os.path.join(self.dir, "elsewhere", "all.m3u8")):
            os.makedirs(os.path.dirname(out), exist_ok=True)
            r = self.tool("export", "--m3u8", out, self.music)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(out, encoding="utf-8", newline="") as f:
                text = f.read()
            entries = text.split("\n")
            self.assertEqual(entries[0], "#EXTM3U")
            self.assertEqual(entries[-1], "")
            pairs = list(zip(entries[1:-1:2], entries[2:-1:2]))
            self.assertEqual(len(pairs), len(self.files))
            inside = out.startswith(self.music + os.sep)
            for (info, path), want in zip(pairs, self.files):
                self.assertEqual(os.path.isabs(path), not inside, path)
                resolved = os.path.normpath(os.path.join(os.path.dirname(out), path))
                self.assertTrue(os.path.isfile(resolved), path)
                self.assertEqual(resolved, want)
                rec = records[want]
                head, title = info.split(",", 1)
                self.assertEqual(head, "#EXTINF:%d" % rec["DurationSec"])
                artist = "; ".join(rec["Artist"].splitlines())
                name = rec["Title"] or os.path.splitext(os.path.basename(want))[0]
                self.assertEqual(title, "%s - %s" % (artist, name) if artist else name)
            if inside:
                self.assertIn('\nB/#hash, "q".mp3\n', text)

    def test_bad_arguments_and_unwritable_output(self):
        for args in (["export"], ["export", "--csv"], ["export", "--csv", "x.csv"],
                     ["export", "--csv", "a", "--m3u8", "b", self.music], ["export", "--tsv", "x", self.music],
                     ["export", self.music]):
            r = self.tool(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(len(r.stderr.strip().splitlines()), 1, (args, r.stderr))
        r = self.tool("export", "--csv", os.path.join(self.dir, "no such folder", "x.csv"), self.music)
        self.assertEqual(r.returncode, 1)
        self.assertTrue(r.stderr.strip())


if __name__ == "__main__":
    unittest.main()
