#!/usr/bin/python3
"""WAVE, RF64, AIFF, AIFC, DSF and DSDIFF stream properties through
veltrano-tags, checked against ffprobe (files ffmpeg writes at test time)
and against mutagen (the DSF and DSDIFF files of the peer corpus; ffprobe
reads DSD rates in bytes and pads DSF durations to whole blocks).

Play time within 0.01 s, sample rate, channels and bits exactly. An AIFF
play time is answered in whole seconds, so for AIFF the exact play time is
taken as sample frames / rate. Malformed peer files give a result, never a
crash.
"""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import testlib
from testlib import PEERS


def read_properties(path):
    return testlib.read_entries(path)["properties"]


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "format=duration:stream=sample_rate,channels,bits_per_sample", "-of", "json", path],
                         check=True, capture_output=True, text=True).stdout
    info = json.loads(out)
    s = info["streams"][0]
    return float(info["format"]["duration"]), int(s["sample_rate"]), int(s["channels"]), int(s["bits_per_sample"])


@unittest.skipUnless(shutil.which("ffmpeg") and shutil.which("ffprobe"), "needs ffmpeg and ffprobe")
class ContainerProperties(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        testlib.require_tool()
        cls.dir = tempfile.mkdtemp(prefix="veltrano-containers-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def make(self, name, rate, channels, seconds, *args):
        p = os.path.join(self.dir, name)
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:sample_rate=%d:duration=%s" % (rate, seconds),
                        "-ac", str(channels), *args, p], check=True)
        return p

    def test_agrees_with_ffprobe(self):
        cases = [
            ("pcm16.wav", 44100, 2, "2.345", ["-c:a", "pcm_s16le"]),
            ("float.wav", 48000, 1, "1.5", ["-c:a", "pcm_f32le"]),
            ("extensible.wav", 22050, 6, "0.77", ["-c:a", "pcm_s24le"]),
            ("pcm8.wav", 8000, 1, "3.001", ["-c:a", "pcm_u8"]),
            ("rf64.wav", 96000, 2, "1.25", ["-c:a", "pcm_s24le", "-rf64", "always"]),
            ("plain.aiff", 44100, 2, "12.6", ["-c:a", "pcm_s16be", "-f", "aiff"]),
            ("float.aifc", 32000, 1, "0.9", ["-c:a", "pcm_f32be", "-f", "aiff"]),
        ]
        for name, rate, channels, seconds, args in cases:
            with self.subTest(name):
                p = self.make(name, rate, channels, seconds, *args)
                duration, prate, pchannels, pbits = probe(p)
                got = read_properties(p)
                self.assertEqual(got["samplerate"], prate)
                self.assertEqual(got["channels"], pchannels)
                self.assertEqual(got["bits"], pbits)
                if name.endswith((".aiff", ".aifc")):
                    exact = got["samples"] / got["samplerate"]
                    self.assertAlmostEqual(exact, duration, delta=0.01)
                    self.assertEqual(got["playtime"], round(exact))
                else:
                    self.assertAlmostEqual(got["playtime"], duration, delta=0.01)
                self.assertGreater(got["bitrate"], 0)
        # The 12.6 s AIFF file is answered as 13 s.
        self.assertEqual(read_properties(os.path.join(self.dir, "plain.aiff"))["playtime"], 13)

    def test_dsd_files_agree_with_mutagen(self):
        try:
            import mutagen.dsdiff
            import mutagen.dsf
        except ImportError:
            self.skipTest("mutagen without DSF / DSDIFF support")
        names = ["taglib/empty10ms.dsf", "mutagen/5644800-2ch-s01-silence.dsf", "mutagen/with-id3.dsf",
                 "taglib/empty10ms.dff", "mutagen/5644800-2ch-s01-silence.dff",
                 "mutagen/5644800-2ch-s01-silence-dst.dff"]
        seen = 0
        for name in names:
            p = os.path.join(PEERS, name)
            if not os.path.exists(p):
                continue
            seen += 1
            with self.subTest(name):
                info = (mutagen.dsf.DSF(p) if p.endswith(".dsf") else mutagen.dsdiff.DSDIFF(p)).info
                got = read_properties(p)
                self.assertAlmostEqual(got["playtime"], info.length, delta=0.01)
                self.assertEqual(got["samplerate"], info.sample_rate)
                self.assertEqual(got["channels"], info.channels)
                self.assertEqual(got["bits"], info.bits_per_sample)
        if not seen:
            self.skipTest("no DSD files in the peer corpus")

    def test_malformed_peers_give_a_result(self):
        for name in ["taglib/excessive_alloc.aif", "taglib/noise.aif", "taglib/alaw.aifc", "taglib/rf64.wav",
                     "mutagen/8k-4ch-1s-silence.aif", "mutagen/with-id3.aif"]:
            p = os.path.join(PEERS, name)
            if not os.path.exists(p):
                continue
            with self.subTest(name):
                got = read_properties(p)
                for key in ("playtime", "samplerate", "channels"):
                    self.assertGreaterEqual(got[key], 0)
                if shutil.which("ffprobe") and "excessive" not in name:
                    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels",
                                        "-of", "json", p], capture_output=True, text=True)
                    streams = json.loads(r.stdout or "{}").get("streams") if r.returncode == 0 else None
                    if streams:
                        self.assertEqual(got["samplerate"], int(streams[0]["sample_rate"]))
                        self.assertEqual(got["channels"], int(streams[0]["channels"]))


if __name__ == "__main__":
    unittest.main()
