#!/usr/bin/python3
"""Saves change only what was edited, on files other programs tagged, as
mutagen (an independent reader) sees them through tag-diff.

Each fixture is made at test time by the named writer (metaflac, flac,
oggenc, vorbiscomment, opusenc, ffmpeg, and mutagen for APEv2 and MP4) with
the values those programs write: n/m track and disc numbers, several values
of one name, a TAB in a comment, "ALBUM ARTIST" spelt with a space. Each row
edits one record field through the tag service (veltrano-tags record, as the
window saves), and checks what the record showed, that tag-diff names only
the keys the edit may change, what mutagen reads afterwards, and that the
decoded audio is what it was. An unchanged save of every fixture keeps every
byte.
"""
import json
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testlib  # noqa: E402

import mutagen  # noqa: E402
from mutagen.apev2 import APEv2  # noqa: E402
from mutagen.mp4 import MP4  # noqa: E402

TAG_DIFF = os.path.join(testlib.SHARED, "tools", "tag-diff")


run = testlib.run


# ---- fixtures, each by its writer ------------------------------------------------------

def metaflac_nm(wav, path):
    run("flac", "-s", "-f", "-o", path, wav)
    run("metaflac", "--set-tag=TITLE=T", "--set-tag=ARTIST=One", "--set-tag=ARTIST=Two",
        "--set-tag=TRACKNUMBER=3/12", "--set-tag=DISCNUMBER=1/2", "--set-tag=COMMENT=a\tb",
        "--set-tag=ALBUM ARTIST=AA", path)


def metaflac_separate(wav, path):
    run("flac", "-s", "-f", "-T", "TITLE=T", "-T", "TRACKNUMBER=3", "-T", "TRACKTOTAL=12", "-o", path, wav)


def ffmpeg_tags(wav, path):
    run("ffmpeg", "-v", "error", "-y", "-i", wav, "-metadata", "title=T", "-metadata", "artist=A",
        "-metadata", "track=3/12", "-metadata", "disc=1/2", "-metadata", "album_artist=AA", path)


def oggenc_nm(wav, path):
    run("oggenc", "-Q", "-N", "5/10", "-t", "T", "-c", "ARTIST=One", "-c", "ARTIST=Two",
        "-c", "ALBUM ARTIST=AA", "-c", "DISCNUMBER=1/2", "-o", path, wav)


def vorbiscomment_tab(wav, path):
    run("oggenc", "-Q", "-o", path, wav)
    run("vorbiscomment", "-w", "-t", "TITLE=T", "-t", "COMMENT=x\ty", "-t", "TRACKNUMBER=3/12", path)


def opusenc_nm(wav, path):
    run("opusenc", "--quiet", "--title", "T", "--artist", "One", "--artist", "Two",
        "--comment", "TRACKNUMBER=3/12", "--comment", "TRACKTOTAL=12", "--comment", "ALBUM ARTIST=AA", wav, path)


def mutagen_apev2(wav, path):
    run("wavpack", "-q", "-y", wav, "-o", path)
    t = APEv2()
    t["Title"] = "T"
    t["Artist"] = "A1\0A2"
    t.save(path)


def mutagen_mp4(wav, path):
    run("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", path)
    m = MP4(path)
    m.tags["\xa9nam"] = ["T"]
    m.tags["\xa9ART"] = ["A1", "A2"]
    m.save()


# name: (file extension, writer, programs it needs)
FIXTURES = {
    "metaflac n/m": (".flac", metaflac_nm, ("flac", "metaflac")),
    "flac separate total": (".flac", metaflac_separate, ("flac",)),
    "ffmpeg FLAC": (".flac", ffmpeg_tags, ()),
    "ffmpeg Ogg Vorbis": (".ogg", ffmpeg_tags, ()),
    "ffmpeg Opus": (".opus", ffmpeg_tags, ()),
    "oggenc -N": (".ogg", oggenc_nm, ("oggenc",)),
    "vorbiscomment": (".ogg", vorbiscomment_tab, ("oggenc", "vorbiscomment")),
    "opusenc --comment": (".opus", opusenc_nm, ("opusenc",)),
    "mutagen APEv2 (WavPack)": (".wv", mutagen_apev2, ("wavpack",)),
    "mutagen MP4": (".m4a", mutagen_mp4, ()),
}

