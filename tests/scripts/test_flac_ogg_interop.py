#!/usr/bin/python3
"""FLAC, Ogg Vorbis, Opus and Ogg FLAC against independent writers, readers
and checkers.

What veltrano-tags writes must read back in mutagen (non-ASCII, multi-line,
repeated names, a 200 KB picture over many pages); what mutagen, metaflac
and vorbiscomment write must read back in veltrano-tags. After every save
`flac -t` passes on FLAC, `oggz-validate` on Ogg, the decoded audio is the
same, other metadata blocks and an ID3v2 tag in front survive, and no
temporary file stays behind.
"""
import base64
import json
import os
import shutil
import stat
import struct
import tempfile
import unittest

import mutagen
from mutagen.flac import Picture
from mutagen.oggvorbis import OggVorbis

from testlib import TOOL, run

KINDS = ("flac", "ogg", "opus", "oga")


def audio_md5(path):
    """The decoded audio's MD5; for a file ffmpeg cannot decode to its end
    (the damaged peer samples), what it decodes before giving up."""
    return run("ffmpeg", "-v", "quiet", "-i", path, "-map", "0:a?", "-f", "md5", "-", check=False).stdout.strip()


def ours(path):
    return json.loads(run(TOOL, "read", path).stdout)


def entries(d, name):
    return [e["value"] for e in d["entries"] if e["name"].upper() == name]


def write(path, *args):
    return run(TOOL, "write", path, *args, check=False)


def png(size):
    body = bytes((i * 131 + (i >> 8)) & 0xFF for i in range(size))
    return b"\x89PNG\r\n\x1a\n" + body


# --- Ogg pages, to build the files that hit the lacing rules -------------------------

def crc(page):
    c = 0
    for i, b in enumerate(page):
        if 22 <= i < 26:
            b = 0
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if c & 0x80000000 else (c << 1) & 0xFFFFFFFF
    return c


def ogg_pages(data):
    pos, out = 0, []
    while pos + 27 <= len(data) and data[pos:pos + 4] == b"OggS":
        n = data[pos + 26]
        lacing = data[pos + 27:pos + 27 + n]
        size = 27 + n + sum(lacing)
        out.append((pos, data[pos:pos + size]))
        pos += size
    return out


def ogg_page(flags, granule, serial, seq, lacing, body):
    head = b"OggS\0" + bytes([flags]) + struct.pack("<qII", granule, serial, seq) + b"\0\0\0\0"
    page = bytearray(head + bytes([len(lacing)]) + bytes(lacing) + body)
    page[22:26] = struct.pack("<I", crc(page))
    return bytes(page)


def header_packets(data, count):
    packets, cur = [], b""
    for _, page in ogg_pages(data):
        n = page[26]
        lacing, body = page[27:27 + n], page[27 + n:]
        at = 0
        for v in lacing:
            cur += body[at:at + v]
            at += v
            if v < 255:
                packets.append(cur)
                cur = b""
                if len(packets) == count:
                    return packets
    return packets


