#!/usr/bin/python3
"""Saves change only what was edited, as mutagen (an independent reader and
writer) sees it.

One table: each row is a file mutagen writes, the edit we make with
veltrano-tags, the frames that edit may change, and what mutagen must read
afterwards. Then the peer files from other projects: a title change leaves
every other frame as mutagen reads it.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testlib  # noqa: E402

import mutagen.id3 as id3  # noqa: E402


def frames_of(path):
    return id3.ID3(path)


def v1_block(path):
    data = testlib.read_bytes(path)
    assert data[-128:-125] == b"TAG", "no ID3v1 block"
    return data[-128:]


# Each row: name, frames mutagen writes, ID3v2 version, edit (tool command and
# arguments, run SAVES times), keys the edit may change, check of the result.
ROWS = [
    dict(name="a TXXX total that differs from TRCK's does not multiply",
         frames=[id3.TIT2(encoding=3, text="Old"), id3.TRCK(encoding=3, text="3/12"),
                 id3.TXXX(encoding=3, desc="TOTALTRACKS", text="13")],
         edit=("write", "--set", "TITLE=New"), saves=3, changes={"TIT2"},
         check=lambda t: (t["TXXX:TOTALTRACKS"].text == ["13"] and str(t["TRCK"]) == "3/12")),
    dict(name="a track typed n/m sets both number and total",
         frames=[id3.TRCK(encoding=3, text="3/12")],
         edit=("write", "--set", "TRACKNUMBER=4/10"), changes={"TRCK"},
         check=lambda t: str(t["TRCK"]) == "4/10" and not t.getall("TXXX")),
    dict(name="n/m typed in the record on a file with a TXXX total of the same value",
         frames=[id3.TRCK(encoding=3, text="3/12"), id3.TXXX(encoding=3, desc="TOTALTRACKS", text="12")],
         edit=("record", "--set", "Track=4/10"), changes={"TRCK", "TXXX:TOTALTRACKS"},
         check=lambda t: str(t["TRCK"]) == "4/10" and t["TXXX:TOTALTRACKS"].text == ["10"]),
    dict(name="deleting the URL of a WXXX without description",
         frames=[id3.TIT2(encoding=3, text="T"), id3.WXXX(encoding=0, desc="", url="http://example.com/a"),
                 id3.WXXX(encoding=0, desc="Shop", url="http://example.com/shop")],
         edit=("write", "--delete", "URL"), changes={"WXXX:"},
         check=lambda t: "WXXX:" not in t and t["WXXX:Shop"].url == "http://example.com/shop"),
    dict(name="a title edit adds no TXXX:RATING, TMOO or TXXX:TOTALTRACKS",
         frames=[id3.TIT2(encoding=3, text="Old"), id3.TRCK(encoding=3, text="3/12"),
                 id3.TPOS(encoding=3, text="1/2"),
                 id3.POPM(email="player@example.com", rating=196, count=7),
                 id3.TXXX(encoding=3, desc="MOOD", text="Calm"), id3.PCNT(count=5)],
         edit=("write", "--set", "TITLE=New"), saves=2, changes={"TIT2"},
         check=lambda t: (t["POPM:player@example.com"].rating == 196 and t["POPM:player@example.com"].count == 7
                          and "TMOO" not in t and "TXXX:RATING" not in t and "TXXX:TOTALTRACKS" not in t)),
    dict(name="a rating edit goes back into the POPM",
         frames=[id3.POPM(email="player@example.com", rating=196, count=7)],
         edit=("write", "--set", "RATING=64"), changes={"POPM:player@example.com"},
         check=lambda t: (t["POPM:player@example.com"].rating == 64 and t["POPM:player@example.com"].count == 7
                          and "TXXX:RATING" not in t)),
    dict(name="year on 2.4 goes to TDRC",
         frames=[id3.TDRC(encoding=3, text="2003-05-01")],
         edit=("record", "--set", "Year=2004"), changes={"TDRC"},
         check=lambda t: str(t["TDRC"]) == "2004" and "TYER" not in t),
    dict(name="year on 2.4 unchanged keeps the full date (title edited)",
         frames=[id3.TDRC(encoding=3, text="2003-05-01"), id3.TIT2(encoding=3, text="Old")],
         edit=("record", "--set", "Title=New", "Year=2003"), changes={"TIT2"},
         check=lambda t: str(t["TDRC"]) == "2003-05-01"),
    dict(name="clearing the year on 2.4 sticks",
         frames=[id3.TDRC(encoding=3, text="2003-05-01"), id3.TIT2(encoding=3, text="T")],
         edit=("record", "--set", "Year="), changes={"TDRC"},
         check=lambda t: "TDRC" not in t and "TYER" not in t),
    dict(name="year on 2.3 goes to TYER", version=3,
         frames=[id3.TYER(encoding=1, text="2003"), id3.TIT2(encoding=1, text="T")],
         edit=("write", "--set", "YEAR=2004-06-07"), changes={"TDRC"},   # mutagen shows 2.3 TYER as TDRC
         check=lambda t: str(t["TDRC"]) == "2004"),
    dict(name="the Comment field leaves a described comment alone",
         frames=[id3.COMM(encoding=3, lang="eng", desc="iTunNORM", text=" 0000044E 00000000")],
         edit=("record", "--set", "Comment=Mine"), changes={"COMM::eng"},
         check=lambda t: (t["COMM:iTunNORM:eng"].text == [" 0000044E 00000000"] and t["COMM::eng"].text == ["Mine"])),
    dict(name="an empty genre in ID3v1 is byte 255", v1=2,
         frames=[id3.TIT2(encoding=3, text="T")],
         edit=("write", "--tag", "id3v1", "--set", "ARTIST=A"), changes={"TPE1"}, v1_check=lambda b: b[127] == 255),
    dict(name="a genre not in the ID3v1 table stays 12", v1=2,
         frames=[id3.TIT2(encoding=3, text="T")],
         edit=("write", "--tag", "id3v1", "--set", "GENRE=Nu-Gaze"), changes={"TCON"}, v1_check=lambda b: b[127] == 12),
    dict(name="a cover added in the editor is the front cover",
         frames=[id3.TIT2(encoding=3, text="T")],
         edit=("record", "--cover", "@PNG"), changes=set(), pictures_change=True,
         check=lambda t: [p.type for p in t.getall("APIC")] == [3]),
]


class SavesChangeOnlyEdits(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        testlib.require_tool()

    def setUp(self):
        self.dir = testlib.TempDir("id3_edits_")
        self.png = testlib.write_bytes(self.dir.file("cover.png"), testlib.png_bytes())

    def tearDown(self):
        self.dir.remove()

    def test_table(self):
        for i, row in enumerate(ROWS):
            with self.subTest(row["name"]):
                path = testlib.mp3_by_mutagen(self.dir.file("row%d.mp3" % i), row["frames"],
                                              version=row.get("version", 4), v1=row.get("v1", 0))
                before = testlib.mutagen_view(path)
                audio = testlib.audio_hash(path)
                command, *args = row["edit"]
                args = [self.png if a == "@PNG" else a for a in args]
                for _ in range(row.get("saves", 1)):
                    (testlib.write if command == "write" else testlib.record)(path, *args)
                after = testlib.mutagen_view(path)
                changed, pictures = testlib.view_diff(before, after)
                self.assertLessEqual(set(changed), row["changes"], (before, after))
                self.assertEqual(pictures, row.get("pictures_change", False))
                if "check" in row:
                    self.assertTrue(row["check"](frames_of(path)), after)
                if "v1_check" in row:
                    self.assertTrue(row["v1_check"](v1_block(path)), v1_block(path))
                if not row.get("v1"):
                    self.assertEqual(testlib.audio_hash(path), audio)

    def test_id3v1_empty_genre_stays_empty_on_the_next_save(self):
        """A file whose ID3v1 has no genre (byte 255) gets none in its ID3v2 tag either."""
        path = testlib.mp3_by_mutagen(self.dir.file("v1.mp3"), [id3.TIT2(encoding=3, text="T")], v1=2)
        self.assertEqual(v1_block(path)[127], 255)
        testlib.write(path, "--set", "TITLE=New")
        self.assertNotIn("TCON", frames_of(path))
        self.assertEqual(v1_block(path)[127], 255)

    def test_peer_files_title_change_leaves_every_other_frame(self):
        """Files other programs wrote: a new title changes TIT2 and no other ID3v2 frame mutagen
        reads, even where the file's other tags (ID3v1, APEv2, RIFF INFO) hold other values."""
        checked = 0
        for rel, fmt in testlib.peer_files({"MP3", "WAV", "AIFF", "DSF", "DSDIFF"}):
            src = os.path.join(testlib.PEERS, rel)
            if not os.path.exists(src) or "RF64" in fmt:
                continue
            with self.subTest(rel):
                try:
                    before = testlib.mutagen_view(src, load_v1=False)
                except Exception:
                    continue   # mutagen cannot read it: nothing to compare against
                if not before[0] and not before[1]:
                    continue
                path = self.dir.copy(src)
                p = testlib.tool("write", path, "--set", "TITLE=Retitled")
                if p.returncode != 0:
                    # A file we refuse to write must keep its bytes.
                    self.assertEqual(testlib.read_bytes(path), testlib.read_bytes(src), p.stdout + p.stderr)
                    continue
                after = testlib.mutagen_view(path, load_v1=False)
                changed, pictures = testlib.view_diff(before, after)
                for k in changed:
                    if k != "TIT2":
                        self.fail((k, before[0].get(k), after[0].get(k)))
                self.assertFalse(pictures)
                self.assertIn("Retitled", after[0].get("TIT2", ""))
                checked += 1
        self.assertGreater(checked, 10)


