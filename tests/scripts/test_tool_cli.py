"""veltrano-tags on the command line: JSON output, exit codes, bad arguments and bad files."""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

import testlib
from testlib import TOOL, mpeg_frames, read_bytes

run = testlib.tool




class ToolCli(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name, content=None):
        p = os.path.join(self.dir, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def test_bad_arguments_exit_2_with_one_line(self):
        f = self.path("a.mp3", mpeg_frames(3))
        for args in ([], ["nonsense"], ["read"], ["write"], ["write", f, "--tag", "bogus"],
                     ["write", f, "--set", "NOEQUALS"], ["write", f, "--set"], ["strip", f, "--what"],
                     ["write", f, "--cover", self.path("missing.jpg")]):
            r = run(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertTrue(r.stderr.strip(), args)
        self.assertEqual(read_bytes(f), mpeg_frames(3))

    def test_unreadable_inputs_give_an_error_and_no_crash(self):
        missing = self.path("missing.mp3")
        for target in (missing, self.dir):
            for args in (["read", target], ["write", target, "--set", "TITLE=x"], ["strip", target]):
                r = run(*args)
                self.assertEqual(r.returncode, 2, args)
                self.assertEqual(len(r.stderr.strip().splitlines()), 1, r.stderr)
        self.assertFalse(os.path.exists(missing))

    def test_read_prints_one_json_object_per_file(self):
        files = [self.path(n, c) for n, c in (("empty.mp3", b""), ("one.mp3", b"\xff"),
                                               ("garbage.mp3", os.urandom(128)), ("frames.mp3", mpeg_frames(5)))]
        r = run("read", *files)
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.strip().splitlines()
        self.assertEqual(len(lines), len(files))
        for line, f in zip(lines, files):
            obj = json.loads(line)
            self.assertEqual(obj["file"], f)
            self.assertEqual(obj["result"], 0)
            for key in ("loaded", "entries", "pictures", "properties"):
                self.assertIn(key, obj)
            self.assertEqual(set(obj["properties"]),
                             {"playtime", "bitrate", "samplerate", "channels", "bits", "samples"})

    def test_write_reports_the_container_result(self):
        f = self.path("a.xyz", bytes(300))
        r = run("write", f, "--tag", "wma", "--set", "TITLE=x")
        # Nothing can write WMA attributes into this file: a failure code and exit 1, file untouched.
        self.assertEqual(r.returncode, 1)
        self.assertNotEqual(r.stdout.strip(), "0")
        self.assertEqual(read_bytes(f), bytes(300))


    def test_write_saves_every_kind_or_none(self):
        # ID3v1 is written first; the ID3v2 tag (a version the reader does not
        # know) then refuses to be replaced. The ID3v1 change is taken back.
        frames = mpeg_frames(5)
        unknown_id3v2 = b"ID3\x05\x00\x00\x00\x00\x00\x14" + bytes(20)
        id3v1 = b"TAG" + b"old title".ljust(30, b"\0") + bytes(94) + b"\x0c"
        before = unknown_id3v2 + frames + id3v1
        f = self.path("a.mp3", before)
        r = run("write", f, "--set", "TITLE=new")
        self.assertEqual(r.returncode, 1)
        self.assertNotEqual(r.stdout.strip(), "0")
        self.assertEqual(read_bytes(f), before)
        self.assertEqual(sorted(os.listdir(os.path.dirname(f))), ["a.mp3"], "nothing is left beside the file")
        # One named kind alone is written.
        r = run("write", f, "--tag", "id3v1", "--set", "TITLE=new")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(read_bytes(f)[:-128], before[:-128])
        self.assertEqual(read_bytes(f)[-125:-122], b"new")

    def test_a_save_of_two_kinds_flushes_the_file_once(self):
        tag = b"TIT2\x00\x00\x00\x04\x00\x00\x00abc"
        id3v2 = b"ID3\x03\x00\x00\x00\x00\x08\x00" + tag + bytes(1024 - len(tag))
        id3v1 = b"TAG" + b"old".ljust(30, b"\0") + bytes(94) + b"\x0c"
        f = self.path("b.mp3", id3v2 + mpeg_frames(5) + id3v1)
        # The leak checker of a sanitizer build cannot run under ptrace.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        r = subprocess.run(["strace", "-f", "-y", "-e", "trace=fsync,fdatasync", TOOL, "write", f, "--set", "TITLE=new"],
                           capture_output=True, text=True, timeout=60, env=env)
        self.assertEqual(r.stdout.strip(), "0", r.stderr)
        # The file itself once; beside it only the save's rollback journal
        # (flushed before each in-place edit) and the folder that holds it.
        syncs = [line for line in r.stderr.splitlines() if "fsync(" in line or "fdatasync(" in line]
        self.assertEqual(len([s for s in syncs if s.split("<", 1)[1].startswith(f + ">")]), 1, r.stderr)
        self.assertEqual(sorted(os.listdir(os.path.dirname(f))), ["b.mp3"])
        loaded = json.loads(run("read", f).stdout)
        self.assertEqual(sorted(loaded["loaded"]), ["ID3v1", "ID3v2"])
        self.assertEqual({e["value"] for e in loaded["entries"] if e["name"] == "TITLE"}, {"new"})

    def test_formats_lists_the_kinds_read(self):
        r = run("formats")
        self.assertEqual(r.returncode, 0)
        lines = r.stdout.split()
        self.assertIn("id3v1", lines)
        self.assertIn("id3v2", lines)
        listed = json.loads(run("formats", "--json").stdout)
        self.assertEqual([k["kind"] for k in listed if k["built"]], lines)
        self.assertEqual({k["kind"] for k in listed}, {"apev2", "flac", "id3v1", "id3v2", "mp4", "ogg", "wav", "wma"})
        self.assertEqual(run("formats", "--bogus").returncode, 2)


def ffmpeg(path, *args):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", *args, path],
                   check=True)
    return path


