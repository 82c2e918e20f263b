#!/usr/bin/python3
"""ID3v2 tags against independent readers and writers.

Our writes are read back by mutagen (versions 2.3 and 2.4: texts in many
scripts, comments and lyrics with language and description, TXXX, a large
front cover); files written by mutagen, eyeD3 and the id3v2 tool, and
hand-made unsynchronised and version 2.2 tags, are read by us and compared
with what mutagen sees. Frames we have no name for survive our saves byte
for byte, and the audio after the tag never changes.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import mutagen.id3 as id3

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from testlib import (PEERS, audio_hash, entry, mpeg_frames, png_bytes,  # noqa: E402
                     read_entries, require_tool, syncsafe, tool)

TITLES = {
    "latin": "Café Ünïcødé",
    "cyrillic": "Привет, мир",
    "greek": "Καλημέρα κόσμε",
    "cjk": "東京の夜 — 夜曲",
    "emoji": "Night drive 🚗🌙",
}


class WeWriteMutagenReads(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tool()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="id3v2-interop-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def bare(self, name="a.mp3"):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(mpeg_frames(40))
        return path

    def test_new_tag_fields_and_cover(self):
        path = self.bare()
        before = audio_hash(path)
        cover = os.path.join(self.dir, "cover.png")
        picture = png_bytes(200 * 1024)
        with open(cover, "wb") as f:
            f.write(picture)
        comment = "first line\r\nsecond line"
        lyrics = "verse one\r\nverse two\r\n\r\nchorus"
        args = ["write", path, "--tag", "id3v2",
                "--set", "TITLE=" + TITLES["latin"], "--set", "ARTIST=" + TITLES["cyrillic"],
                "--set", "ALBUM=" + TITLES["greek"], "--set", "COMPOSER=" + TITLES["cjk"],
                "--set", "ALBUMARTIST=" + TITLES["emoji"], "--set", "COMMENT=" + comment,
                "--set", "LYRICS=" + lyrics, "--set", "CATALOG=ABC-123", "--set", "WORKFLOW=calm",
                "--set", "TRACKNUMBER=3", "--set", "TOTALTRACKS=12", "--set", "YEAR=2003",
                "--cover", cover]
        p = tool(*args)
        self.assertEqual(p.returncode, 0, p.stderr + p.stdout)
        t = id3.ID3(path)
        self.assertEqual(t.version[:2], (2, 3))
        self.assertEqual(str(t["TIT2"]), TITLES["latin"])
        self.assertEqual(str(t["TPE1"]), TITLES["cyrillic"])
        self.assertEqual(str(t["TALB"]), TITLES["greek"])
        self.assertEqual(str(t["TCOM"]), TITLES["cjk"])
        self.assertEqual(str(t["TPE2"]), TITLES["emoji"])
        self.assertEqual(str(t["TRCK"]), "3/12")
        comms = t.getall("COMM")
        self.assertEqual(len(comms), 1)
        self.assertEqual(comms[0].lang, "eng")
        self.assertEqual(comms[0].text[0], comment)
        uslt = t.getall("USLT")
        self.assertEqual(uslt[0].text, lyrics)
        self.assertEqual(t["TXXX:CATALOG"].text, ["ABC-123"])
        self.assertEqual(t["TXXX:WORKFLOW"].text, ["calm"])
        pics = t.getall("APIC")
        self.assertEqual(len(pics), 1)
        self.assertEqual(pics[0].mime, "image/png")
        self.assertEqual(pics[0].type, 3)
        self.assertEqual(pics[0].data, picture)
        self.assertEqual(audio_hash(path), before)

    def _keeps_language_and_description(self, version):
        path = self.bare("v%d.mp3" % version)
        before = audio_hash(path)
        t = id3.ID3()
        t.add(id3.TIT2(encoding=3, text="old"))
        t.add(id3.COMM(encoding=1, lang="deu", desc="Notiz", text="Zeile eins\nZeile zwei"))
        t.add(id3.USLT(encoding=1, lang="fra", desc="paroles", text="un\ndeux"))
        t.add(id3.TXXX(encoding=3, desc="REPLAYGAIN_TRACK_GAIN", text="-6.5 dB"))
        t.add(id3.PRIV(owner="owner@example", data=b"\x00\x01\xff\x00binary"))
        t.add(id3.POPM(email="me@example", rating=196, count=7))
        t.add(id3.UFID(owner="http://musicbrainz.org", data=b"1234-5678"))
        t.add(id3.GEOB(encoding=0, mime="application/x-test", filename="f.bin", desc="blob", data=bytes(range(256))))
        t.add(id3.RVA2(desc="track", channel=1, gain=-3.5, peak=0.9))
        t.add(id3.SYLT(encoding=3, lang="eng", format=2, type=1, text=[("la", 1000), ("li", 2000)]))
        t.save(path, v2_version=version)
        raw_before = {f.HashKey: f._writeData() if hasattr(f, "_writeData") else None
                      for f in id3.ID3(path).values()}
        for title in TITLES.values():
            p = tool("write", path, "--tag", "id3v2", "--set", "TITLE=" + title)
            self.assertEqual(p.returncode, 0, p.stderr)
            t2 = id3.ID3(path)
            self.assertEqual(t2.version[:2], (2, version))
            self.assertEqual(str(t2["TIT2"]), title)
        comm = t2.getall("COMM")[0]
        self.assertEqual((comm.lang, comm.desc, comm.text[0]), ("deu", "Notiz", "Zeile eins\nZeile zwei"))
        uslt = t2.getall("USLT")[0]
        self.assertEqual((uslt.lang, uslt.desc, uslt.text), ("fra", "paroles", "un\ndeux"))
        self.assertEqual(t2["TXXX:REPLAYGAIN_TRACK_GAIN"].text, ["-6.5 dB"])
        # Frames without a unified name: the same bytes as mutagen wrote them.
        for f in t2.values():
            if f.FrameID in ("PRIV", "UFID", "GEOB", "RVA2", "SYLT"):
                self.assertEqual(f._writeData(), raw_before[f.HashKey], f.FrameID)
        self.assertEqual(t2.getall("POPM")[0].rating, 196)
        self.assertEqual(audio_hash(path), before)

    def test_v23_keeps_language_description_and_unknown_frames(self):
        self._keeps_language_and_description(3)

    def test_v24_keeps_language_description_and_unknown_frames(self):
        self._keeps_language_and_description(4)

    def test_saves_in_place_when_it_fits(self):
        path = self.bare("inplace.mp3")
        t = id3.ID3()
        t.add(id3.TIT2(encoding=3, text="x"))
        t.save(path, v2_version=3, padding=lambda info: 3000)
        ino = os.stat(path).st_ino
        size = os.path.getsize(path)
        p = tool("write", path, "--tag", "id3v2", "--set", "TITLE=" + "y" * 200)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertEqual(os.stat(path).st_ino, ino)
        self.assertEqual(os.path.getsize(path), size)
        self.assertEqual(str(id3.ID3(path)["TIT2"]), "y" * 200)
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".tmp")], [])


    def test_containers_both_ways(self):
        """WAVE, AIFF, DSF and DSDIFF: our tag read by mutagen, then mutagen's change read by us."""
        import mutagen
        samples = ["mutagen/silence-2s-PCM-16000-08-notags.wav", "mutagen/silence-2s-PCM-44100-16-ID3v23.wav",
                   "mutagen/8k-1ch-1s-silence.aif", "mutagen/with-id3.aif", "mutagen/5644800-2ch-s01-silence.dsf",
                   "mutagen/with-id3.dsf", "mutagen/5644800-2ch-s01-silence.dff", "taglib/rf64.wav"]
        for rel in samples:
            src = os.path.join(PEERS, rel)
            if not os.path.exists(src):
                continue
            path = os.path.join(self.dir, os.path.basename(rel))
            shutil.copy(src, path)
            os.chmod(path, 0o644)   # the samples are kept read-only
            p = tool("write", path, "--tag", "id3v2", "--set", "TITLE=" + TITLES["cjk"], "--set", "ARTIST=Ours")
            self.assertEqual(p.returncode, 0, (rel, p.stderr, p.stdout))
            if not rel.endswith("rf64.wav"):   # mutagen has no RF64 reader
                f = mutagen.File(path)
                self.assertIsNotNone(f.tags, rel)
                self.assertEqual(str(f.tags["TIT2"]), TITLES["cjk"], rel)
                f.tags["TPE1"] = id3.TPE1(encoding=3, text="Theirs")
                f.save()
            doc = read_entries(path)
            if "WAV" in doc["loaded"]:
                # The file's RIFF INFO values come before its ID3v2 values in
                # the merged view, and mutagen changes only the ID3v2 tag.
                continue
            self.assertEqual(entry(doc, "TITLE")["value"], TITLES["cjk"], rel)
            self.assertEqual(entry(doc, "ARTIST")["value"], "Ours" if rel.endswith("rf64.wav") else "Theirs", rel)


