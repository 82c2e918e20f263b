#!/usr/bin/python3
"""MP4 item lists against independent readers and writers.

Files made by ffmpeg (AAC and ALAC, with and without faststart, several
tracks, chapters) get every mapped item written by veltrano-tags and read
back by mutagen and AtomicParsley; files tagged by mutagen and AtomicParsley
are read by us. After every save the decoded audio (ffmpeg -f md5 of the
audio streams) is what it was, tracks and chapters are all there, and the
items we did not touch are as mutagen saw them. A co64 file of more than
4 GiB (sparse, built here) goes through the large-file path with its media
data moved. Every MP4 peer file of other projects' test suites loads.
"""
import glob
import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

import mutagen
from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm

import testlib
from testlib import PEERS, SRC, TOOL

TAG_DIFF = os.path.join(testlib.SHARED, "tools", "tag-diff")


def run(*args, timeout=300):
    return testlib.run(*args, check=False, timeout=timeout)


def tool(*args):
    return testlib.tool(*args, timeout=600)


def read(path):
    p = tool("read", path)
    assert p.returncode == 0, p.stderr
    return json.loads(p.stdout.splitlines()[0])


def entries(doc):
    out = {}
    for e in doc["entries"]:
        out.setdefault(e["name"].upper(), []).append(e["value"])
    return out