@unittest.skipUnless(shutil.which("ffmpeg"), "ffmpeg not installed")
class FilesOfOtherWriters(unittest.TestCase):
    """What the tool does with files other programs wrote: a save with nothing to change
    writes nothing, COMMENT is the user's comment, and what no reader recognises as audio
    gets no tag unless its kind is named."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def written_by_others(self):
        meta = ["-metadata", "title=T", "-metadata", "artist=A", "-metadata", "album=B", "-metadata", "date=2001"]
        files = [ffmpeg(self.path("ff." + ext), *meta) for ext in ("mp3", "m4a", "wma", "wav", "aiff", "wv", "flac",
                                                                     "ogg", "opus")]
        files.append(ffmpeg(self.path("ff_track.mp3"), *meta, "-metadata", "track=3/12"))
        # An empty ID3v2 tag, as ffmpeg leaves it without metadata.
        files.append(ffmpeg(self.path("bare.mp3"), "-map_metadata", "-1", "-fflags", "+bitexact", "-flags:a", "+bitexact"))
        # RIFF INFO holding nothing the record shows.
        files.append(ffmpeg(self.path("bare.wav")))
        if shutil.which("metaflac"):
            f = ffmpeg(self.path("nopadding.flac"), *meta)
            subprocess.run(["metaflac", "--remove", "--block-type=PADDING", "--dont-use-padding", f], check=True)
            files.append(f)
        if shutil.which("eyeD3"):
            f = ffmpeg(self.path("eyed3.mp3"))
            subprocess.run(["eyeD3", "-Q", "-t", "T", "-a", "A", "-n", "3", "-N", "12", "--add-comment",
                            " 0000044E 00000445:iTunNORM", f], check=True, capture_output=True)
            files.append(f)
        if shutil.which("id3v2"):
            f = ffmpeg(self.path("id3v2.mp3"))
            subprocess.run(["id3v2", "-t", "T", "-a", "A", "-T", "3/12", "-c", "C", f], check=True, capture_output=True)
            files.append(f)
        if shutil.which("AtomicParsley"):
            f = ffmpeg(self.path("ap.m4a"))
            subprocess.run(["AtomicParsley", f, "--title", "AP", "--tracknum", "2/5", "--overWrite"], check=True,
                           capture_output=True)
            files.append(f)
        # mutagen: an ID3v2 front cover and an APE tag whose cover has a file name as description.
        from mutagen.id3 import ID3, APIC, TIT2
        from mutagen.apev2 import APEv2, APEBinaryValue
        f = ffmpeg(self.path("two_tags.mp3"), "-map_metadata", "-1")
        tags = ID3()
        tags.add(TIT2(encoding=3, text="T"))
        tags.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=b"\xff\xd8\xff\xe0" + bytes(300)))
        tags.save(f)
        ape = APEv2()
        ape["Title"] = "T"
        ape["Cover Art (Front)"] = APEBinaryValue(b"Cover Art (Front).jpg\0\xff\xd8\xff\xe0" + bytes(200))
        ape.save(f)
        files.append(f)
        return files

    def test_a_save_with_nothing_to_change_writes_nothing(self):
        for f in self.written_by_others():
            for args in (["write", f], ["record", f, "--set", "Title=" + json.loads(run("record", f).stdout)["Title"]]):
                os.utime(f, ns=(10 ** 18, 10 ** 18))
                before, data = os.stat(f), read_bytes(f)
                r = run(*args)
                self.assertEqual(r.returncode, 0, (args, r.stdout, r.stderr))
                after = os.stat(f)
                self.assertEqual(read_bytes(f), data, args)
                self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns), args)

    @unittest.skipUnless(shutil.which("eyeD3"), "eyeD3 not installed")
    def test_comment_is_the_comment_without_a_description(self):
        from mutagen.id3 import ID3
        f = ffmpeg(self.path("norm.mp3"))
        subprocess.run(["eyeD3", "-Q", "-t", "T", "--add-comment", " 0000044E 00000445:iTunNORM", f], check=True,
                       capture_output=True)
        comments = lambda: sorted((c.desc, c.text[0]) for c in ID3(f).getall("COMM"))
        self.assertEqual(run("write", f, "--set", "COMMENT=Mine").returncode, 0)
        self.assertEqual(comments(), [("", "Mine"), ("iTunNORM", " 0000044E 00000445")])
        self.assertEqual(run("write", f, "--set", "COMMENT=Changed").returncode, 0)
        self.assertEqual(comments(), [("", "Changed"), ("iTunNORM", " 0000044E 00000445")])
        self.assertEqual(run("write", f, "--delete", "COMMENT").returncode, 0)
        self.assertEqual(comments(), [("iTunNORM", " 0000044E 00000445")])

    def test_what_no_reader_recognises_gets_no_tag(self):
        # A little-endian TIFF: header, one IFD with no entries.
        tiff = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", 0) + bytes(4) + bytes(64)
        cut_aiff = read_bytes(ffmpeg(self.path("full.aiff")))[:31]
        files = {"image.tiff": tiff, "cut.aiff": cut_aiff, "noise.bin": bytes((i * 37) % 251 for i in range(4000))}
        for name, data in files.items():
            with open(self.path(name), "wb") as out:
                out.write(data)
        unknown = [self.path(n) for n in files]
        unknown.append(ffmpeg(self.path("audio.mka")))
        peers = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared", "corpus", "peers")
        for name in ("test.mod", "test.s3m", "test.xm"):
            if os.path.exists(os.path.join(peers, "taglib", name)):
                shutil.copyfile(os.path.join(peers, "taglib", name), self.path(name))
                unknown.append(self.path(name))
        for f in unknown:
            data = read_bytes(f)
            r = run("write", f, "--set", "TITLE=x")
            self.assertNotEqual(r.returncode, 0, f)
            self.assertTrue(r.stderr.strip(), f)
            self.assertEqual(read_bytes(f), data, f)
        # Named, the kind is written.
        f = self.path("image.tiff")
        self.assertEqual(run("write", f, "--tag", "apev2", "--set", "TITLE=x").returncode, 0)
        self.assertEqual(read_bytes(f)[:len(tiff)], tiff)
        # Raw AAC and AC-3 streams get the APE tag other taggers give them.
        from mutagen.apev2 import APEv2
        for name, codec in (("raw.aac", ["-c:a", "aac", "-f", "adts"]), ("raw.ac3", ["-c:a", "ac3"])):
            f = ffmpeg(self.path(name), *codec)
            audio = read_bytes(f)
            r = run("write", f, "--set", "TITLE=Raw")
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            self.assertEqual(read_bytes(f)[:len(audio)], audio)
            self.assertEqual(APEv2(f)["Title"], "Raw")


if __name__ == "__main__":
    unittest.main(verbosity=2)