class ApeOnlyMp3(unittest.TestCase):
    """An MP3 whose tags are APEv2 and ID3v1 alone (as mutagen and some taggers leave
    them): players read neither APEv2 nor anything but ID3v1's few fields there, so what
    ID3v1 cannot hold goes into a new ID3v2 tag, which holds only that."""

    @classmethod
    def setUpClass(cls):
        testlib.require_tool()

    def setUp(self):
        self.dir = testlib.TempDir("ape_mp3_")

    def tearDown(self):
        self.dir.remove()

    def ape_mp3(self):
        import mutagen.apev2 as apev2
        path = testlib.write_bytes(self.dir.file("a.mp3"), testlib.mpeg_frames())
        t = apev2.APEv2()
        t["Title"], t["Artist"], t["Mood"] = "Title", "Artist", "Calm"
        t.save(path)
        v1 = b"TAG" + b"Title".ljust(30, b"\0") + b"Artist".ljust(30, b"\0") + bytes(30) + b"2003" + bytes(30) + b"\x11"
        with open(path, "ab") as f:
            f.write(v1)
        return path

    def test_rows(self):
        png = testlib.write_bytes(self.dir.file("c.png"), testlib.png_bytes())
        rows = [
            # record arguments, the ID3v2 frames expected afterwards (None: no ID3v2 tag)
            (("--set", "Title=New"), None),
            (("--set", "AlbumArtist=AA"), {"TPE2": "AA"}),
            (("--set", "Disc=2", "Title=New"), {"TPOS": "2"}),
            (("--cover", png), {"APIC": None}),
        ]
        import mutagen.apev2 as apev2
        for args, frames in rows:
            with self.subTest(args):
                path = self.ape_mp3()
                testlib.record(path, *args)
                if frames is None:
                    self.assertEqual(testlib.id3v2_size(testlib.read_bytes(path)), 0)
                else:
                    tags = id3.ID3(path, load_v1=False)
                    self.assertEqual(sorted(k[:4] for k in tags.keys()), sorted(frames))
                    for k, v in frames.items():
                        if v is not None:
                            self.assertEqual(str(tags[k]), v)
                self.assertEqual(str(apev2.APEv2(path)["Mood"]), "Calm")
                self.assertEqual(v1_block(path)[3:33].rstrip(b"\0"), b"New" if "Title=New" in args else b"Title")


