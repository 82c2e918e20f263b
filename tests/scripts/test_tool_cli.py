"""veltrano-tags on the command line: JSON output, exit codes, bad arguments and bad files."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

BIN = os.environ.get("VELTRANO_BIN", "build/bin")
TOOL = os.path.join(BIN, "veltrano-tags")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def mpeg_frames(count):
    return (b"\xff\xfb\x90\x00" + bytes(413)) * count


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
        self.assertEqual(sorted(os.listdir(os.path.dirname(f))), ["a.mp3"], "the backup copy is removed")
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
        r = subprocess.run(["strace", "-f", "-e", "trace=fsync,fdatasync", TOOL, "write", f, "--set", "TITLE=new"],
                           capture_output=True, text=True, timeout=60, env=env)
        self.assertEqual(r.stdout.strip(), "0", r.stderr)
        syncs = [line for line in r.stderr.splitlines() if "fsync(" in line or "fdatasync(" in line]
        self.assertEqual(len(syncs), 1, r.stderr)
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


if __name__ == "__main__":
    unittest.main(verbosity=2)