def lacing_of(length):
    return [255] * (length // 255) + [length % 255]


class FlacOggInterop(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="veltrano-flacogg-")
        wav = os.path.join(cls.tmp, "in.wav")
        run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-ac", "2",
            "-ar", "44100", "-c:a", "pcm_s16le", wav)
        cls.src = {
            "flac": os.path.join(cls.tmp, "src.flac"), "ogg": os.path.join(cls.tmp, "src.ogg"),
            "opus": os.path.join(cls.tmp, "src.opus"), "oga": os.path.join(cls.tmp, "src.oga"),
        }
        run("flac", "-s", "-f", "--padding=512", "-T", "TITLE=Orig", "-o", cls.src["flac"], wav)
        run("oggenc", "-Q", "-t", "Orig", "-o", cls.src["ogg"], wav)
        run("opusenc", "--quiet", "--title", "Orig", wav, cls.src["opus"])
        run("flac", "-s", "-f", "--ogg", "-T", "TITLE=Orig", "-o", cls.src["oga"], wav)
        cls.cover = os.path.join(cls.tmp, "cover.png")
        with open(cls.cover, "wb") as f:
            f.write(png(200 * 1024))
        cls.md5 = {k: audio_md5(p) for k, p in cls.src.items()}
        assert all(cls.md5.values()), "ffmpeg decodes none of the encoded files"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def copy(self, kind, name=None):
        path = os.path.join(self.tmp, (name or "w") + "." + kind)
        shutil.copyfile(self.src[kind], path)
        return path

    def assertSound(self, path, kind):
        if kind == "flac":
            self.assertEqual(run("flac", "-t", "-s", path, check=False).returncode, 0, path)
        else:
            r = run("oggz-validate", path, check=False)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            if kind == "oga":
                self.assertEqual(run("flac", "-t", "-s", path, check=False).returncode, 0, path)
        self.assertEqual(audio_md5(path), self.md5[kind], path)
        leftovers = [n for n in os.listdir(os.path.dirname(path)) if "~" in n or n.endswith(".tmp")]
        self.assertEqual(leftovers, [])

    def test_we_write_mutagen_reads(self):
        for kind in KINDS:
            with self.subTest(kind=kind):
                path = self.copy(kind)
                r = write(path, "--set", "TITLE=Grüße – 日本語", "--set", "COMMENT=line one\\nline two",
                          "--set", "ALBUM=Ålbum", "--set", "TRACKNUMBER=3", "--cover", self.cover)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                self.assertSound(path, kind)
                m = mutagen.File(path)
                self.assertEqual(m.tags["title"], ["Grüße – 日本語"])
                self.assertEqual(m.tags["comment"], ["line one\r\nline two"])
                self.assertEqual(m.tags["album"], ["Ålbum"])
                if kind == "oga":
                    # mutagen does not read the PICTURE blocks of Ogg FLAC: ours must.
                    d = ours(path)
                    self.assertEqual([(p["type"], p["mime"], p["size"]) for p in d["pictures"]],
                                     [(3, "image/png", os.path.getsize(self.cover))])
                    pics = []
                elif kind == "flac":
                    pics = m.pictures
                else:
                    pics = [Picture(base64.b64decode(v)) for v in m.tags.get("metadata_block_picture", [])]
                self.assertEqual(len(pics), 0 if kind == "oga" else 1)
                for pic in pics:
                    self.assertEqual(pic.type, 3)
                    self.assertEqual(pic.mime, "image/png")
                    with open(self.cover, "rb") as f:
                        self.assertEqual(pic.data, f.read())
                # A title-only save keeps the picture and everything else.
                before = mutagen.File(path).tags
                self.assertEqual(write(path, "--set", "TITLE=Second").returncode, 0)
                self.assertSound(path, kind)
                after = mutagen.File(path).tags
                self.assertEqual(after["title"], ["Second"])
                for key in ("comment", "album", "tracknumber"):
                    self.assertEqual(after[key], before[key], key)
                self.assertEqual(after.get("metadata_block_picture"), before.get("metadata_block_picture"))
                rec = json.loads(run(TOOL, "record", path).stdout)
                self.assertGreater(rec["CoverSize"], 0)
                self.assertEqual(rec["DurationSec"], 2)   # the Ogg play time is on in the tag service

    def test_mutagen_writes_we_read(self):
        # mutagen keeps Ogg FLAC pictures as METADATA_BLOCK_PICTURE comments,
        # which the FLAC side reads as text: Ogg FLAC is left out here.
        for kind in ("flac", "ogg", "opus"):
            with self.subTest(kind=kind):
                path = self.copy(kind, "m")
                m = mutagen.File(path)
                m.tags["ARTIST"] = ["First", "Second"]
                m.tags["TITLE"] = ["Ünïcödé ☃"]
                m.tags["LYRICS"] = ["a\nb"]
                pic = Picture()
                pic.type, pic.mime, pic.desc, pic.data = 4, "image/png", "back", png(3000)
                if kind in ("flac",):
                    m.add_picture(pic)
                else:
                    m.tags["METADATA_BLOCK_PICTURE"] = [base64.b64encode(pic.write()).decode()]
                m.save()
                d = ours(path)
                self.assertEqual(entries(d, "ARTIST"), ["First", "Second"])
                self.assertEqual(entries(d, "TITLE"), ["Ünïcödé ☃"])
                self.assertEqual(entries(d, "LYRICS"), ["a\nb"])
                self.assertEqual([(p["type"], p["mime"], p["description"]) for p in d["pictures"]],
                                 [(4, "image/png", "back")])
                # Our save of a new title keeps the repeated names in order and the picture's type.
                self.assertEqual(write(path, "--set", "TITLE=T").returncode, 0)
                self.assertSound(path, kind)
                m = mutagen.File(path)
                self.assertEqual(m.tags["artist"], ["First", "Second"])
                pics = list(getattr(m, "pictures", [])) or \
                    [Picture(base64.b64decode(v)) for v in m.tags.get("metadata_block_picture", [])]
                self.assertEqual([(p.type, p.desc) for p in pics], [(4, "back")])

    def test_metaflac_and_vorbiscomment_write_we_read(self):
        path = self.copy("flac", "mf")
        run("metaflac", "--remove-all-tags", "--set-tag=TITLE=Métaflac", "--set-tag=ARTIST=A",
            "--set-tag=ARTIST=B", "--import-picture-from=3|image/png|front|16x16x24|" + self.cover, path)
        d = ours(path)
        self.assertEqual(entries(d, "TITLE"), ["Métaflac"])
        self.assertEqual(entries(d, "ARTIST"), ["A", "B"])
        self.assertEqual(len(d["pictures"]), 1)
        self.assertEqual(d["pictures"][0]["type"], 3)
        path = self.copy("ogg", "vc")
        run("vorbiscomment", "-w", "-t", "TITLE=Vörbiscomment", "-t", "GENRE=Jazz", path)
        d = ours(path)
        self.assertEqual(entries(d, "TITLE"), ["Vörbiscomment"])
        self.assertEqual(entries(d, "GENRE"), ["Jazz"])

    def test_flac_blocks_prefix_and_read_only(self):
        path = self.copy("flac", "blocks")
        cue = os.path.join(self.tmp, "cue.txt")
        with open(cue, "w") as f:
            f.write('FILE "x.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n')
        run("metaflac", "--add-seekpoint=1s", "--import-cuesheet-from=" + cue, "--set-tag=TITLE=x", path)
        id3 = b"ID3\x04\x00\x00\x00\x00\x00\x15" + b"TIT2\x00\x00\x00\x0b\x00\x00\x03id3 title!"
        with open(path, "rb") as f:
            raw = f.read()
        # An APPLICATION block right after STREAMINFO (metaflac cannot add one).
        app = b"TEST" + b"application data"
        raw = raw[:42] + bytes([2]) + len(app).to_bytes(3, "big") + app + raw[42:]
        with open(path, "wb") as f:
            f.write(id3 + raw)
        blocks_before = self.blocks(raw)
        self.assertEqual(write(path, "--tag", "flac", "--set", "TITLE=" + "long " * 400).returncode, 0)
        with open(path, "rb") as f:
            after = f.read()
        self.assertEqual(after[:len(id3)], id3)
        for btype in (2, 3, 5):
            self.assertEqual([b for t, b in self.blocks(after[len(id3):]) if t == btype],
                             [b for t, b in blocks_before if t == btype])
        with open(os.path.join(self.tmp, "check.flac"), "wb") as f:
            f.write(after[len(id3):])
        self.assertEqual(run("flac", "-t", "-s", os.path.join(self.tmp, "check.flac"), check=False).returncode, 0)
        # Read-only: refused, nothing changes.
        os.chmod(path, stat.S_IRUSR | stat.S_IRGRP)
        self.assertNotEqual(write(path, "--tag", "flac", "--set", "TITLE=no").returncode, 0)
        with open(path, "rb") as f:
            self.assertEqual(f.read(), after)
        os.chmod(path, stat.S_IRUSR | stat.S_IWUSR)

    @staticmethod
    def blocks(data):
        assert data[:4] == b"fLaC"
        pos, out = 4, []
        while True:
            h = data[pos]
            n = int.from_bytes(data[pos + 1:pos + 4], "big")
            out.append((h & 0x7F, data[pos + 4:pos + 4 + n]))
            pos += 4 + n
            if h & 0x80:
                return out

    def test_title_change_on_padded_flac_writes_in_place(self):
        path = self.copy("flac", "inplace")
        size = os.path.getsize(path)
        ino = os.stat(path).st_ino
        self.assertEqual(write(path, "--set", "TITLE=Changed").returncode, 0)
        self.assertEqual(os.path.getsize(path), size)
        self.assertEqual(os.stat(path).st_ino, ino)
        self.assertSound(path, "flac")
        # Only the title changed, as an independent reader sees it.
        tool = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "tools", "tag-diff")
        changes = json.loads(run(tool, self.src["flac"], path, "--json", check=False).stdout)
        self.assertEqual(changes["removed"], {})
        self.assertEqual(changes["pictures"], [])
        self.assertEqual(set(changes["added"]) | set(changes["changed"]), {"title"})

    def test_vorbis_setup_of_255_multiple_keeps_closing_lacing(self):
        """A setup header whose length is a multiple of 255 and that ends the
        page it shares with the comment header needs a closing 0 lacing
        value; the file must still decode after a save."""
        with open(self.src["ogg"], "rb") as f:
            data = f.read()
        ident, comment, setup = header_packets(data, 3)
        # Decoders ignore bytes behind the setup header's framing bit: pad it to 255 * k.
        setup += b"\0" * ((-len(setup)) % 255)
        self.assertEqual(len(setup) % 255, 0)
        pages = ogg_pages(data)
        serial = struct.unpack("<I", pages[0][1][14:18])[0]
        header_end = 0
        got = 0
        for pos, page in pages:
            n = page[26]
            got += sum(1 for v in page[27:27 + n] if v < 255)
            if got >= 3:
                header_end = pos + len(page)
                break
        lacing = lacing_of(len(comment)) + lacing_of(len(setup))
        self.assertLessEqual(len(lacing), 255)
        rebuilt = pages[0][1] + ogg_page(0, 0, serial, 1, lacing, comment + setup)
        audio = data[header_end:]
        # Audio pages keep their numbers: the header still takes two pages.
        path = os.path.join(self.tmp, "lacing.ogg")
        with open(path, "wb") as f:
            f.write(rebuilt + audio)
        self.assertEqual(run("oggz-validate", path, check=False).returncode, 0)
        decoded = audio_md5(path)
        for title in ("x", "y" * 3000):
            self.assertEqual(write(path, "--set", "TITLE=" + title).returncode, 0)
            r = run("oggz-validate", path, check=False)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            self.assertEqual(audio_md5(path), decoded)
            with open(path, "rb") as f:
                self.assertEqual(header_packets(f.read(), 3)[2], setup)
            self.assertEqual(OggVorbis(path).tags["title"], [title])

    def test_trailing_bytes_and_multiplexed_page_survive(self):
        path = self.copy("opus", "trail")
        trailer = b"APETAGEX" + b"\0" * 24 + b"trailing bytes that are no page"
        with open(path, "ab") as f:
            f.write(trailer)
        self.assertEqual(write(path, "--set", "COMMENT=" + "c" * 70000).returncode, 0)
        with open(path, "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(trailer))
        self.assertEqual(audio_md5(path), self.md5["opus"])
        seqs = [struct.unpack("<I", p[18:22])[0] for _, p in ogg_pages(data)]
        self.assertEqual(seqs, list(range(len(seqs))))
        self.assertTrue(all(struct.unpack("<I", p[22:26])[0] == crc(p) for _, p in ogg_pages(data)))

    def test_peer_files_load_and_save_safely(self):
        """Every FLAC and Ogg file of other projects' test suites loads; a
        title save either succeeds with the audio unchanged or is refused
        with the file unchanged."""
        peers = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared", "corpus", "peers")
        if not os.path.isdir(peers):
            self.skipTest("no peer files")
        found = 0
        for dirpath, _, names in os.walk(peers):
            for name in sorted(names):
                if os.path.splitext(name)[1].lower() not in (".flac", ".ogg", ".oga", ".opus", ".oggflac", ".oggtheora"):
                    continue
                found += 1
                with self.subTest(peer=name):
                    path = os.path.join(self.tmp, "peer-" + name)
                    shutil.copyfile(os.path.join(dirpath, name), path)
                    os.chmod(path, stat.S_IRUSR | stat.S_IWUSR)
                    self.assertEqual(run(TOOL, "read", path, check=False).returncode, 0)
                    with open(path, "rb") as f:
                        before = f.read()
                    decoded = audio_md5(path)
                    if write(path, "--set", "TITLE=Peer").returncode != 0:
                        with open(path, "rb") as f:
                            self.assertEqual(f.read(), before)
                    else:
                        self.assertEqual(audio_md5(path), decoded)
                        self.assertEqual(entries(ours(path), "TITLE"), ["Peer"])
        self.assertGreater(found, 10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