# Each row: fixture, the record fields it shows, the record edit, the keys it may
# change (as tag-diff names them), and what mutagen reads afterwards (key: values).
ROWS = [
    ("metaflac n/m", {"Artist": "One\r\nTwo", "Track": "3", "Disc": "1", "AlbumArtist": "AA", "Comment": "a b"},
     ["Title=New"], {"title"}, {"title": ["New"], "tracknumber": ["3/12"], "comment": ["a\tb"]}),
    ("metaflac n/m", {}, ["Track=4"], {"tracknumber"}, {"tracknumber": ["4/12"]}),
    ("metaflac n/m", {}, ["Track=5/9"], {"tracknumber"}, {"tracknumber": ["5/9"], "totaltracks": None}),
    ("metaflac n/m", {}, ["Disc=2"], {"discnumber"}, {"discnumber": ["2/2"]}),
    ("metaflac n/m", {}, ["Artist=Edited"], {"artist"}, {"artist": ["Edited"]}),
    ("metaflac n/m", {}, ["Artist=A\nB\nC"], {"artist"}, {"artist": ["A", "B", "C"]}),
    ("metaflac n/m", {}, ["AlbumArtist=BB"], {"album artist"}, {"album artist": ["BB"], "albumartist": None}),
    ("metaflac n/m", {}, ["Comment="], {"comment"}, {"comment": None}),
    ("flac separate total", {"Track": "3"}, ["Track=5/9"], {"tracknumber", "tracktotal"},
     {"tracknumber": ["5"], "tracktotal": ["9"], "totaltracks": None}),
    ("ffmpeg FLAC", {"Track": "3", "Disc": "1"}, ["Title=New"], {"title"}, {"tracknumber": ["3/12"]}),
    ("ffmpeg FLAC", {}, ["Track=7"], {"tracknumber"}, {"tracknumber": ["7/12"]}),
    ("ffmpeg Ogg Vorbis", {"Track": "3", "Disc": "1"}, ["Artist=B"], {"artist"},
     {"tracknumber": ["3/12"], "discnumber": ["1/2"]}),
    ("ffmpeg Opus", {"Track": "3", "Disc": "1"}, ["Title=New"], {"title"},
     {"tracknumber": ["3/12"], "discnumber": ["1/2"]}),
    ("oggenc -N", {"Artist": "One\r\nTwo", "Track": "5", "Disc": "1", "AlbumArtist": "AA"}, ["Title=New"], {"title"},
     {"tracknumber": ["5/10"], "artist": ["One", "Two"]}),
    ("oggenc -N", {}, ["Track=6"], {"tracknumber"}, {"tracknumber": ["6/10"]}),
    ("oggenc -N", {}, ["Artist=Solo"], {"artist"}, {"artist": ["Solo"]}),
    ("oggenc -N", {}, ["AlbumArtist=BB"], {"album artist"}, {"album artist": ["BB"], "albumartist": None}),
    ("vorbiscomment", {"Comment": "x\ty", "Track": "3"}, ["Title=New"], {"title"}, {"comment": ["x\ty"]}),
    ("opusenc --comment", {"Artist": "One\r\nTwo", "Track": "3", "AlbumArtist": "AA"}, ["Title=New"], {"title"},
     {"tracknumber": ["3/12"], "tracktotal": ["12"]}),
    ("opusenc --comment", {}, ["Track=5/9"], {"tracknumber", "tracktotal"},
     {"tracknumber": ["5/9"], "tracktotal": ["9"]}),
    ("opusenc --comment", {}, ["Artist=X\nY"], {"artist"}, {"artist": ["X", "Y"]}),
    ("mutagen APEv2 (WavPack)", {"Artist": "A1\r\nA2"}, ["Title=New"], {"Title"}, {"Artist": ["A1", "A2"]}),
    ("mutagen APEv2 (WavPack)", {}, ["Artist=Solo"], {"Artist"}, {"Artist": ["Solo"]}),
    ("mutagen APEv2 (WavPack)", {}, ["Artist=B1\nB2"], {"Artist"}, {"Artist": ["B1", "B2"]}),
    ("mutagen MP4", {"Artist": "A1\r\nA2"}, ["Title=New"], {"\xa9nam"}, {"\xa9ART": ["A1", "A2"]}),
    ("mutagen MP4", {}, ["Artist=Solo"], {"\xa9ART"}, {"\xa9ART": ["Solo"]}),
    ("mutagen MP4", {}, ["Artist=B1\nB2\nB3"], {"\xa9ART"}, {"\xa9ART": ["B1", "B2", "B3"]}),
]


