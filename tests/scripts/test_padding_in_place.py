#!/usr/bin/python3
"""Saves that stay in place, on files real encoders made, read by others.

After a first `veltrano-tags write` (which may move the audio once), a run of
title edits that grow and shrink by up to 2 KB keeps every format's file in
place: the same inode, the same decoded audio. After every edit mutagen and
ffprobe read the new title; WAVE files also keep a sound chunk walk (even
sizes, the right RIFF size).
"""
import os
import shutil
import struct
import subprocess
import unittest

import testlib


def encode(src_wav, path):
    """path encoded from src_wav by the encoder its extension names."""
    ext = os.path.splitext(path)[1]
    run = lambda *a: subprocess.run(list(a), check=True, capture_output=True)
    if ext == ".mp3":
        run("lame", "--quiet", "-b", "128", src_wav, path)
    elif ext == ".flac":
        run("flac", "-s", "-f", "-o", path, src_wav)
    elif ext == ".ogg":
        run("oggenc", "-Q", "-o", path, src_wav)
    elif ext == ".opus":
        run("opusenc", "--quiet", src_wav, path)
    elif ext == ".wav":
        shutil.copy(src_wav, path)
    elif ext in (".aif", ".m4a", ".wma"):
        codec = {".aif": ["-c:a", "pcm_s16be"], ".m4a": ["-c:a", "aac", "-movflags", "+faststart"],
                 ".wma": ["-c:a", "wmav2"]}[ext]
        run("ffmpeg", "-loglevel", "error", "-y", "-i", src_wav, *codec, path)
    else:
        testlib.base_audio(path)   # DSF and DSDIFF: peer files of silence
    return path


def ffprobe_title(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of", "default=nw=1",
                          path], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        key, _, value = line.partition("=")
        if key.lower() == "tag:title":
            return value
    return None


def mutagen_title(path):
    """The title as mutagen reads it, from whichever tag it finds (None without one)."""
    import mutagen
    f = mutagen.File(path)
    assert f is not None, "mutagen does not recognise %s" % path
    if f.tags is None:
        return None
    for key in ("TIT2", "title", "\xa9nam", "Title"):
        if key in f.tags:
            v = f.tags[key]
            v = v.text[0] if hasattr(v, "text") else v[0]
            return v.value if hasattr(v, "value") else str(v)
    return None


def riff_walk_ok(data):
    riff = struct.unpack("<I", data[4:8])[0]
    end, pos = 8 + riff, 12
    while pos + 8 <= end:
        size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if pos + 8 + size > len(data):
            return False
        pos += 8 + size + (size & 1)
    return pos == end


class PaddingInPlace(testlib.ToolCase, unittest.TestCase):
    prefix = "padding_in_place_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool("ffmpeg", "ffprobe", "lame", "flac", "oggenc", "opusenc")
        cls.src_dir = testlib.TempDir("padding_src_")
        cls.src = cls.src_dir.file("noise.wav")
        # A few seconds of noise: files of some hundred kilobytes, which a rewrite would copy.
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "anoisesrc=d=4:c=pink:r=44100:a=0.2", "-ac", "2", "-c:a", "pcm_s16le", cls.src], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.src_dir.remove()

    def test_title_edits_after_a_first_save_stay_in_place(self):
        east = " ".join(["Ночь 東京 🎵"] * 110)[:700]   # about 2 KB in UTF-8
        titles = ["x" * 2000, "s", "Ночь 東京 🎵", "short", "y" * 2000, east, "z" * 1500, "Title", "w" * 999]
        for ext in (".mp3", ".flac", ".ogg", ".opus", ".m4a", ".wma", ".wav", ".aif", ".dsf", ".dff"):
            with self.subTest(ext):
                path = encode(self.src, self.path("a" + ext))
                testlib.write(path, "--set", "TITLE=" + "f" * 1000)
                inode, audio = os.stat(path).st_ino, testlib.decoded_md5(path)
                for title in titles:
                    testlib.write(path, "--set", "TITLE=" + title)
                    self.assertEqual(os.stat(path).st_ino, inode, "%s moved for %d bytes" % (ext, len(title)))
                    # ffprobe reads no DSDIFF tags; mutagen no RIFF INFO list.
                    if ext != ".dff":
                        self.assertEqual(ffprobe_title(path), title)
                    if ext != ".wav":
                        self.assertEqual(mutagen_title(path), title)
                    if ext == ".wav":
                        self.assertTrue(riff_walk_ok(testlib.read_bytes(path)))
                self.assertEqual(testlib.decoded_md5(path), audio)


if __name__ == "__main__":
    unittest.main()
