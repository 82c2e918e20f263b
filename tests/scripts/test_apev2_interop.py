#!/usr/bin/python3
"""APE tags against an independent reader and writer (mutagen) and real encoders.

Tags mutagen writes must read back through veltrano-tags; tags veltrano-tags
writes must read back the same in mutagen. Files are MP3 (with and without a
Lyrics3 block and an ID3v1 tag behind the APE tag), WavPack (wavpack),
Musepack (mpcenc) and Monkey's Audio (a file from the peer corpus: there is
no encoder in the distribution). Binary picture items come back byte for
byte, the trailer order APE, Lyrics3, ID3v1 is kept, the decoders still
decode what was saved, stripping leaves no tag of any kind, and damaged
footers give a result code with the file unchanged.
"""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

import testlib

import mutagen
import mutagen.apev2
from mutagen.apev2 import APEv2, APEBinaryValue
from mutagen.id3 import ID3, TIT2

SOURCE = os.environ.get("VELTRANO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PEERS = os.path.join(SOURCE, "..", "shared", "corpus", "peers")
TAG_DIFF = os.path.join(SOURCE, "..", "shared", "tools", "tag-diff")

JPEG = bytes([0xFF, 0xD8, 0xFF, 0xE0]) + bytes(range(256)) * 8
PNG = bytes([0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A]) + bytes(range(255, -1, -1)) * 4


def mpeg_frames(count=20):
    frame = bytes([0xFF, 0xFB, 0x90, 0x64])
    return b"".join(frame + bytes((i * 31 + j) & 0xFF for j in range(413)) for i in range(count))


def v1_block(title=b"v1"):
    return b"TAG" + title[:30].ljust(30, b"\0") + bytes(94) + bytes([12])


def lyrics3(text=b"la la"):
    body = b"LYRICSBEGIN" + b"IND00002" + b"10" + b"LYR%05d" % len(text) + text
    return body + b"%06d" % len(body) + b"LYRICS200"


def ape_footer(size, count, version=2000, flags=0x80000000):
    return (b"APETAGEX" + version.to_bytes(4, "little") + size.to_bytes(4, "little")
            + count.to_bytes(4, "little") + flags.to_bytes(4, "little") + bytes(8))


class APEv2Interop(testlib.ToolCase, unittest.TestCase):
    prefix = "apev2_interop_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool()
        cls.source_dir = tempfile.mkdtemp(prefix="apev2_source_")
        cls.audio = mpeg_frames()
        cls.wav = os.path.join(cls.source_dir, "source.wav")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=330:sample_rate=44100:duration=1.5", "-ac", "2", cls.wav], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.source_dir, ignore_errors=True)

    def entries(self, p):
        out = {}
        for e in self.read(p)["entries"]:
            out.setdefault(e["name"].upper(), []).append(e["value"])
        return out

    def write(self, p, *sets, kind="auto", cover=None):
        args = ["write", p, "--tag", kind]
        for s in sets:
            args += ["--set", s]
        if cover:
            args += ["--cover", cover]
        r = self.tool(*args)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        return r

    # --- files of every kind ------------------------------------------------

    def wavpack(self, name):
        p = self.path(name)
        subprocess.run(["wavpack", "-q", "-y", self.wav, "-o", p], check=True, capture_output=True)
        return p

    def musepack(self, name):
        if not shutil.which("mpcenc"):
            self.skipTest("mpcenc not installed")
        p = self.path(name)
        subprocess.run(["mpcenc", "--silent", "--overwrite", self.wav, p], check=True, capture_output=True)
        return p

    def monkey(self, name):
        src = os.path.join(PEERS, "taglib", "mac-399.ape")
        if not os.path.exists(src):
            self.skipTest("peer corpus has no Monkey's Audio file")
        p = self.path(name)
        shutil.copyfile(src, p)
        return p

    def makers(self):
        yield "mp3", lambda: self.path("plain.mp3", self.audio), b""
        yield "mp3+lyrics3+id3v1", lambda: self.path("trail.mp3", self.audio), lyrics3() + v1_block()
        yield "wavpack", lambda: self.wavpack("a.wv"), b""
        yield "musepack", lambda: self.musepack("a.mpc"), b""
        yield "monkey", lambda: self.monkey("a.ape"), b""

    # --- mutagen writes, we read; we write, mutagen reads ---------------------

    def test_both_directions_on_every_kind(self):
        for kind, make, tail in self.makers():
            with self.subTest(kind):
                p = make()
                audio = self.content(p)
                tags = APEv2()
                tags["Title"] = "Café"
                tags["Artist"] = ["One", "Two"]
                tags["Track"] = "4/10"
                tags["Cover Art (Front)"] = APEBinaryValue(b"front\0" + JPEG)
                tags["Cover Art (Back)"] = APEBinaryValue(b"\0" + PNG)
                tags["Blob"] = APEBinaryValue(b"abc\0xyz\xFF\xD8\xFF")
                tags.save(p)
                if tail:
                    with open(p, "ab") as f:
                        f.write(tail)

                got = self.read(p)
                self.assertIn("APEv2", got["loaded"])
                e = self.entries(p)
                self.assertEqual(e["TITLE"], ["Café"])
                self.assertEqual(e["ARTIST"], ["One", "Two"])
                self.assertEqual(e["TRACKNUMBER"], ["4"])
                self.assertEqual(e["TOTALTRACKS"], ["10"])
                pics = {pic["name"]: pic for pic in got["pictures"]}
                self.assertEqual(pics["Cover Art (Front)"]["type"], 3)
                self.assertEqual(pics["Cover Art (Front)"]["size"], len(JPEG))
                self.assertEqual(pics["Cover Art (Back)"]["type"], 4)
                self.assertEqual(pics["Cover Art (Back)"]["mime"], "image/png")
                self.assertNotIn("Blob", pics)

                self.write(p, "TITLE=Neu ß", "ALBUM=Größte Hits", "TOTALTRACKS=12", kind="apev2")
                data = self.content(p)
                self.assertTrue(data.startswith(audio), "audio in front of the tag changed")
                if tail:
                    self.assertTrue(data.endswith(tail), "Lyrics3 / ID3v1 behind the tag changed")
                back = APEv2(p)
                self.assertEqual(str(back["Title"]), "Neu ß")
                self.assertEqual(list(back["Artist"]), ["One", "Two"])
                self.assertEqual(str(back["ALBUM"]), "Größte Hits")
                self.assertEqual(str(back["Track"]), "4/12")
                self.assertEqual(back["Cover Art (Front)"].value, b"front\0" + JPEG)
                self.assertEqual(back["Cover Art (Back)"].value, b"\0" + PNG)
                self.assertEqual(back["Blob"].value, b"abc\0xyz\xFF\xD8\xFF")
                # Keys are unique in what we wrote.
                keys = [k.lower() for k in back.keys()]
                self.assertEqual(len(keys), len(set(keys)))
                # A second save with the same values writes the same bytes.
                self.write(p, "TITLE=Neu ß", kind="apev2")
                self.assertEqual(self.content(p), data)

    def test_only_the_edited_item_changes(self):
        for kind, make, _ in self.makers():
            if kind.startswith("mp3"):
                continue   # tag-diff sees an MP3's ID3 tags, not its APE tag
            with self.subTest(kind):
                p = make()
                tags = APEv2()
                tags["Title"] = "T"
                tags["Album"] = "A"
                tags["Comment"] = "c"
                tags["Cover Art (Front)"] = APEBinaryValue(b"d\0" + JPEG)
                tags["Custom Thing"] = "x"
                tags.save(p)
                before = self.path("before-" + os.path.basename(p))
                shutil.copyfile(p, before)
                self.write(p, "ALBUM=B")
                diff = subprocess.run([TAG_DIFF, before, p, "--json"], capture_output=True, text=True)
                self.assertEqual(diff.returncode, 1, diff.stderr)
                d = json.loads(diff.stdout)
                self.assertEqual(d["added"], {})
                self.assertEqual(d["removed"], {})
                self.assertEqual(list(d["changed"]), ["Album"])
                self.assertEqual(d["pictures"], [])

    def test_our_new_tag_reads_in_mutagen(self):
        for kind, make, tail in self.makers():
            with self.subTest(kind):
                p = make()
                if tail:
                    with open(p, "ab") as f:
                        f.write(tail)
                audio = self.content(p)
                cover = self.path("cover.jpg", JPEG)
                self.write(p, "TITLE=Title", "ARTIST=A", "TRACKNUMBER=3", "DISCNUMBER=1", "TOTALDISCS=2",
                           "Some Key=v", kind="apev2", cover=cover)
                data = self.content(p)
                self.assertTrue(data.startswith(audio[:len(audio) - len(tail)]))
                if tail:
                    self.assertTrue(data.endswith(tail))
                tags = APEv2(p)
                self.assertEqual(str(tags["TITLE"]), "Title")
                self.assertEqual(str(tags["TRACK"]), "3")
                self.assertEqual(str(tags["DISCNUMBER"]), "1/2")
                self.assertEqual(str(tags["SOME KEY"]), "v")
                value = tags["Cover Art (Front)"].value
                self.assertEqual(value[value.index(b"\0") + 1:], JPEG)

    def test_decoders_decode_what_was_saved(self):
        cases = [("decode.wv", self.wavpack, ["wvunpack", "-q", "-v"])]
        if shutil.which("mpcdec"):
            cases.append(("decode.mpc", self.musepack, None))
        for name, make, verify in cases:
            with self.subTest(name):
                p = make(name)
                cover = self.path("cover.jpg", JPEG)
                self.write(p, "TITLE=x", "COMMENT=" + "long " * 500, kind="apev2", cover=cover)
                self.write(p, "TITLE=shorter", kind="apev2")
                if verify:
                    r = subprocess.run(verify + [p], capture_output=True)
                    self.assertEqual(r.returncode, 0, r.stderr)
                else:
                    out = self.path("out.wav")
                    r = subprocess.run(["mpcdec", p, out], capture_output=True)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertGreater(os.path.getsize(out), 100000)

    # --- removal --------------------------------------------------------------

    def test_strip_and_remove_leave_no_tag(self):
        for how in ("strip", "remove-apev2"):
            with self.subTest(how):
                p = self.path("all.mp3", self.audio)
                tags = APEv2()
                tags["Title"] = "ape"
                tags.save(p)
                id3 = ID3()
                id3.add(TIT2(encoding=3, text="v2"))
                id3.save(p, v1=2)
                got = self.read(p)
                self.assertEqual(sorted(got["loaded"]), ["APEv2", "ID3v1", "ID3v2"])
                if how == "strip":
                    r = self.tool("strip", p)
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                    self.assertEqual(self.content(p), self.audio)
                    self.assertIsNone(mutagen.File(p).tags)
                else:
                    r = self.tool("strip", p, "--tag", "apev2")
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                    with self.assertRaises(mutagen.apev2.APENoHeaderError):
                        APEv2(p)
                    self.assertEqual(str(ID3(p)["TIT2"]), "v2")

    def test_remove_looks_past_lyrics3(self):
        p = self.path("lyr.mp3", self.audio)
        tags = APEv2()
        tags["Title"] = "ape"
        tags.save(p)
        with open(p, "ab") as f:
            f.write(lyrics3() + v1_block())
        r = self.tool("strip", p, "--tag", "apev2")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(self.content(p), self.audio + lyrics3() + v1_block())

    # --- damaged input --------------------------------------------------------

    def test_hostile_footers_give_a_code_and_change_nothing(self):
        item = (1).to_bytes(4, "little") + bytes(4) + b"Title\0" + b"x"
        cases = {
            "huge count": item + ape_footer(32 + len(item), 0xFFFFFFFF),
            "size beyond file": item + ape_footer(0x7FFFFFF0, 1),
            "size below footer": ape_footer(8, 0),
        }
        for name, tail in cases.items():
            with self.subTest(name):
                p = self.path("hostile.ape", self.audio + tail + v1_block())
                before = self.content(p)
                self.assertEqual(self.tool("read", p).returncode, 0)
                r = self.tool("write", p, "--tag", "apev2", "--set", "TITLE=new")
                self.assertNotEqual(r.returncode, 0)
                self.assertEqual(self.content(p), before)
                r = self.tool("strip", p, "--tag", "apev2")
                self.assertNotEqual(r.returncode, 0)
                self.assertEqual(self.content(p), before)

    def test_read_only_flags_survive_a_save(self):
        # wvtag writes the tag; the read-only flag (bit 0) is set on the Title
        # item and on the tag, as taggers that protect items do.
        p = self.wavpack("ro.wv")
        subprocess.run(["wvtag", "-q", "-w", "Title=Locked", "-w", "Artist=Free", "-w", "Album=Kept", p],
                       check=True, capture_output=True)

        def items(data):
            foot = data.rfind(b"APETAGEX")
            size, count, flags = struct.unpack("<III", data[foot + 12:foot + 24])
            pos, out = foot + 32 - size, {}
            for _ in range(count):
                vlen, iflags = struct.unpack("<II", data[pos:pos + 8])
                end = data.index(b"\0", pos + 8)
                out[data[pos + 8:end].decode()] = (iflags, data[end + 1:end + 1 + vlen])
                pos = end + 1 + vlen
            return flags, foot, out

        data = bytearray(testlib.read_bytes(p))
        flags, foot, found = items(bytes(data))
        title = data.rfind(b"Title\0") - 4
        data[title] |= 1
        data[foot + 20] |= 1
        head = data.rfind(b"APETAGEX", 0, foot)
        if head >= 0:
            data[head + 20] |= 1
        testlib.write_bytes(p, bytes(data))
        self.write(p, "ARTIST=Edited")
        flags, foot, found = items(testlib.read_bytes(p))
        self.assertEqual(flags & 1, 1)
        self.assertEqual(found["Title"], (1, b"Locked"))
        self.assertEqual(found["Artist"], (0, b"Edited"))
        self.assertEqual(found["Album"], (0, b"Kept"))
        self.assertEqual(mutagen.apev2.APEv2(p)["Title"], "Locked")

    def test_peer_files_read_and_save(self):
        names = ["taglib/click.wv", "taglib/tagged.wv", "taglib/infloop.wv", "taglib/dsd_stereo.wv",
                 "mutagen/silence-44-s.wv", "taglib/click.mpc", "taglib/infloop.mpc", "taglib/segfault.mpc",
                 "picard/test-sv7.mpc", "taglib/longloop.ape", "taglib/mac-399-tagged.ape", "picard/test.ape",
                 "mutagen/145-invalid-item-count.apev2", "mutagen/oldtag.apev2"]
        damaged = {"taglib/infloop.wv", "taglib/infloop.mpc", "taglib/longloop.ape"}
        for name in names:
            src = os.path.join(PEERS, name)
            if not os.path.exists(src):
                continue
            with self.subTest(name):
                p = self.path("peer-" + os.path.basename(name))
                shutil.copyfile(src, p)
                r = self.tool("read", p)
                self.assertEqual(r.returncode, 0, r.stderr)
                try:
                    theirs = APEv2(p)
                except Exception:  # noqa: BLE001 - mutagen refuses some of these files
                    theirs = None
                before = self.content(p)
                r = self.tool("write", p, "--tag", "apev2", "--set", "TITLE=peer")
                after = self.content(p)
                if name in damaged:
                    # Their APE footers or items do not fit the file: refused, nothing written.
                    self.assertNotEqual(r.returncode, 0)
                    self.assertEqual(after, before, "a failed save changed the file")
                    continue
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                back = APEv2(p)
                self.assertEqual(str(back["TITLE"] if "TITLE" in back else back["Title"]), "peer")
                if theirs is not None:
                    for key in theirs.keys():
                        if key.lower() == "title":
                            continue
                        self.assertEqual(back[key].value, theirs[key].value, key)


if __name__ == "__main__":
    unittest.main()
