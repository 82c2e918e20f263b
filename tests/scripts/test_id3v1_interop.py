#!/usr/bin/python3
"""ID3v1 and Lyrics3 against independent writers and readers.

Tags written by mutagen and by the id3v2 tool must read back with the right
fields through veltrano-tags; tags veltrano-tags writes must read back the
same in mutagen; the audio in front of the tag never changes; bad input gives
a result, never a crash, and changes nothing.
"""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testlib  # noqa: E402

import mutagen.id3
from mutagen.id3 import ID3, TALB, TCON, TDRC, TIT2, TPE1, TRCK



def mpeg_frames(count=20):
    """MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz (417 bytes each), with
    varying filler so that shifted or damaged audio bytes show."""
    frame = bytes([0xFF, 0xFB, 0x90, 0x64])
    return b"".join(frame + bytes((i * 31 + j) & 0xFF for j in range(413)) for i in range(count))


def v1_block(title=b"", artist=b"", album=b"", year=b"", comment=b"", track=0, genre=12):
    """A 128-byte ID3v1.1 block from raw Windows-1252 bytes."""
    def pad(b, n):
        return b[:n].ljust(n, b"\0")
    return (b"TAG" + pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4)
            + pad(comment, 28) + b"\0" + bytes([track, genre]))


def lyrics3(fields, size_field=None):
    """A Lyrics3 v2.00 block from (ID, raw bytes) pairs."""
    body = b"LYRICSBEGIN" + b"".join(fid + b"%05d" % len(data) + data for fid, data in fields)
    return body + (size_field if size_field is not None else b"%06d" % len(body)) + b"LYRICS200"


def parse_lyrics3(data):
    """The fields of the Lyrics3 block in front of the trailing ID3v1 block."""
    end = len(data) - 128
    assert data[end - 9:end] == b"LYRICS200", "no Lyrics3 block"
    size = int(data[end - 15:end - 9])
    block = data[end - 15 - size:end - 15]
    assert block.startswith(b"LYRICSBEGIN")
    pos, fields = 11, {}
    while pos < len(block):
        fid, n = block[pos:pos + 3], int(block[pos + 3:pos + 8])
        fields[fid.decode()] = block[pos + 8:pos + 8 + n]
        pos += 8 + n
    return end - 15 - size, fields


