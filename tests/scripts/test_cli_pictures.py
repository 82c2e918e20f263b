#!/usr/bin/python3
"""veltrano-tags write --picture / --delete-picture and the pictures command,
checked with mutagen as the independent reader.

Pictures of several types added to MP3, FLAC, MP4 and Ogg Vorbis files are
what mutagen reads back, with their types where the format keeps one (an
MP4 covr item has none); --delete-picture removes only its type;
`pictures --extract` writes each picture's exact bytes; bad arguments are
refused and leave the file as it was.
"""
import json
import os
import struct
import subprocess
import unittest
import zlib

import testlib


def png(width, height, seed):
    raw = b"".join(b"\0" + bytes((x * seed + y) & 0xFF for x in range(width * 3)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def jpeg(width, height):
    """The head of a baseline JPEG: SOI, JFIF APP0, SOF0 with the size, EOI."""
    app0 = b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0"
    sof = struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00"
    return (b"\xff\xd8" + b"\xff\xe0" + struct.pack(">H", len(app0) + 2) + app0 +
            b"\xff\xc0" + struct.pack(">H", len(sof) + 2) + sof + b"\xff\xd9")


def make_audio(path):
    ext = os.path.splitext(path)[1]
    codec = {".mp3": ["-c:a", "libmp3lame"], ".flac": ["-c:a", "flac"], ".m4a": ["-c:a", "aac"],
             ".ogg": ["-c:a", "libvorbis"]}[ext]
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5",
                    *codec, path], check=True)


def mutagen_pictures(path):
    """(type, description, mime, data) of every picture, as mutagen reads it."""
    import base64
    import mutagen
    from mutagen.flac import Picture
    f = mutagen.File(path)
    ext = os.path.splitext(path)[1]
    if ext == ".mp3":
        return [(int(p.type), p.desc, p.mime, p.data) for p in f.tags.getall("APIC")]
    if ext == ".flac":
        return [(p.type, p.desc, p.mime, p.data) for p in f.pictures]
    if ext == ".m4a":
        from mutagen.mp4 import MP4Cover
        mimes = {MP4Cover.FORMAT_JPEG: "image/jpeg", MP4Cover.FORMAT_PNG: "image/png"}
        return [(None, "", mimes.get(c.imageformat, "?"), bytes(c)) for c in (f.tags or {}).get("covr", [])]
    out = []
    for b64 in (f.tags or {}).get("metadata_block_picture", []):
        p = Picture(base64.b64decode(b64))
        out.append((p.type, p.desc, p.mime, p.data))
    return out


class PicturesOnTheCommandLine(testlib.ToolCase, unittest.TestCase):
    prefix = "veltrano_pictures_"

    def setUp(self):
        testlib.require_tool("ffmpeg")
        try:
            import mutagen  # noqa: F401
        except ImportError:
            raise unittest.SkipTest("mutagen not installed")
        super().setUp()
        self.front = self.path("front.png", png(40, 30, 3))
        self.back = self.path("back.jpg", jpeg(64, 48))
        self.artist = self.path("artist:photo.png", png(10, 12, 7))   # a colon in the name

    def pictures(self, path, *args):
        r = self.tool("pictures", path, *args)
        self.assertEqual(r.returncode, 0, r.stderr)
        return [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]

    def test_every_format_keeps_the_pictures_with_their_types(self):
        for ext in (".mp3", ".flac", ".m4a", ".ogg"):
            with self.subTest(ext=ext):
                song = self.path("song" + ext)
                make_audio(song)
                r = self.tool("write", song, "--picture", "front=" + self.front, "--picture", "back=%s:Back side" % self.back,
                              "--picture", "8=" + self.artist, "--set", "TITLE=Pictured")
                self.assertEqual(r.returncode, 0, r.stderr)
                # ID3v2 tells pictures apart by their descriptions: the
                # writer makes two empty ones differ by a space.
                got = [(t, d.strip(), m, b) for t, d, m, b in mutagen_pictures(song)]
                want = [(3, "", "image/png", testlib.read_bytes(self.front)),
                        (4, "Back side", "image/jpeg", testlib.read_bytes(self.back)),
                        (8, "", "image/png", testlib.read_bytes(self.artist))]
                if ext == ".m4a":   # a covr item keeps bytes and format, no type or description
                    want = [(None, "", m, d) for _, _, m, d in want]
                self.assertEqual(got, want)
                listed = self.pictures(song)
                self.assertEqual([(p["index"], p["type_name"], p["bytes"], p["width"], p["height"]) for p in listed],
                                 [(0, "front", len(want[0][3]), 40, 30), (1, "front" if ext == ".m4a" else "back",
                                  len(want[1][3]), 64, 48), (2, "front" if ext == ".m4a" else "artist", len(want[2][3]), 10, 12)])

                if ext == ".m4a":
                    continue
                # --delete-picture takes only its type away; the title stays.
                r = self.tool("write", song, "--delete-picture", "back")
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual([(t, d.strip()) for t, d, _, _ in mutagen_pictures(song)], [(3, ""), (8, "")])
                # --picture of a type the file has replaces that picture in its place.
                r = self.tool("write", song, "--picture", "front=" + self.back)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual([(t, m, d) for t, _, m, d in mutagen_pictures(song)],
                                 [(3, "image/jpeg", testlib.read_bytes(self.back)),
                                  (8, "image/png", testlib.read_bytes(self.artist))])

    def test_extract_writes_the_exact_bytes(self):
        song = self.path("song.mp3")
        make_audio(song)
        r = self.tool("write", song, "--picture", "front=" + self.front, "--picture", "back=" + self.back)
        self.assertEqual(r.returncode, 0, r.stderr)
        out = os.path.join(self.dir, "out")
        listed = self.pictures(song, "--extract", out)
        self.assertEqual(sorted(os.listdir(out)), ["01-front.png", "02-back.jpg"])
        self.assertEqual([p["file"] for p in listed], [os.path.join(out, "01-front.png"), os.path.join(out, "02-back.jpg")])
        self.assertEqual(testlib.read_bytes(os.path.join(out, "01-front.png")), testlib.read_bytes(self.front))
        self.assertEqual(testlib.read_bytes(os.path.join(out, "02-back.jpg")), testlib.read_bytes(self.back))
        self.assertEqual(listed[1]["mime"], "image/jpeg")
        self.assertEqual(self.pictures(self.front), [])   # no audio, no pictures

    def test_bad_arguments_are_refused_and_change_nothing(self):
        song = self.path("song.mp3")
        make_audio(song)
        before = testlib.read_bytes(song)
        for args in (["--picture", "cover=" + self.front],      # no such type
                     ["--picture", "21=" + self.front],
                     ["--picture", "front"],                     # no picture
                     ["--picture", "front=" + self.path("missing.png")],
                     ["--picture", "front=" + song],             # no picture format
                     ["--delete-picture", "sideways"],
                     ["--delete-picture"]):
            with self.subTest(args=args):
                r = self.tool("write", song, *args)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertTrue(r.stderr.startswith(b"veltrano-tags: "), r.stderr)
                self.assertEqual(testlib.read_bytes(song), before)
        self.assertEqual(self.tool("pictures", self.path("missing.mp3")).returncode, 2)
        self.assertEqual(self.tool("pictures", song, "--extract").returncode, 2)


if __name__ == "__main__":
    unittest.main()