def values(path, key):
    """What mutagen reads for key: a list of strings, or None when the key is missing."""
    tags = mutagen.File(path).tags
    if key not in tags:
        return None
    v = tags[key]
    if isinstance(v, list):
        return [str(x) for x in v]
    return list(v)   # an APEv2 text value iterates over its values


class VorbisSavesChangeOnlyEdits(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        testlib.require_tool("ffmpeg")
        if not os.path.exists(TAG_DIFF):
            raise unittest.SkipTest("tag-diff not found at " + TAG_DIFF)
        cls.dir = testlib.TempDir("vorbis_edits_")
        cls.wav = cls.dir.file("in.wav")
        run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-ac", "2",
            "-ar", "44100", "-c:a", "pcm_s16le", cls.wav)
        cls.fixtures = {}
        for name, (ext, make, programs) in FIXTURES.items():
            if all(shutil.which(p) for p in programs):
                path = cls.dir.file(name.replace(" ", "_").replace("/", "") + ext)
                make(cls.wav, path)
                cls.fixtures[name] = path

    @classmethod
    def tearDownClass(cls):
        cls.dir.remove()

    def copy(self, name, tag):
        src = self.fixtures[name]
        dst = self.dir.file("%s-%s" % (tag, os.path.basename(src)))
        shutil.copyfile(src, dst)
        return dst

    def test_fixtures_were_made(self):
        self.assertEqual(sorted(self.fixtures), sorted(FIXTURES))

    def test_unchanged_save_keeps_every_byte(self):
        for name in self.fixtures:
            with self.subTest(name):
                path = self.copy(name, "same")
                testlib.write(path)
                testlib.record(path, "--set", "Title=T")   # the value the record already shows
                self.assertEqual(testlib.read_bytes(path), testlib.read_bytes(self.fixtures[name]))

    def test_one_field_edited(self):
        for i, (name, shown, edit, may_change, after) in enumerate(ROWS):
            if name not in self.fixtures:
                continue
            with self.subTest("%s: %s" % (name, edit)):
                path = self.copy(name, "row%d" % i)
                record = json.loads(testlib.record(path).stdout)
                for field, value in shown.items():
                    self.assertEqual(record[field], value, field)
                md5 = testlib.decoded_md5(path)
                testlib.record(path, "--set", *edit)
                diff = subprocess.run([TAG_DIFF, self.fixtures[name], path, "--json"], capture_output=True, text=True)
                self.assertIn(diff.returncode, (0, 1), diff.stderr)
                d = json.loads(diff.stdout)
                changed = set(d["added"]) | set(d["removed"]) | set(d["changed"])
                self.assertLessEqual(changed, may_change, d)
                self.assertEqual(d["pictures"], [])
                for key, want in after.items():
                    self.assertEqual(values(path, key), want, key)
                self.assertEqual(testlib.decoded_md5(path), md5)


if __name__ == "__main__":
    unittest.main(verbosity=2)