def typical_frames():
    """The frames a tagged file usually has, as mutagen writes them."""
    return [id3.TIT2(encoding=3, text="Title"), id3.TPE1(encoding=3, text=["Artist", "Guest"]),
            id3.TALB(encoding=1, text="Album"), id3.TRCK(encoding=3, text="3/12"), id3.TPOS(encoding=3, text="1/2"),
            id3.TCON(encoding=3, text="Rock"), id3.TDRC(encoding=3, text="2003-05-01"),
            id3.COMM(encoding=3, lang="eng", desc="", text="Comment"),
            id3.COMM(encoding=3, lang="eng", desc="iTunNORM", text=" 0000044E 00000061"),
            id3.USLT(encoding=3, lang="eng", desc="", text="la la"),
            id3.TXXX(encoding=3, desc="MOOD", text="Calm"), id3.TXXX(encoding=3, desc="TOTALTRACKS", text="13"),
            id3.WXXX(encoding=0, desc="", url="http://example.com/"), id3.WOAR(url="http://example.com/artist"),
            id3.POPM(email="a@b.c", rating=196, count=7), id3.PCNT(count=5),
            id3.PRIV(owner="player", data=b"\x01\x02"),
            id3.APIC(encoding=3, mime="image/png", type=3, desc="front", data=testlib.png_bytes(500)),
            id3.APIC(encoding=3, mime="image/png", type=4, desc="back", data=testlib.png_bytes(300))]