class Id3v1Interop(testlib.ToolCase, unittest.TestCase):
    prefix = "id3v1_interop_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool()
        cls.audio = mpeg_frames()

    def entries(self, p):
        out = {}
        for e in self.read(p)["entries"]:
            out.setdefault(e["name"].upper(), e["value"])
        return out

    def write(self, p, *sets):
        args = ["write", p, "--tag", "id3v1"]
        for s in sets:
            args += ["--set", s]
        return self.tool(*args)

    # --- independent writers -> our reader --------------------------------

    def test_reads_mutagen_v1(self):
        p = self.path("mutagen.mp3", self.audio)
        tags = ID3()
        tags.add(TIT2(encoding=3, text="Café ß"))
        tags.add(TPE1(encoding=3, text="Ärzte"))
        tags.add(TALB(encoding=3, text="Album"))
        tags.add(TDRC(encoding=3, text="1999"))
        tags.add(TRCK(encoding=3, text="7"))
        tags.add(TCON(encoding=3, text="Rock"))
        tags.save(p, v1=2)
        mutagen.id3.delete(p, delete_v1=False, delete_v2=True)
        self.assertEqual(self.content(p)[:-128], self.audio)

        got = self.entries(p)
        self.assertEqual(self.read(p)["loaded"], ["ID3v1"])
        self.assertEqual(got.get("TITLE"), "Café ß")
        self.assertEqual(got.get("ARTIST"), "Ärzte")
        self.assertEqual(got.get("ALBUM"), "Album")
        self.assertEqual(got.get("YEAR"), "1999")
        # mutagen's ID3v1 writer takes no comment from an ID3v2 COMM frame.
        self.assertEqual(got.get("TRACKNUMBER"), "7")
        self.assertEqual(got.get("GENRE"), "Rock")

    def test_reads_id3v2_tool_v1(self):
        if not shutil.which("id3v2"):
            self.skipTest("id3v2 tool not installed")
        p = self.path("tool.mp3", self.audio)
        subprocess.run(["id3v2", "-1", "-t", b"Stra\xdfe \xe9t\xe9", "-a", "Artist", "-A", "Album",
                        "-y", "2004", "-c", "Note", "-T", "12", "-g", "17", p], check=True, capture_output=True)
        self.assertEqual(self.content(p)[:-128], self.audio)
        got = self.entries(p)
        self.assertEqual(got.get("TITLE"), "Straße été")
        self.assertEqual(got.get("ARTIST"), "Artist")
        self.assertEqual(got.get("YEAR"), "2004")
        self.assertEqual(got.get("COMMENT"), "Note")
        self.assertEqual(got.get("TRACKNUMBER"), "12")
        self.assertEqual(got.get("GENRE"), "Rock")

    def test_lyrics3_block_read_and_kept(self):
        long_title = "A Title Much Longer Than Thirty Bytes, Café"
        lyr = "[00:01]Erste Zeile\r\n[00:05]Straße".encode("latin1")
        block = lyrics3([(b"IND", b"110"), (b"LYR", lyr), (b"ETT", long_title.encode("latin1")),
                         (b"EAR", b"Some Artist")])
        p = self.path("lyrics.mp3", self.audio + block + v1_block(long_title.encode("cp1252"), b"Some", track=3))
        got = self.entries(p)
        self.assertEqual(got.get("TITLE"), long_title)   # whole title from the extended field
        self.assertEqual(got.get("ARTIST"), "Some Artist")
        self.assertEqual(got.get("TRACKNUMBER"), "3")

        r = self.write(p, "ALBUM=Neues Album")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        data = self.content(p)
        self.assertEqual(data[:len(self.audio)], self.audio)
        start, fields = parse_lyrics3(data)
        self.assertEqual(start, len(self.audio))
        self.assertEqual(fields["LYR"].decode("utf-8"), lyr.decode("latin1"))
        self.assertEqual(fields["ETT"].decode("utf-8"), long_title)
        self.assertEqual(fields["IND"], b"110")
        tags = ID3(p)
        self.assertEqual(str(tags["TALB"]), "Neues Album")
        self.assertEqual(str(tags["TIT2"]), long_title[:30])
        # A second save changes nothing.
        self.assertEqual(self.write(p, "ALBUM=Neues Album").returncode, 0)
        self.assertEqual(self.content(p), data)

    # --- our writer -> independent reader ---------------------------------

    def test_written_tag_reads_in_mutagen(self):
        for name, start in (("plain.mp3", self.audio), ("tagged.mp3", self.audio + v1_block(b"Old", track=1))):
            with self.subTest(name):
                p = self.path(name, start)
                r = self.write(p, "TITLE=Café au lait", "ARTIST=Die Ärzte", "ALBUM=Größte Hits",
                               "YEAR=2011", "COMMENT=Schön", "TRACKNUMBER=9", "GENRE=Jazz")
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                data = self.content(p)
                self.assertEqual(len(data), len(self.audio) + 128)
                self.assertEqual(data[:len(self.audio)], self.audio)
                tags = ID3(p)
                self.assertEqual(tags.version, (1, 1))
                self.assertEqual(str(tags["TIT2"]), "Café au lait")
                self.assertEqual(str(tags["TPE1"]), "Die Ärzte")
                self.assertEqual(str(tags["TALB"]), "Größte Hits")
                self.assertEqual(str(tags["TDRC"]), "2011")
                self.assertEqual([str(c) for c in tags.getall("COMM")], ["Schön"])
                self.assertEqual(str(tags["TRCK"]), "9")
                self.assertEqual(str(tags["TCON"]), "Jazz")
                got = self.entries(p)
                self.assertEqual(got.get("ALBUM"), "Größte Hits")

    def test_strip(self):
        for name, tail in (("tag.mp3", v1_block(b"T")),
                           ("lyrics.mp3", lyrics3([(b"LYR", b"la")]) + v1_block(b"T"))):
            with self.subTest(name):
                p = self.path(name, self.audio + tail)
                self.assertEqual(self.tool("strip", p, "--tag", "id3v1").returncode, 0)
                self.assertEqual(self.content(p), self.audio)

    # --- bad input ----------------------------------------------------------

    def test_bad_input_changes_nothing(self):
        tag = v1_block(b"Song", track=2)
        files = {
            "empty.mp3": b"",
            "one.mp3": b"\xff",
            "garbage.mp3": bytes((i * 73 + 5) & 0xFF for i in range(128)),
            "nondigit.mp3": self.audio + lyrics3([(b"LYR", b"x")], b"12a45b") + tag,
            "before_start.mp3": self.audio[:50] + lyrics3([(b"LYR", b"x")], b"999999") + tag,
            "past_block.mp3": self.audio + b"LYRICSBEGINLYR99999ab" + b"%06d" % 21 + b"LYRICS200" + tag,
        }
        for name, data in files.items():
            with self.subTest(name):
                p = self.path(name, data)
                d = self.read(p)
                self.assertIsInstance(d["result"], int)
                self.assertEqual(self.content(p), data)
                r = self.tool("strip", p, "--tag", "id3v1")
                if name == "past_block.mp3":
                    # Its start and end markers agree: the whole Lyrics3 block goes with the tag.
                    self.assertEqual(r.returncode, 0)
                    self.assertEqual(self.content(p), self.audio)
                elif data.endswith(tag):
                    # A size that names no block: only the ID3v1 block goes, the bytes in front stay.
                    self.assertEqual(r.returncode, 0)
                    self.assertEqual(self.content(p), data[:-128])
                else:
                    self.assertNotEqual(r.returncode, 0)
                    self.assertEqual(self.content(p), data)
        # Damaged Lyrics3 blocks: the ID3v1 fields still load, and writing
        # the tag leaves everything in front of it alone.
        for name in ("nondigit.mp3", "before_start.mp3", "past_block.mp3"):
            with self.subTest(name + " write"):
                p = self.path(name, files[name])
                self.assertEqual(self.entries(p).get("TITLE"), "Song")
                self.assertEqual(self.write(p, "TITLE=New").returncode, 0)
                self.assertEqual(self.content(p)[:-128], files[name][:-128])
                self.assertEqual(self.entries(p).get("TITLE"), "New")

        missing = self.path("missing.mp3")
        folder = self.path("folder.mp3")
        os.mkdir(folder)
        for p in (missing, folder):
            with self.subTest(os.path.basename(p)):
                self.assertNotEqual(self.tool("read", p).returncode, 0)
                self.assertNotEqual(self.write(p, "TITLE=x").returncode, 0)
                self.assertNotEqual(self.tool("strip", p, "--tag", "id3v1").returncode, 0)
        self.assertFalse(os.path.exists(missing))
        self.assertEqual(os.listdir(folder), [])

    def test_read_only_file_is_refused(self):
        p = self.path("ro.mp3", self.audio + v1_block(b"Keep"))
        os.chmod(p, 0o444)
        before = self.content(p)
        r = self.write(p, "TITLE=Changed")
        self.assertNotEqual(r.returncode, 0)
        self.assertEqual(self.content(p), before)


if __name__ == "__main__":
    unittest.main(verbosity=2)