def unsync(data):
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)


class TheyWriteWeRead(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tool()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="id3v2-interop-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        p = os.path.join(self.dir, name)
        with open(p, "wb") as f:
            f.write(mpeg_frames(30))
        return p

    def check(self, path, expected):
        doc = read_entries(path)
        self.assertIn("ID3v2", doc["loaded"], doc)
        for name, value in expected.items():
            e = entry(doc, name)
            self.assertIsNotNone(e, (name, doc["entries"]))
            self.assertEqual(e["value"], value, name)
        return doc

    def test_mutagen_v23_and_v24(self):
        for version in (3, 4):
            path = self.path("m%d.mp3" % version)
            t = id3.ID3()
            t.add(id3.TIT2(encoding=1, text=TITLES["cjk"]))
            t.add(id3.TPE1(encoding=3, text=[TITLES["cyrillic"], TITLES["greek"]]))
            t.add(id3.TALB(encoding=0, text="Caf\u00e9"))
            t.add(id3.TRCK(encoding=0, text="7/9"))
            t.add(id3.TCON(encoding=0, text="(17)Rock" if version == 3 else "Rock"))
            t.add(id3.COMM(encoding=1, lang="eng", desc="", text="multi\nline"))
            t.add(id3.USLT(encoding=3, lang="ita", desc="testo", text="uno\ndue"))
            t.add(id3.TXXX(encoding=1, desc="MOOD2", text=["a", "b"]))
            t.add(id3.WXXX(encoding=0, desc="Shop", url="http://shop.example/"))
            t.add(id3.APIC(encoding=1, mime="image/png", type=3, desc="Front \u00e9", data=png_bytes(5000)))
            t.save(path, v2_version=version)
            # Version 2.3 has no list separator: mutagen joins the values with "/".
            sep = "/" if version == 3 else "\r\n"
            doc = self.check(path, {
                "TITLE": TITLES["cjk"], "ARTIST": TITLES["cyrillic"] + sep + TITLES["greek"],
                "ALBUM": "Caf\u00e9", "TRACKNUMBER": "7", "TOTALTRACKS": "9", "GENRE": "Rock",
                "COMMENT": "multi\nline", "LYRICS": "uno\ndue", "MOOD2": "a" + sep + "b", "Shop": "http://shop.example/"})
            self.assertEqual(entry(doc, "LYRICS")["language"], "ita")
            self.assertEqual(entry(doc, "LYRICS")["description"], "testo")
            pic = doc["pictures"][0]
            self.assertEqual((pic["mime"], pic["type"], pic["description"], pic["size"]),
                             ("image/png", 3, "Front \u00e9", 5000))

    def test_eyed3(self):
        import eyed3
        import logging
        logging.getLogger("eyed3").setLevel(logging.ERROR)
        for version in ((2, 3, 0), (2, 4, 0)):
            path = self.path("e%d.mp3" % version[1])
            f = eyed3.load(path)
            f.initTag(version=version)
            f.tag.title = TITLES["emoji"]
            f.tag.artist = TITLES["greek"]
            f.tag.album = "Album"
            f.tag.track_num = (4, 10)
            f.tag.comments.set("eyed3 comment\nline 2", description="", lang=b"eng")
            f.tag.lyrics.set("la la\nla", description="", lang=b"eng")
            f.tag.images.set(3, png_bytes(3000), "image/png", "cover")
            f.tag.save(version=version)
            doc = self.check(path, {"TITLE": TITLES["emoji"], "ARTIST": TITLES["greek"], "ALBUM": "Album",
                                    "TRACKNUMBER": "04", "TOTALTRACKS": "10", "COMMENT": "eyed3 comment\nline 2",
                                    "LYRICS": "la la\nla"})
            self.assertEqual(doc["pictures"][0]["size"], 3000)

    def test_id3v2_tool(self):
        path = self.path("t.mp3")
        subprocess.run(["id3v2", "-2", "-t", "Tool title", "-a", "Tool artist", "-A", "Tool album", "-T", "2/5",
                        "-c", "desc:tool comment:eng", path], check=True, capture_output=True)
        self.check(path, {"TITLE": "Tool title", "ARTIST": "Tool artist", "ALBUM": "Tool album",
                          "TRACKNUMBER": "2", "COMMENT": "tool comment"})

    def test_unsynchronised_23_and_24(self):
        body = b"\x00Sync\xff\xe0test"          # a false sync inside the text
        pic = b"\x00image/jpeg\x00\x03\x00" + b"\xff\xd8\xff\xe0" + bytes(range(256)) * 4 + b"\xff"
        frames = (b"TIT2" + struct.pack(">I", len(body)) + b"\0\0" + body +
                  b"APIC" + struct.pack(">I", len(pic)) + b"\0\0" + pic)
        data = unsync(frames)
        path = os.path.join(self.dir, "u23.mp3")
        with open(path, "wb") as f:
            f.write(b"ID3\x03\x00\x80" + syncsafe(len(data)) + data + mpeg_frames(5))
        self.assertEqual(str(id3.ID3(path)["TIT2"]), "Sync\xff\xe0test")   # the fixture is what mutagen expects
        doc = self.check(path, {"TITLE": "Sync\u00ff\u00e0test"})
        self.assertEqual(doc["pictures"][0]["size"], len(pic) - 14)

        # 2.4: per frame, flagged, sizes count the stored bytes.
        b4 = unsync(body)
        p4 = unsync(pic)
        frames4 = (b"TIT2" + syncsafe(len(b4)) + b"\x00\x02" + b4 + b"APIC" + syncsafe(len(p4)) + b"\x00\x02" + p4)
        path4 = os.path.join(self.dir, "u24.mp3")
        with open(path4, "wb") as f:
            f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames4)) + frames4 + mpeg_frames(5))
        self.assertEqual(str(id3.ID3(path4)["TIT2"]), "Sync\xff\xe0test")
        doc = self.check(path4, {"TITLE": "Sync\u00ff\u00e0test"})
        self.assertEqual(doc["pictures"][0]["size"], len(pic) - 14)

        # Saving writes the tag without unsynchronisation; mutagen still agrees.
        p = tool("write", path, "--tag", "id3v2", "--set", "ALBUM=x")
        self.assertEqual(p.returncode, 0, p.stderr)
        t = id3.ID3(path)
        self.assertEqual(str(t["TIT2"]), "Sync\xff\xe0test")
        self.assertEqual(len(t.getall("APIC")[0].data), len(pic) - 14)

    def test_peer_files_agree_with_mutagen(self):
        """Titles, artists and albums of every ID3v2 peer file, as mutagen reads them."""
        names = {"TIT2": "TITLE", "TPE1": "ARTIST", "TALB": "ALBUM"}
        checked = 0
        for root, _, files in os.walk(PEERS):
            for name in sorted(files):
                if not name.lower().endswith((".mp3", ".id3", ".wav", ".aif", ".aiff", ".dsf")):
                    continue
                path = os.path.join(root, name)
                try:
                    theirs = id3.ID3(path) if not name.lower().endswith((".wav", ".aif", ".aiff", ".dsf")) else \
                        __import__("mutagen").File(path).tags
                except Exception:
                    continue
                if not theirs:
                    continue
                doc = read_entries(path)
                if "WAV" in doc["loaded"]:
                    continue   # RIFF INFO values come first in the merged view
                for fid, uname in names.items():
                    if fid not in theirs:
                        continue
                    want = "\r\n".join(x.strip() for x in theirs[fid].text if x.strip()).strip()
                    # Two frames of one ID give two entries; mutagen merges them.
                    ours = "\r\n".join(e["value"] for e in doc["entries"] if e["name"] == uname)
                    self.assertEqual(ours, want, (path, uname))
                    checked += 1
        self.assertGreater(checked, 10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