def audio_md5(path):
    p = run("ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "md5", "-")
    assert p.returncode == 0, p.stderr.decode()
    return p.stdout.decode().strip()


def atoms(data, start, end, path=""):
    """(path, offset, size) of every container atom down to stbl and udta children."""
    out = []
    p = start
    while p + 8 <= end:
        size, kind = struct.unpack(">I4s", data[p:p + 8])
        head = 8
        if size == 1:
            size = struct.unpack(">Q", data[p + 8:p + 16])[0]
            head = 16
        if size == 0:
            size = end - p
        name = path + "/" + kind.decode("latin-1")
        out.append((name, p, size, head))
        if kind in (b"moov", b"trak", b"mdia", b"minf", b"stbl", b"udta"):
            out += atoms(data, p + head, p + size, name)
        p += size
    return out


def bytes_of(data, kind_path):
    return [data[o:o + s] for n, o, s, h in atoms(data, 0, len(data)) if n == kind_path]


def ffmpeg_picture(suffix, w):
    """A w x w test picture that ffmpeg encodes in the format suffix names."""
    tmp = tempfile.mktemp(suffix=suffix)
    run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=%dx%d" % (w, w), "-frames:v", "1", tmp)
    with open(tmp, "rb") as f:
        data = f.read()
    os.remove(tmp)
    return data


def jpeg(w=64):
    return ffmpeg_picture(".jpg", w)


def png(w=32):
    return ffmpeg_picture(".png", w)


class Files:
    """ffmpeg-made files, built once."""
    dir = None

    @classmethod
    def make(cls):
        if cls.dir:
            return cls.dir
        cls.dir = tempfile.mkdtemp(prefix="mp4interop")
        d = cls.dir
        chapters = os.path.join(d, "chapters.txt")
        with open(chapters, "w") as f:
            f.write(";FFMETADATA1\ntitle=Book\n")
            for i in range(3):
                f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Chapter %d\n" % (i * 1000, i * 1000 + 1000, i + 1))
        sine = ["-f", "lavfi", "-i", "sine=frequency=440:duration=3"]
        sine2 = ["-f", "lavfi", "-i", "sine=frequency=660:duration=3"]
        jobs = {
            "aac.m4a": sine + ["-c:a", "aac"],
            "aac_fast.m4a": sine + ["-c:a", "aac", "-movflags", "+faststart"],
            "alac.m4a": sine + ["-c:a", "alac"],
            "alac_fast.m4a": sine + ["-c:a", "alac", "-movflags", "+faststart"],
            "two_tracks_fast.m4a": sine + sine2 + ["-map", "0", "-map", "1", "-c:a", "aac", "-movflags", "+faststart"],
            "chapters_fast.m4b": sine + ["-i", chapters, "-map_metadata", "1", "-map_chapters", "1", "-c:a", "aac",
                                         "-movflags", "+faststart", "-f", "mp4"],
        }
        for name, args in jobs.items():
            p = run("ffmpeg", "-v", "error", "-y", *args, os.path.join(d, name))
            assert p.returncode == 0, p.stderr.decode()
        return d


def copy(name, into):
    dst = os.path.join(into, name)
    shutil.copy(os.path.join(Files.make(), name), dst)
    return dst


SETS = [
    ("TITLE", "Title é"), ("ARTIST", "Artist"), ("ALBUMARTIST", "Album Artist"), ("ALBUM", "Album"),
    ("YEAR", "2001"), ("TRACKNUMBER", "3/12"), ("DISCNUMBER", "1/2"), ("GENRE", "Nu Jazz"),
    ("COMMENT", "Comment"), ("LYRICS", "Line one\r\nLine two"), ("COMPOSER", "Composer"),
    ("COPYRIGHT", "(c) 2001"), ("BPM", "128"), ("CONDUCTOR", "Karl"), ("PARTOFCOMPILATION", "1"),
    ("ITUNESALBUMID", "123456789012"),
]


@unittest.skipUnless(os.path.exists(TOOL), "veltrano-tags not built")
class WeWriteOthersRead(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write_all(self, path, cover):
        args = ["write", path]
        for k, v in SETS:
            args += ["--set", "%s=%s" % (k, v)]
        args += ["--cover", cover]
        p = tool(*args)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)

    def test_every_item_audio_tracks_and_chapters(self):
        cover = os.path.join(self.tmp, "c.jpg")
        with open(cover, "wb") as f:
            f.write(jpeg(200))
        for name in sorted(os.listdir(Files.make())):
            if not name.endswith((".m4a", ".m4b")):
                continue
            with self.subTest(file=name):
                path = copy(name, self.tmp)
                with open(path, "rb") as f:
                    before = f.read()
                md5 = audio_md5(path)
                self.write_all(path, cover)
                with open(path, "rb") as f:
                    after = f.read()
                self.assertEqual(audio_md5(path), md5)
                # Every trak and the chapter list are there byte for byte but for chunk offsets.
                self.assertEqual(len(bytes_of(before, "/moov/trak")), len(bytes_of(after, "/moov/trak")))
                self.assertEqual(bytes_of(before, "/moov/udta/chpl"), bytes_of(after, "/moov/udta/chpl"))
                for path_ in ("/moov/trak/tkhd", "/moov/trak/mdia/minf/stbl/stsz"):
                    self.assertEqual(bytes_of(before, path_), bytes_of(after, path_))
                t = MP4(path).tags
                self.assertEqual(t["©nam"], ["Title é"])
                self.assertEqual(t["©ART"], ["Artist"])
                self.assertEqual(t["aART"], ["Album Artist"])
                self.assertEqual(t["©alb"], ["Album"])
                self.assertEqual(t["©day"], ["2001"])
                self.assertEqual(t["trkn"], [(3, 12)])
                self.assertEqual(t["disk"], [(1, 2)])
                self.assertEqual(t["©gen"], ["Nu Jazz"])
                self.assertEqual(t["©cmt"], ["Comment"])
                self.assertEqual(t["©lyr"], ["Line one\r\nLine two"])
                self.assertEqual(t["©wrt"], ["Composer"])
                self.assertEqual(t["cprt"], ["(c) 2001"])
                self.assertEqual(t["tmpo"], [128])
                self.assertIs(t["cpil"], True)
                self.assertEqual(t["plID"], [123456789012])
                self.assertEqual(t["----:com.apple.iTunes:CONDUCTOR"], [b"Karl"])
                self.assertEqual(t["covr"][0].imageformat, MP4Cover.FORMAT_JPEG)
                with open(cover, "rb") as c:
                    self.assertEqual(bytes(t["covr"][0]), c.read())
                if "chapters" in name:
                    self.assertEqual(len(MP4(path).chapters), 3)
                # And back through our reader.
                e = entries(read(path))
                self.assertEqual(e["TITLE"], ["Title é"])
                self.assertEqual(e["TRACKNUMBER"], ["3"])
                self.assertEqual(e["TOTALTRACKS"], ["12"])
                # A second save of the same values changes nothing.
                self.write_all(path, cover)
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), after)

    def test_genre_from_the_table_and_png_cover(self):
        path = copy("aac_fast.m4a", self.tmp)
        cover = os.path.join(self.tmp, "c.png")
        with open(cover, "wb") as f:
            f.write(png())
        p = tool("write", path, "--set", "GENRE=Rock", "--cover", cover)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        t = MP4(path).tags
        self.assertEqual(t["©gen"], ["Rock"])   # mutagen shows gnre 18 by name
        self.assertEqual(t["covr"][0].imageformat, MP4Cover.FORMAT_PNG)
        out = run("AtomicParsley", path, "-t").stdout.decode("utf-8", "replace")
        self.assertIn("Rock", out)

    def test_atomicparsley_reads_our_items(self):
        path = copy("alac.m4a", self.tmp)
        p = tool("write", path, "--set", "TITLE=AP title", "--set", "ARTIST=AP artist", "--set", "TRACKNUMBER=4/9")
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        out = run("AtomicParsley", path, "-t").stdout.decode("utf-8", "replace")
        self.assertIn('"©nam" contains: AP title', out)
        self.assertIn('"©ART" contains: AP artist', out)
        self.assertIn('"trkn" contains: 4 of 9', out)

    def test_remove_keeps_audio(self):
        for name in ("aac_fast.m4a", "alac.m4a"):
            path = copy(name, self.tmp)
            self.assertEqual(tool("write", path, "--set", "TITLE=x", "--set", "ARTIST=y").returncode, 0)
            md5 = audio_md5(path)
            p = tool("strip", path, "--tag", "mp4")
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
            self.assertEqual(audio_md5(path), md5)
            t = MP4(path).tags or {}
            self.assertNotIn("©nam", t)
            self.assertNotIn("©ART", t)


