#!/usr/bin/python3
"""RIFF WAVE chunks against independent writers and readers.

What ffmpeg writes (INFO, bext) and what mutagen writes (an "id3 " chunk)
reads back through veltrano-tags; what veltrano-tags writes (INFO, bext)
reads back in ffprobe and exiftool; the decoded audio never changes; chunks
we do not know survive byte for byte; a walk of the chunks written here (a
few lines below, independent of the library) finds every chunk, even sizes
and the right RIFF size. Peer files and hostile sizes give a result, never a
crash.
"""
import glob
import json
import os
import shutil
import struct
import subprocess
import unittest

import testlib

import mutagen.wave
from mutagen.id3 import TIT2, TPE1

SRC = os.environ.get("VELTRANO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PEERS = os.path.join(SRC, "..", "shared", "corpus", "peers")


def chunk(cid, data):
    return cid + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def walk(data):
    """(id, data) of every chunk of the form; asserts sizes and padding."""
    assert data[:4] in (b"RIFF", b"RF64") and data[8:12] == b"WAVE"
    riff = struct.unpack("<I", data[4:8])[0]
    end, pos, out = 8 + riff, 12, []
    while pos + 8 <= end:
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        assert pos + 8 + size <= len(data), "chunk %r runs past the end" % cid
        out.append((cid, data[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    assert pos == end, "RIFF size %d, chunks end at %d" % (riff, pos)
    return out


def info_items(chunks):
    items = {}
    for cid, d in chunks:
        if cid == b"LIST" and d[:4] == b"INFO":
            pos = 4
            while pos + 8 <= len(d):
                iid, size = d[pos:pos + 4], struct.unpack("<I", d[pos + 4:pos + 8])[0]
                items[iid.decode("latin-1")] = d[pos + 8:pos + 8 + size]
                pos += 8 + size + (size & 1)
    return items


class WavInterop(testlib.ToolCase, unittest.TestCase):
    prefix = "wav_interop_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool("ffmpeg")

    def entries(self, p):
        d = self.read(p)
        out = {}
        for e in d["entries"]:
            out.setdefault(e["name"], e["value"])
        return out, d

    def ffmpeg_wav(self, name, *meta, bext=False):
        p = self.path(name)
        args = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=2",
                "-ar", "48000"]
        if bext:
            args += ["-write_bext", "1"]
        for m in meta:
            args += ["-metadata", m]
        subprocess.run(args + [p], check=True)
        return p

    def test_reads_ffmpeg_info_and_bext(self):
        p = self.ffmpeg_wav("ff.wav", "title=Tïtle", "artist=Artist", "album=Album", "track=3/12",
                            "genre=Rock", "comment=Note", "description=Bext desc", "originator=Me",
                            "time_reference=576000000000", bext=True)
        got, d = self.entries(p)
        self.assertEqual(got.get("TITLE"), "Tïtle")
        self.assertEqual(got.get("ARTIST"), "Artist")
        self.assertEqual(got.get("ALBUM"), "Album")
        # ffmpeg writes the track as IPRT, an item outside our name table.
        self.assertEqual(got.get("GENRE"), "Rock")
        self.assertEqual(got.get("BEXT Description"), "Bext desc")
        self.assertEqual(got.get("BEXT Originator"), "Me")
        self.assertEqual(got.get("BEXT TimeReference"), "576000000000")
        self.assertAlmostEqual(d["properties"]["playtime"], 2.0, places=3)
        self.assertEqual(d["properties"]["samplerate"], 48000)

    def test_reads_mutagen_id3_chunk(self):
        p = self.ffmpeg_wav("m.wav")
        w = mutagen.wave.WAVE(p)
        w.add_tags()
        w.tags.add(TIT2(encoding=3, text="From id3"))
        w.tags.add(TPE1(encoding=3, text="Mutagen"))
        w.save()
        got, _ = self.entries(p)
        self.assertEqual(got.get("TITLE"), "From id3")
        self.assertEqual(got.get("ARTIST"), "Mutagen")

    def test_written_chunks_read_by_ffprobe_and_exiftool(self):
        src = self.ffmpeg_wav("src.wav", "title=Old", "album=Keep")
        # A chunk nobody knows, odd-sized, after the audio.
        data = self.content(src)
        data = data + chunk(b"zzzz", b"private!x")
        data = data[:4] + struct.pack("<I", len(data) - 8) + data[8:]
        p = self.path("w.wav", data)
        before = testlib.decoded_md5(p)
        r = self.tool("write", p, "--set", "TITLE=Nëw odd", "--set", "ARTIST=Art", "--set", "COMMENT=Cmt",
                      "--set", "BEXT Description=Desc", "--set", "BEXT Originator=Orig",
                      "--set", "BEXT TimeReference=5000000000")
        self.assertEqual(r.returncode, 0, r.stderr)
        after = self.content(p)
        chunks = walk(after)
        ids = [c for c, _ in chunks]
        self.assertIn(b"zzzz", ids)
        self.assertEqual(dict(chunks)[b"zzzz"], b"private!x")
        self.assertEqual(testlib.decoded_md5(p), before)
        items = info_items(chunks)
        self.assertEqual(items["INAM"], "Nëw odd".encode("cp1252") + b"\0")
        self.assertEqual(items["IPRD"], b"Keep\0")

        probe = json.loads(subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format", p],
                                          capture_output=True, check=True).stdout)["format"]["tags"]
        # ffmpeg takes INFO text as UTF-8; ours is Windows-1252 where it fits.
        self.assertEqual(probe.get("title").replace("\ufffd", "ë"), "Nëw odd")
        self.assertEqual(probe.get("artist"), "Art")
        self.assertEqual(probe.get("album"), "Keep")
        self.assertEqual(probe.get("time_reference"), "5000000000")
        if shutil.which("exiftool"):
            ex = json.loads(subprocess.run(["exiftool", "-j", "-RIFF:all", p], capture_output=True,
                                           check=True).stdout)[0]
            self.assertEqual(ex.get("Title"), "Nëw odd")
            self.assertEqual(ex.get("Artist"), "Art")
            self.assertEqual(ex.get("Comment"), "Cmt")
            self.assertEqual(ex.get("Description"), "Desc")
            self.assertEqual(ex.get("Originator"), "Orig")
            self.assertEqual(str(ex.get("TimeReference")), "5000000000")

    def with_info_item(self, p, iid, text):
        """p with one more INFO item at the end of its INFO list (sizes mended)."""
        data = self.content(p)
        at = data.index(b"LIST")
        size = struct.unpack("<I", data[at + 4:at + 8])[0]
        item = chunk(iid, text + b"\0")
        body = data[at + 8:at + 8 + size] + item
        data = data[:at] + b"LIST" + struct.pack("<I", len(body)) + body + data[at + 8 + size:]
        data = data[:4] + struct.pack("<I", len(data) - 8) + data[8:]
        return self.path(os.path.basename(p), data)

    def test_record_edits_on_ffmpeg_info(self):
        """ffmpeg's INFO (ICRD date, IPRT track, ISFT): a year goes to ICRD (IYER follows where
        there is one), the track to IPRT, and values INFO has no item for into an id3 chunk
        beside it, holding only those; the audio never changes."""
        cover = self.path("c.png", testlib.png_bytes())
        rows = [
            # name, extra INFO item, record arguments, INFO items expected, ID3 frames expected, record check
            ("year replaces the date", None, ["--set", "Year=2011"],
             {"ICRD": b"2011\0", "IPRT": b"3/12\0"}, {}, {"Year": "2011"}),
            ("IYER follows the year", (b"IYER", b"2003"), ["--set", "Year=2011"],
             {"ICRD": b"2011\0", "IYER": b"2011\0"}, {}, {"Year": "2011"}),
            ("IPRT is the track", None, ["--set", "Track=5"], {"IPRT": b"5/12\0"}, {}, {"Track": "5"}),
            ("album artist, disc and original artist go to an id3 chunk", None,
             ["--set", "AlbumArtist=AA", "Disc=2", "OrigArtist=OA"], {"ICRD": b"2003-05-01\0"},
             {"TPE2": "AA", "TPOS": "2", "TOPE": "OA"}, {"AlbumArtist": "AA", "Disc": "2", "OrigArtist": "OA"}),
            ("a cover goes to an id3 chunk", None, ["--cover", cover], {"INAM": b"T\0"}, {"APIC": None}, {}),
        ]
        for name, extra, args, info, frames, shown in rows:
            with self.subTest(name):
                p = self.ffmpeg_wav("r.wav", "title=T", "date=2003-05-01", "track=3/12")
                if extra:
                    p = self.with_info_item(p, *extra)
                audio = self.audio_md5(p)
                r = self.tool("record", p, *args)
                self.assertEqual(r.returncode, 0, r.stderr)
                items = info_items(walk(self.content(p)))
                for iid, value in info.items():
                    self.assertEqual(items.get(iid), value, (iid, items))
                self.assertNotIn("ITRK", items)
                tags = mutagen.wave.WAVE(p).tags
                if frames:
                    self.assertEqual(sorted(k[:4] for k in tags.keys()), sorted(k[:4] for k in frames), tags.keys())
                    for k, v in frames.items():
                        if v is not None:
                            self.assertEqual(str(tags[k]), v)
                else:
                    self.assertIsNone(tags)
                got = json.loads(self.tool("record", p).stdout)
                for field, value in shown.items():
                    self.assertEqual(got[field], value)
                self.assertEqual(self.audio_md5(p), audio)

    @staticmethod
    def audio_md5(p):
        """The decoded audio's MD5 (a picture in the id3 chunk is a stream of its own to ffmpeg)."""
        return subprocess.run(["ffmpeg", "-v", "error", "-i", p, "-map", "0:a", "-f", "md5", "-"],
                              capture_output=True, check=True).stdout

    def test_same_year_keeps_the_full_date(self):
        p = self.ffmpeg_wav("d.wav", "date=2003-05-01")
        r = self.tool("write", p, "--set", "YEAR=2003", "--set", "TITLE=T")
        self.assertEqual(r.returncode, 0, r.stderr)
        items = info_items(walk(self.content(p)))
        self.assertEqual(items["ICRD"], b"2003-05-01\0")
        self.assertNotIn("IYER", items)

    def test_untagged_save_and_strip(self):
        p = self.ffmpeg_wav("plain.wav")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", p, "-map_metadata", "-1", "-fflags", "+bitexact",
                        self.path("bare.wav")], check=True)
        p = self.path("bare.wav")
        before = testlib.decoded_md5(p)
        r = self.tool("write", p, "--set", "TITLE=T")
        self.assertEqual(r.returncode, 0, r.stderr)
        walk(self.content(p))
        self.assertEqual(self.entries(p)[0].get("TITLE"), "T")
        r = self.tool("strip", p, "--tag", "wav")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn(b"INFO", self.content(p))
        self.assertEqual(testlib.decoded_md5(p), before)

    def test_hostile_sizes_and_peers(self):
        base = self.content(self.ffmpeg_wav("h.wav", "title=x"))
        fmt_at = base.index(b"fmt ")
        cases = {
            "riff0": base[:4] + b"\0\0\0\0" + base[8:],
            "chunk_ffffffff": base[:fmt_at + 4] + b"\xff\xff\xff\xff" + base[fmt_at + 8:],
            "truncated": base[:len(base) // 2],
            "zero_sized_list": base[:12] + chunk(b"LIST", b"") + base[12:],
        }
        for name, data in cases.items():
            p = self.path(name + ".wav", data)
            r = self.tool("read", p)
            self.assertEqual(r.returncode, 0, (name, r.stderr))
            w = self.tool("write", p, "--tag", "wav", "--set", "TITLE=y")
            self.assertGreaterEqual(w.returncode, 0)
        for f in glob.glob(os.path.join(PEERS, "*", "*.wav")):
            p = self.path("peer.wav", self.content(f))
            r = self.tool("read", p)
            self.assertEqual(r.returncode, 0, (f, r.stderr))
            w = self.tool("write", p, "--set", "TITLE=Peer")
            self.assertGreaterEqual(w.returncode, 0, f)


if __name__ == "__main__":
    unittest.main()
