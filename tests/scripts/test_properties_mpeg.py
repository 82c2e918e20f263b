#!/usr/bin/python3
"""MPEG stream properties through veltrano-tags, checked against ffprobe.

Files are made at test time with real encoders (lame CBR with its Info
header, lame VBR with Xing, lame -t without any VBR header, ffmpeg MPEG-2
and MPEG-2.5 Layer III, ffmpeg MP2). The play time must match ffprobe's
within 0.1 s where the stream carries a frame count and within 1 s where it
is estimated from the bit rate; sample rate and channels must match exactly.
Hostile files get a result, and a 2 GiB file is not read through.
"""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import testlib
from testlib import TOOL, run


def read_properties(path):
    return testlib.read_entries(path)["properties"]


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "format=duration:stream=sample_rate,channels,bit_rate", "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    info = json.loads(out)
    stream = info["streams"][0]
    return {"duration": float(info["format"]["duration"]), "samplerate": int(stream["sample_rate"]),
            "channels": int(stream["channels"]), "bitrate": int(stream.get("bit_rate", 0)) // 1000}


def bytes_read_by(args):
    """Runs a command and returns the bytes it read through system calls
    (rchar of /proc/<pid>/io, taken while the finished child is still a zombie)."""
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    with open(f"/proc/{child.pid}/io") as io:
        rchar = next(int(line.split()[1]) for line in io if line.startswith("rchar:"))
    child.wait()
    return rchar


@unittest.skipUnless(shutil.which("lame") and shutil.which("ffmpeg") and shutil.which("ffprobe"),
                     "needs lame, ffmpeg and ffprobe")
class MpegProperties(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="veltrano-mpeg-")

        def wav(name, rate, channels, seconds):
            path = os.path.join(cls.dir, name)
            run("ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                f"sine=frequency=440:sample_rate={rate}:duration={seconds}",
                "-ac", str(channels), "-c:a", "pcm_s16le", path)
            return path

        w44 = wav("in44.wav", 44100, 2, 7.3)
        w48 = wav("in48.wav", 48000, 1, 4.1)
        w22 = wav("in22.wav", 22050, 2, 6.0)
        w11 = wav("in11.wav", 11025, 1, 9.5)
        out = lambda name: os.path.join(cls.dir, name)
        # (file, command, tolerance in seconds against ffprobe, constant bit
        # rate, length of the source in seconds). ffprobe leaves the encoder
        # delay and padding in for MPEG-2.5, so there it may differ by up to
        # three frames; the length of the source shows which figure is right.
        cls.cases = [
            ("lame_cbr.mp3", ["lame", "--quiet", "-b", "128", w44], 0.1, True, 7.3),
            ("lame_vbr.mp3", ["lame", "--quiet", "-V", "2", w44], 0.1, False, 7.3),
            ("lame_vbr_mono48.mp3", ["lame", "--quiet", "-V", "6", w48], 0.1, False, 4.1),
            ("lame_no_info.mp3", ["lame", "--quiet", "-t", "-b", "160", "--tt", "Title", "--add-id3v2", w44],
             1.0, True, 7.3),
            ("lame_tagged.mp3", ["lame", "--quiet", "-b", "96", "--tt", "Title", "--ta", "Artist",
                                 "--add-id3v2", "--pad-id3v2-size", "3000", w44], 0.1, True, 7.3),
            ("lame_no_info_id3v1.mp3", ["lame", "--quiet", "-t", "-b", "64", "--tt", "Title",
                                        "--id3v1-only", w22], 1.0, True, 6.0),
            ("ffmpeg_mpeg2.mp3", ["ffmpeg", "-v", "error", "-i", w22, "-c:a", "libmp3lame", "-b:a", "64k"],
             0.1, True, 6.0),
            ("ffmpeg_mpeg25.mp3", ["ffmpeg", "-v", "error", "-i", w11, "-c:a", "libmp3lame", "-b:a", "32k"],
             3 * 576 / 11025, True, 9.5),
            ("ffmpeg_layer2.mp2", ["ffmpeg", "-v", "error", "-i", w44, "-c:a", "mp2", "-b:a", "192k"],
             1.0, True, 7.3),
        ]
        for name, command, *_ in cls.cases:
            run(*command, out(name))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_properties_match_ffprobe(self):
        for name, _, tolerance, cbr, seconds in self.cases:
            with self.subTest(name):
                path = os.path.join(self.dir, name)
                ours, theirs = read_properties(path), probe(path)
                self.assertAlmostEqual(ours["playtime"], theirs["duration"], delta=tolerance, msg=(ours, theirs))
                self.assertEqual(ours["samplerate"], theirs["samplerate"])
                self.assertEqual(ours["channels"], theirs["channels"])
                self.assertEqual(ours["bits"], 0)
                if cbr:
                    self.assertEqual(ours["bitrate"], theirs["bitrate"])
                else:
                    self.assertAlmostEqual(ours["bitrate"], theirs["bitrate"], delta=theirs["bitrate"] * 0.05)
                if tolerance < 1:   # a frame count, less delay and padding: the exact length
                    self.assertAlmostEqual(ours["playtime"], seconds, delta=0.05)
                    self.assertAlmostEqual(ours["samples"] / ours["samplerate"], ours["playtime"], places=5)
                else:
                    self.assertEqual(ours["samples"], 0)

    def test_hostile_files_get_a_result(self):
        cases = {
            "empty.mp3": b"",
            "all_ff.mp3": b"\xff" * 200000,
            "sync_only.mp3": b"\xff\xfb" * 100000,
            "free_format.mp3": (b"\xff\xfb\x00\x00" + bytes(213987)) * 2,
            "zero_rate.mp3": (b"\xff\xfb\x9c\x00" + bytes(413)) * 10,
            "truncated_xing.mp3": b"\xff\xfb\x90\x64" + bytes(32) + b"Xing\x00\x00\x00\x0f\x00",
            "huge_count.mp3": (b"\xff\xfb\x90\x64" + bytes(32) + b"Xing\x00\x00\x00\x01\xff\xff\xff\xff").ljust(417, b"\0")
                              + (b"\xff\xfb\x90\x64" + bytes(413)) * 3,
        }
        for name, data in cases.items():
            with self.subTest(name):
                path = os.path.join(self.dir, name)
                with open(path, "wb") as f:
                    f.write(data)
                props = read_properties(path)
                self.assertGreaterEqual(props["playtime"], 0)
                self.assertGreaterEqual(props["samples"], 0)
                if name in ("empty.mp3", "all_ff.mp3", "zero_rate.mp3", "truncated_xing.mp3"):
                    self.assertEqual(props["playtime"], 0)
                if name == "huge_count.mp3":
                    self.assertAlmostEqual(props["playtime"], 0xFFFFFFFF * 1152 / 44100, delta=1e-5 * props["playtime"])

    def test_large_sparse_file_reads_only_its_start_and_tail(self):
        source = os.path.join(self.dir, "lame_no_info.mp3")   # ID3v2 tag, no frame count
        small = os.path.join(self.dir, "small.mp3")
        big = os.path.join(self.dir, "big.mp3")
        with open(source, "rb") as f:
            head = f.read(64 * 1024)
        with open(small, "wb") as f:
            f.write(head)
        shutil.copyfile(small, big)
        os.truncate(big, 2 << 30)
        baseline = bytes_read_by([TOOL, "read", small])
        extra = bytes_read_by([TOOL, "read", big]) - baseline
        self.assertLess(extra, 256 * 1024, f"{extra} bytes more read for a 2 GiB file")
        props = read_properties(big)
        self.assertGreater(props["playtime"], 1000)   # a CBR estimate over the whole length


if __name__ == "__main__":
    unittest.main()