@unittest.skipUnless(os.path.exists(TOOL), "veltrano-tags not built")
class OthersWriteWeRead(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_mutagen_items(self):
        path = copy("aac_fast.m4a", self.tmp)
        f = MP4(path)
        f.tags["©nam"] = ["Mutagen title"]
        f.tags["©ART"] = ["One", "Two"]
        f.tags["aART"] = ["Band"]
        f.tags["©alb"] = ["Album"]
        f.tags["©day"] = ["2001-05-03T07:00:00Z"]
        f.tags["trkn"] = [(5, 9)]
        f.tags["disk"] = [(2, 3)]
        f.tags["©gen"] = ["Ambient"]
        f.tags["©cmt"] = ["Comment"]
        f.tags["©lyr"] = ["Words"]
        f.tags["©wrt"] = ["Writer"]
        f.tags["cprt"] = ["Copy"]
        f.tags["tmpo"] = [99]
        f.tags["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"Calm")]
        f.tags["covr"] = [MP4Cover(jpeg(), MP4Cover.FORMAT_JPEG), MP4Cover(png(), MP4Cover.FORMAT_PNG)]
        f.save()
        md5 = audio_md5(path)
        e = entries(read(path))
        self.assertEqual(e["TITLE"], ["Mutagen title"])
        self.assertEqual(e["ARTIST"], ["One", "Two"])
        self.assertEqual(e["ALBUMARTIST"], ["Band"])
        self.assertEqual(e["RELEASEDATE"], ["2001-05-03T07:00:00Z"])
        self.assertEqual(e["TRACKNUMBER"], ["5"])
        self.assertEqual(e["TOTALTRACKS"], ["9"])
        self.assertEqual(e["DISCNUMBER"], ["2"])
        self.assertEqual(e["GENRE"], ["Ambient"])
        self.assertEqual(e["BPM"], ["99"])
        self.assertEqual(e["MOOD"], ["Calm"])
        pics = read(path)["pictures"]
        self.assertEqual([p["mime"] for p in pics], ["image/jpeg", "image/png"])

        # Our save of one field leaves every other item as mutagen saw it;
        # the record's year keeps the full date.
        before = {k: v for k, v in MP4(path).tags.items() if k != "©nam"}
        p = tool("record", path, "--set", "Title=Ours", "--set", "Year=2001")
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        after = MP4(path).tags
        self.assertEqual(after["©nam"], ["Ours"])
        self.assertEqual({k: v for k, v in after.items() if k != "©nam"}, before)
        self.assertEqual(audio_md5(path), md5)

    def test_atomicparsley_items(self):
        path = copy("aac.m4a", self.tmp)
        art = os.path.join(self.tmp, "a.png")
        with open(art, "wb") as f:
            f.write(png())
        p = run("AtomicParsley", path, "--title", "AP", "--artist", "AP artist", "--tracknum", "2/5",
                "--genre", "Jazz", "--artwork", art, "--overWrite")
        self.assertEqual(p.returncode, 0, p.stderr.decode())
        e = entries(read(path))
        self.assertEqual(e["TITLE"], ["AP"])
        self.assertEqual(e["ARTIST"], ["AP artist"])
        self.assertEqual(e["TRACKNUMBER"], ["2"])
        self.assertEqual(e["GENRE"], ["Jazz"])
        self.assertEqual(read(path)["pictures"][0]["mime"], "image/png")


def insert_location_udta(path):
    """Puts a udta holding a location box (as phones and cameras write it) in front of the
    moov's udta. The moov must follow the media data, so no chunk offset moves."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    top = [(n, o, s) for n, o, s, h in atoms(data, 0, len(data)) if n.count("/") == 1]
    assert [n for n, o, s in top][-1] == "/moov", "moov must be last"
    xyz = b"+48.8577+002.2950/"
    box = struct.pack(">HH", len(xyz), 0x15C7) + xyz
    loc = struct.pack(">I4s", 16 + len(box), b"udta") + struct.pack(">I", 8 + len(box)) + b"\xa9xyz" + box
    moov_at, moov_size = top[-1][1], top[-1][2]
    udta_at = [o for n, o, s, h in atoms(data, 0, len(data)) if n == "/moov/udta"][0]
    data[udta_at:udta_at] = loc
    struct.pack_into(">I", data, moov_at, moov_size + len(loc))
    with open(path, "wb") as f:
        f.write(bytes(data))
    return loc


def ffprobe_tags(path):
    p = run("ffprobe", "-v", "error", "-print_format", "json", "-show_format", path)
    assert p.returncode == 0, p.stderr.decode()
    return json.loads(p.stdout)["format"].get("tags", {})


class WhatOthersKeep(unittest.TestCase):
    """Items of other programs' namespaces and udta boxes of their own come through our saves."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_freeform_items_of_another_namespace_are_not_copied(self):
        path = copy("aac.m4a", self.tmp)
        f = MP4(path)
        f.tags["©nam"] = ["Title"]
        f.tags["----:com.serato.dj:markers"] = [MP4FreeForm(b"YXBwbGljYXRpb24vb2N0ZXQtc3RyZWFt")]
        f.tags["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"Calm")]
        f.save()
        original = os.path.join(self.tmp, "original.m4a")
        shutil.copy(path, original)
        for i in range(3):
            p = tool("write", path, "--set", "TITLE=Edit %d" % i)
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        diff = subprocess.run([TAG_DIFF, original, path], capture_output=True, text=True)
        self.assertEqual([line.split()[:2] for line in diff.stdout.splitlines()], [["changed", "©nam:"]], diff.stdout)
        e = entries(read(path))
        self.assertEqual(e["----:COM.SERATO.DJ:MARKERS"], ["YXBwbGljYXRpb24vb2N0ZXQtc3RyZWFt"])
        # An edit of that item goes into that item.
        p = tool("write", path, "--set", "----:com.serato.dj:markers=bmV3")
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        after = MP4(path).tags
        self.assertEqual(after["----:com.serato.dj:markers"], [b"bmV3"])
        self.assertNotIn("----:com.apple.iTunes:markers", after)
        self.assertEqual(after["----:com.apple.iTunes:MOOD"], [b"Calm"])

    def test_item_list_in_a_second_udta(self):
        path = copy("aac.m4a", self.tmp)
        f = MP4(path)
        f.tags["©nam"] = ["Title"]
        f.tags["©ART"] = ["Artist"]
        f.tags["©alb"] = ["Album"]
        f.tags["covr"] = [MP4Cover(jpeg(), MP4Cover.FORMAT_JPEG)]
        f.save()
        loc = insert_location_udta(path)
        md5 = audio_md5(path)
        before = ffprobe_tags(path)
        self.assertEqual((before["title"], before["artist"], before["location"]), ("Title", "Artist", "+48.8577+002.2950/"))
        e = entries(read(path))
        self.assertEqual((e["TITLE"], e["ARTIST"], e["ALBUM"]), (["Title"], ["Artist"], ["Album"]))
        self.assertEqual(len(read(path)["pictures"]), 1)
        p = tool("record", path, "--set", "Title=Ours")
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        after = ffprobe_tags(path)
        self.assertEqual(after.pop("title"), "Ours")
        before.pop("title")
        self.assertEqual(after, before)
        with open(path, "rb") as f:
            data = f.read()
        self.assertIn(loc, data)
        self.assertEqual([n for n, o, s, h in atoms(data, 0, len(data)) if n == "/moov/udta"], ["/moov/udta"] * 2)
        self.assertEqual(len(read(path)["pictures"]), 1)
        self.assertEqual(audio_md5(path), md5)


def make_co64_file(src, dst, gap):
    """src (faststart AAC) rebuilt with co64 chunk offsets and `gap` zero bytes
    (a hole in a sparse file) at the start of a 64-bit mdat."""
    with open(src, "rb") as f:
        data = f.read()
    top = atoms(data, 0, len(data))
    mdat = [a for a in top if a[0] == "/mdat"][0]
    body_start = mdat[1] + mdat[3]
    payload = data[body_start:mdat[1] + mdat[2]]

    def rebuild(p, end, mdat_body):
        out = b""
        while p + 8 <= end:
            size, kind = struct.unpack(">I4s", data[p:p + 8])
            if kind in (b"moov", b"trak", b"mdia", b"minf", b"stbl"):
                inner = rebuild(p + 8, p + size, mdat_body)
                out += struct.pack(">I4s", len(inner) + 8, kind) + inner
            elif kind == b"stco":
                n = struct.unpack(">I", data[p + 12:p + 16])[0]
                offs = struct.unpack(">%dI" % n, data[p + 16:p + 16 + 4 * n])
                new = [o - body_start + mdat_body + gap for o in offs]
                body = data[p + 8:p + 16] + b"".join(struct.pack(">Q", o) for o in new)
                out += struct.pack(">I4s", len(body) + 8, b"co64") + body
            else:
                out += data[p:p + size]
            p += size
        return out

    ftyp = [a for a in top if a[0] == "/ftyp"][0]
    moov = [a for a in top if a[0] == "/moov"][0]
    head = data[ftyp[1]:ftyp[1] + ftyp[2]]
    moov_len = len(rebuild(moov[1], moov[1] + moov[2], 0))
    mdat_body = len(head) + moov_len + 16
    new_moov = rebuild(moov[1], moov[1] + moov[2], mdat_body)
    assert len(new_moov) == moov_len
    with open(dst, "wb") as f:
        f.write(head + new_moov + struct.pack(">I4sQ", 1, b"mdat", 16 + gap + len(payload)))
        f.seek(gap, 1)
        f.write(payload)


@unittest.skipUnless(os.path.exists(TOOL), "veltrano-tags not built")
class LargeCo64File(unittest.TestCase):
    def test_sparse_file_over_4_gib_moves_with_its_offsets(self):
        tmp = tempfile.mkdtemp(dir=os.path.dirname(os.path.abspath(TOOL)))
        try:
            path = os.path.join(tmp, "big.m4a")
            make_co64_file(os.path.join(Files.make(), "aac_fast.m4a"), path, 1 << 32)
            self.assertGreater(os.path.getsize(path), 1 << 32)
            md5 = audio_md5(path)
            cover = os.path.join(tmp, "c.jpg")
            with open(cover, "wb") as f:
                f.write(jpeg(300))
            p = tool("write", path, "--set", "TITLE=Large", "--cover", cover)
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
            self.assertEqual(audio_md5(path), md5)
            self.assertEqual(MP4(path).tags["©nam"], ["Large"])
            self.assertEqual(sorted(os.listdir(tmp)), ["big.m4a", "c.jpg"])   # no working file left
        finally:
            shutil.rmtree(tmp)


@unittest.skipUnless(os.path.exists(TOOL), "veltrano-tags not built")
class PeerFiles(unittest.TestCase):
    def test_every_mp4_peer_loads_and_saves_soundly(self):
        tmp = tempfile.mkdtemp()
        try:
            found = 0
            for src in sorted(glob.glob(os.path.join(PEERS, "**", "*"), recursive=True)):
                if not src.lower().endswith((".m4a", ".m4b", ".mp4", ".m4v", ".3g2")):
                    continue
                found += 1
                with self.subTest(file=os.path.relpath(src, PEERS)):
                    path = os.path.join(tmp, os.path.basename(src))
                    shutil.copy(src, path)
                    read(path)
                    before = None
                    try:
                        before = dict(MP4(path).tags or {})
                    except Exception:
                        pass
                    decoded = run("ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "md5", "-")
                    p = tool("write", path, "--set", "TITLE=Peer")
                    if p.returncode != 0:
                        with open(src, "rb") as a, open(path, "rb") as b:
                            self.assertEqual(a.read(), b.read(), "a refused save changed the file")
                        continue
                    if decoded.returncode == 0 and decoded.stdout.strip():
                        self.assertEqual(audio_md5(path), decoded.stdout.decode().strip())
                    if before is not None:
                        after = dict(MP4(path).tags)
                        self.assertEqual(after.pop("©nam"), ["Peer"])
                        before.pop("©nam", None)
                        self.assertEqual(after, before)
            self.assertGreater(found, 5)
        finally:
            shutil.rmtree(tmp)


@unittest.skipUnless(os.path.exists(TOOL), "veltrano-tags not built")
class CorpusRecords(unittest.TestCase):
    """Every .m4a record of a make-corpus library (VELTRANO_INTEROP_CORPUS, else
    a small one made here) shows what the library's manifest says it holds."""

    def test_records_match_the_manifest(self):
        tmp = tempfile.mkdtemp()
        try:
            corpus = os.environ.get("VELTRANO_INTEROP_CORPUS")
            if not corpus:
                corpus = os.path.join(tmp, "corpus")
                subprocess.run([os.path.join(SRC, "..", "shared", "corpus", "make-corpus"), corpus, "--files", "80",
                                "--seconds", "2"], check=True, stdout=subprocess.DEVNULL, timeout=900)
            with open(os.path.join(corpus, "manifest.json"), encoding="utf-8") as fh:
                tracks = [t for t in json.load(fh)["tracks"] if t["format"] == "m4a"]
            self.assertTrue(tracks)
            problems = []
            paths = [os.path.join(corpus, t["path"]) for t in tracks]
            records = {}
            for i in range(0, len(paths), 100):
                p = tool("record", *paths[i:i + 100])
                self.assertEqual(p.returncode, 0, p.stderr)
                for line in p.stdout.splitlines():
                    r = json.loads(line)
                    records[r["file"]] = r
            for t, path in zip(tracks, paths):
                r, want = records[path], t["tags"]
                expect = {
                    "Title": want.get("title", ""), "Artist": want.get("artist", ""), "Album": want.get("album", ""),
                    "Year": want.get("date", "")[:4], "Track": want.get("track", "").split("/")[0],
                    "Genre": want.get("genre", ""), "Comment": want.get("comment", ""),
                    "Disc": want.get("disc", "").split("/")[0], "AlbumArtist": want.get("albumartist", ""),
                    "Composer": want.get("composer", ""), "CoverSize": t.get("cover_bytes", 0),
                    "DurationSec": t["seconds"],
                }
                for k, v in expect.items():
                    if r[k] != v:
                        problems.append("%s: %s is %r, manifest %r" % (t["path"], k, r[k], v))
            self.assertEqual(problems, [], "\n".join(problems[:40]))
        finally:
            shutil.rmtree(tmp)


if __name__ == "__main__":
    unittest.main()
