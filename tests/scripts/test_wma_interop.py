#!/usr/bin/python3
"""WMA attributes against independent writers and readers.

ffmpeg makes the files. What ffmpeg and mutagen write reads back through
veltrano-tags; what veltrano-tags writes (texts, numbers, pictures, one of
200 KB that must land in the Metadata Library) reads back in mutagen's ASF
reader and in ffprobe; the file decodes identically afterwards; play time,
bit rate and codec name agree with ffprobe; peer files and hostile sizes
give a result, never a crash.
"""
import glob
import json
import os
import struct
import subprocess
import unittest

import testlib

from mutagen.asf import ASF, ASFDWordAttribute, ASFQWordAttribute, ASFWordAttribute, ASFBoolAttribute

SRC = os.environ.get("VELTRANO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PEERS = os.path.join(SRC, "..", "shared", "corpus", "peers")
HEADER_GUID = bytes.fromhex("3026B2758E66CF11A6D900AA0062CE6C")
LIBRARY_GUID = bytes.fromhex("941C23449894D149A1411D134E457054")


def header_children(data):
    """(guid, bytes) of the header's top-level objects, and of the Header Extension's."""
    assert data[:16] == HEADER_GUID
    size = struct.unpack("<Q", data[16:24])[0]
    pos, out = 30, []
    while pos < size:
        g, n = data[pos:pos + 16], struct.unpack("<Q", data[pos + 16:pos + 24])[0]
        assert n >= 24 and pos + n <= size, "object size"
        out.append((g, data[pos:pos + n]))
        pos += n
    assert pos == size
    return size, out


class WmaInterop(testlib.ToolCase, unittest.TestCase):
    prefix = "wma_interop_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool("ffmpeg")

    def entries(self, p):
        out = {}
        for e in self.read(p)["entries"]:
            out.setdefault(e["name"], e["value"])
        return out

    def ffmpeg_wma(self, name, *meta):
        p = self.path(name)
        args = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-c:a", "wmav2"]
        for m in meta:
            args += ["-metadata", m]
        subprocess.run(args + [p], check=True)
        return p

    def test_reads_ffmpeg_and_header_values(self):
        p = self.ffmpeg_wma("ff.wma", "title=Tïtle", "artist=Artist", "album=Album", "genre=Rock", "custom_key=cv")
        got = self.entries(p)
        self.assertEqual(got.get("TITLE"), "Tïtle")
        self.assertEqual(got.get("ARTIST"), "Artist")
        self.assertEqual(got.get("ALBUM"), "Album")
        self.assertEqual(got.get("GENRE"), "Rock")
        self.assertEqual(got.get("custom_key"), "cv")
        props = self.read(p)["properties"]
        probe = json.loads(subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format",
                                           "-show_streams", p], capture_output=True, check=True).stdout)
        self.assertAlmostEqual(props["playtime"], float(probe["format"]["duration"]), places=2)
        self.assertEqual(props["bitrate"], round(int(probe["streams"][0]["bit_rate"]) / 1000))
        # Sample rate and channels come from the audio stream's properties.
        for rate, channels in ((44100, 2), (22050, 1)):
            q = self.path("s%d.wma" % rate)
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=1", "-ar", str(rate),
                            "-ac", str(channels), "-c:a", "wmav2", q], check=True)
            stream = json.loads(subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_streams", q],
                                               capture_output=True, check=True).stdout)["streams"][0]
            props = self.read(q)["properties"]
            self.assertEqual((props["samplerate"], props["channels"]), (int(stream["sample_rate"]), stream["channels"]))
            self.assertEqual((props["samplerate"], props["channels"]), (rate, channels))

    def test_reads_mutagen_values(self):
        p = self.ffmpeg_wma("m.wma")
        f = ASF(p)
        f["WM/AlbumTitle"] = ["Mutagen album"]
        f["WM/SharedUserRating"] = [ASFDWordAttribute(75)]
        f["WM/Track"] = [ASFDWordAttribute(4)]
        f["WM/Year"] = ["2011"]
        f["MyField"] = ["mine"]
        f["Counter"] = [ASFQWordAttribute(1 << 40)]
        f["Small"] = [ASFWordAttribute(7)]
        f["Flag"] = [ASFBoolAttribute(True)]
        f.save()
        got = self.entries(p)
        self.assertEqual(got.get("ALBUM"), "Mutagen album")
        self.assertEqual(got.get("RATING"), "75")
        self.assertEqual(got.get("TRACKNUMBER"), "5")
        self.assertEqual(got.get("YEAR"), "2011")
        self.assertEqual(got.get("MyField"), "mine")
        self.assertEqual(got.get("Counter"), str(1 << 40))
        self.assertEqual(got.get("Small"), "7")
        self.assertEqual(got.get("Flag"), "1")
        # A save of another field keeps every type.
        r = self.tool("write", p, "--set", "TITLE=New")
        self.assertEqual(r.returncode, 0, r.stderr)
        f = ASF(p)
        self.assertIsInstance(f["WM/SharedUserRating"][0], ASFDWordAttribute)
        self.assertEqual(f["WM/SharedUserRating"][0].value, 75)
        self.assertIsInstance(f["Counter"][0], ASFQWordAttribute)
        self.assertIsInstance(f["Small"][0], ASFWordAttribute)
        self.assertIsInstance(f["Flag"][0], ASFBoolAttribute)
        self.assertEqual(f["Title"][0].value, "New")
        self.assertEqual(len(f["WM/Year"]), 1)

    def test_written_attributes_and_pictures(self):
        p = self.ffmpeg_wma("w.wma", "title=Old")
        before = testlib.decoded_md5(p)
        big = self.path("big.png", b"\x89PNG\r\n\x1a\n" + bytes((i * 7) & 0xFF for i in range(200000)))
        r = self.tool("write", p, "--set", "TITLE=Nëw", "--set", "ARTIST=Art", "--set", "ALBUM=Alb",
                      "--set", "TRACKNUMBER=4", "--set", "TOTALTRACKS=9", "--set", "YEAR=2001",
                      "--set", "COMMENT=Cmt", "--set", "MyField=mine", "--cover", big)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(testlib.decoded_md5(p), before)
        f = ASF(p)
        self.assertEqual(f["Title"][0].value, "Nëw")
        self.assertEqual(f["Author"][0].value, "Art")
        self.assertEqual(f["WM/AlbumTitle"][0].value, "Alb")
        self.assertEqual(f["WM/TrackNumber"][0].value, "4/9")
        self.assertEqual(str(f["WM/Track"][0].value), "3")
        self.assertEqual([v.value for v in f["WM/Year"]], ["2001"])
        self.assertEqual(f["Description"][0].value, "Cmt")
        self.assertEqual(f["MyField"][0].value, "mine")
        pic = f["WM/Picture"][0].value
        self.assertEqual(pic[0], 3)
        n = struct.unpack("<I", pic[1:5])[0]
        self.assertEqual(n, os.path.getsize(big))
        self.assertEqual(pic[-n:], self.content(big))
        self.assertIn(b"image/png".decode().encode("utf-16-le"), pic[:60])
        # Over 64 KiB: in the Metadata Library, inside the Header Extension.
        size, children = header_children(self.content(p))
        self.assertIn(LIBRARY_GUID, self.content(p)[:size])
        probe = json.loads(subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format", p],
                                          capture_output=True, check=True).stdout)["format"]["tags"]
        self.assertEqual(probe.get("title"), "Nëw")
        self.assertEqual(probe.get("artist"), "Art")
        self.assertEqual(probe.get("album"), "Alb")
        # Back through our own reader.
        d = self.read(p)
        self.assertEqual(len(d["pictures"]), 1)
        got = self.entries(p)
        self.assertEqual(got.get("TRACKNUMBER"), "4")
        self.assertEqual(got.get("TOTALTRACKS"), "9")

    def test_in_place_save_rewrites_only_the_header(self):
        p = self.ffmpeg_wma("pad.wma", "title=A long enough title to shrink later")
        self.assertEqual(self.tool("write", p, "--set", "ALBUM=First").returncode, 0)
        size1, _ = header_children(self.content(p))
        tail1 = self.content(p)[size1:]
        self.assertEqual(self.tool("write", p, "--set", "ALBUM=Second", "--set", "TITLE=Short").returncode, 0)
        data = self.content(p)
        size2, children = header_children(data)
        self.assertEqual(size2, size1)
        self.assertEqual(data[size2:], tail1)
        f = ASF(p)
        self.assertEqual(f["WM/AlbumTitle"][0].value, "Second")

    def test_hostile_sizes_and_peers(self):
        base = self.content(self.ffmpeg_wma("h.wma", "title=x"))
        size = struct.unpack("<Q", base[16:24])[0]
        cases = {
            "header_size_0": base[:16] + struct.pack("<Q", 0) + base[24:],
            "header_size_max": base[:16] + struct.pack("<Q", 2 ** 64 - 1) + base[24:],
            "child_size_0": base[:46] + struct.pack("<Q", 0) + base[54:],
            "child_past_end": base[:46] + struct.pack("<Q", size * 4) + base[54:],
            "truncated": base[:size - 10],
        }
        for name, data in cases.items():
            p = self.path(name + ".wma", data)
            r = self.tool("read", p)
            self.assertEqual(r.returncode, 0, (name, r.stderr))
            self.tool("write", p, "--tag", "wma", "--set", "TITLE=y")
            self.assertEqual(self.content(p), data, name)
        for f in glob.glob(os.path.join(PEERS, "*", "*.wm[av]")) + glob.glob(os.path.join(PEERS, "*", "*.asf")):
            p = self.path("peer" + os.path.splitext(f)[1], self.content(f))
            before = ASF(p).tags
            self.assertEqual(self.read(p)["result"], 0, f)
            r = self.tool("write", p, "--set", "ALBUM=Peer")
            self.assertEqual(r.returncode, 0, (f, r.stderr))
            after = ASF(p).tags
            # Every value survives (empty Content Description fields are no values).
            self.assertEqual([x.value for x in after["WM/AlbumTitle"]], ["Peer"], f)
            for k, v in before.items():
                if k == "WM/AlbumTitle":
                    continue
                old = [x.value for x in v if x.value != ""]
                self.assertEqual([x.value for x in after.get(k, []) if x.value != ""], old, (f, k))


if __name__ == "__main__":
    unittest.main()