# One row per format whose ID3v2 tag we write: (name, extension, ID3v2 version).
CONTAINER_ROWS = [("MP3 2.3", ".mp3", 3), ("MP3 2.4", ".mp3", 4), ("WAVE", ".wav", 3), ("AIFF", ".aif", 4),
                  ("DSF", ".dsf", 4), ("DSDIFF", ".dff", 4)]


class ContractAsMutagenSeesIt(unittest.TestCase):
    """Files mutagen tagged: an unchanged save and ten saves keep what mutagen reads and the
    bytes; a title edit changes TIT2 alone."""

    @classmethod
    def setUpClass(cls):
        testlib.require_tool()

    def setUp(self):
        self.dir = testlib.TempDir("id3_contract_")

    def tearDown(self):
        self.dir.remove()

    def test_rows(self):
        for name, ext, version in CONTAINER_ROWS:
            with self.subTest(name):
                path = testlib.base_audio(self.dir.file(name.replace(" ", "_") + ext))
                testlib.tag_with_mutagen(path, typical_frames(), version)
                before = testlib.mutagen_view(path, load_v1=False)
                self.assertGreater(len(before[0]), 15)
                testlib.write(path, "--tag", "id3v2")
                self.assertEqual(testlib.mutagen_view(path, load_v1=False), before, "unchanged save")
                first = testlib.read_bytes(path)
                for _ in range(9):
                    testlib.write(path, "--tag", "id3v2")
                self.assertEqual(testlib.read_bytes(path), first, "ten saves")
                testlib.write(path, "--tag", "id3v2", "--set", "TITLE=Edited")
                changed, pictures = testlib.view_diff(before, testlib.mutagen_view(path, load_v1=False))
                self.assertEqual(changed, ["TIT2"])
                self.assertFalse(pictures)


if __name__ == "__main__":
    unittest.main(verbosity=2)
