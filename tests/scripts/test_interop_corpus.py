#!/usr/bin/python3
"""A generated music library read by veltrano-tags and by mutagen, field by field.

make-corpus writes a small library (VELTRANO_INTEROP_CORPUS names an existing
one to reuse). For every format whose native tag support exists in the tag
library, each file is read by `veltrano-tags read` and by mutagen and the two
must agree on title, artist, album, year, track, genre, comment, album artist,
composer, the pictures (count, MIME type, size) and the play time. Then new
values are written with `veltrano-tags write` into copies of some files and
checked again with mutagen, ffprobe and our own reader, with the decoded
audio unchanged. Formats not supported yet are skipped with a note on stderr.
Differences that are deliberate behaviour are listed in KNOWN_DIFFERENCES,
each with its reason, and printed when they occur.
"""
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import mutagen
from mutagen.flac import Picture

import testlib
from testlib import SRC, TOOL

MAKE_CORPUS = os.path.join(SRC, "..", "shared", "corpus", "make-corpus")
FIELDS = ("title", "artist", "album", "year", "track", "genre", "comment", "albumartist", "composer")

# Format -> the tag kind (as `veltrano-tags formats` names it) that carries
# its values; a format is checked once the library reads that kind.
FORMAT_KIND = {
    "mp3": "id3v2", "aiff": "id3v2", "flac": "flac", "ogg": "ogg", "opus": "ogg", "m4a": "mp4",
    "wav": "wav", "wv": "apev2", "mpc": "apev2", "wma": "wma",
}

# (format, variant pattern, field, reason): differences that are deliberate
# behaviour; each is printed when it occurs.
KNOWN_DIFFERENCES = [
    ("wav", r"", "comment",
     "mutagen reads only the 'id3 ' chunk of a WAVE file; RIFF INFO values are compared with the manifest"),
    ("mp3", r"v24", "year-written",
     "the unified YEAR is written to TYER as designed; a 2.4 tag keeps its TDRC (RECORDINGDATE) as it was, "
     "and mutagen shows TDRC"),
    ("wav", r"id3", "year-written",
     "the unified YEAR is written to TYER as designed; the 'id3 ' chunk keeps its TDRC (RECORDINGDATE) as it "
     "was, and mutagen shows TDRC"),
]

# RIFF INFO text is stored in Windows-1252 where every character has a byte
# there (as Windows and exiftool read it); ffmpeg takes INFO text as UTF-8.
WAV_FFPROBE_ANSI = "ffprobe reads RIFF INFO as UTF-8; ours holds Windows-1252 where the text fits it"

# Formats whose play time the library does not gather yet, with the reason;
# checked anyway as soon as our side reports a play time.
PLAYTIME_PENDING = {
}


def supported_formats():
    out = subprocess.run([TOOL, "formats"], capture_output=True, text=True, check=True, timeout=60).stdout
    kinds = set(out.split())
    return {fmt for fmt, kind in FORMAT_KIND.items() if kind in kinds}


def first(values):
    for v in values:
        if v not in (None, ""):
            return str(v).strip()
    return ""


def year_of(text):
    m = re.match(r"\s*(\d{4})", text or "")
    return m.group(1) if m else (text or "").strip()


# --- our side ---------------------------------------------------------------

def ours_fields(d):
    e = {}
    for item in d["entries"]:
        e.setdefault(item["name"].upper(), item["value"])
    track = e.get("TRACKNUMBER", "")
    total = e.get("TOTALTRACKS") or e.get("TRACKTOTAL")
    if track and "/" not in track and total:
        track += "/" + total
    return {
        "title": e.get("TITLE", ""), "artist": e.get("ARTIST", ""), "album": e.get("ALBUM", ""),
        "year": year_of(first([e.get("YEAR"), e.get("RECORDINGDATE"), e.get("DATE"), e.get("RELEASEDATE")])),
        "track": track, "genre": e.get("GENRE", ""), "comment": e.get("COMMENT", ""),
        "albumartist": e.get("ALBUMARTIST", ""), "composer": e.get("COMPOSER", ""),
        "pictures": [(p["mime"], p["size"]) for p in d["pictures"]],
        "playtime": float(d["properties"]["playtime"]),
    }


# --- mutagen's side -----------------------------------------------------------

def id3_fields(tags):
    def text(fid):
        f = tags.get(fid) if tags else None
        return "/".join(str(t) for t in f.text) if f is not None and hasattr(f, "text") else ""
    comments = [c for c in (tags.getall("COMM") if tags else []) if c.desc == ""]
    tcon = tags.get("TCON") if tags else None
    return {
        "title": text("TIT2"), "artist": text("TPE1"), "album": text("TALB"),
        "year": year_of(first([text("TDRC"), text("TYER")])), "track": text("TRCK"),
        "genre": tcon.genres[0] if tcon is not None and tcon.genres else "",
        "comment": str(comments[0]) if comments else "",
        "albumartist": text("TPE2"), "composer": text("TCOM"),
        "pictures": [(p.mime, len(p.data)) for p in (tags.getall("APIC") if tags else [])],
    }


def vorbis_fields(f):
    t = f.tags or {}
    def get(*keys):
        return first(["; ".join(t[k]) if k in t else "" for k in keys])
    track = get("tracknumber")
    if track and "/" not in track and get("tracktotal", "totaltracks"):
        track += "/" + get("tracktotal", "totaltracks")
    pictures = list(getattr(f, "pictures", []))
    for b64 in t.get("metadata_block_picture", []):
        pictures.append(Picture(base64.b64decode(b64)))
    return {
        "title": get("title"), "artist": get("artist"), "album": get("album"), "year": year_of(get("date", "year")),
        "track": track, "genre": get("genre"), "comment": get("comment", "description"),
        "albumartist": get("albumartist", "album artist"), "composer": get("composer"),
        "pictures": [(p.mime, len(p.data)) for p in pictures],
    }


def mp4_fields(f):
    t = f.tags or {}
    def get(k):
        return str(t[k][0]) if k in t and t[k] else ""
    track = ""
    if "trkn" in t and t["trkn"]:
        n, total = t["trkn"][0]
        track = "%d/%d" % (n, total) if total else str(n)
    covers = t.get("covr", [])
    return {
        "title": get("\xa9nam"), "artist": get("\xa9ART"), "album": get("\xa9alb"), "year": year_of(get("\xa9day")),
        "track": track, "genre": get("\xa9gen"), "comment": get("\xa9cmt"), "albumartist": get("aART"),
        "composer": get("\xa9wrt"),
        "pictures": [("image/png" if c.imageformat == c.FORMAT_PNG else "image/jpeg", len(c)) for c in covers],
    }


def ape_fields(f):
    t = f.tags or {}
    def get(k):
        return str(t[k]) if k in t else ""
    pictures = []
    for k in t.keys():
        if k.lower().startswith("cover art"):
            data = t[k].value
            body = data[data.index(b"\0") + 1:] if b"\0" in data else data
            pictures.append(("image/png" if body.startswith(b"\x89PNG") else "image/jpeg", len(body)))
    return {
        "title": get("Title"), "artist": get("Artist"), "album": get("Album"), "year": year_of(get("Year")),
        "track": get("Track"), "genre": get("Genre"), "comment": get("Comment"),
        "albumartist": get("Album Artist"), "composer": get("Composer"), "pictures": pictures,
    }


def asf_fields(f):
    t = f.tags or {}
    def get(k):
        return str(t[k][0].value) if k in t and t[k] else ""
    pictures = []
    for p in t.get("WM/Picture", []):
        data = p.value
        # WM/Picture: type byte, 32-bit size, MIME and description as UTF-16 strings, then the data.
        size = int.from_bytes(data[1:5], "little")
        mime_end = data.index(b"\0\0", 5)
        mime_end += (mime_end - 5) % 2
        pictures.append((data[5:mime_end].decode("utf-16-le"), size))
    return {
        "title": get("Title"), "artist": get("Author"), "album": get("WM/AlbumTitle"), "year": year_of(get("WM/Year")),
        "track": get("WM/TrackNumber"), "genre": get("WM/Genre"), "comment": get("Description"),
        "albumartist": get("WM/AlbumArtist"), "composer": get("WM/Composer"), "pictures": pictures,
    }


def mutagen_fields(path, fmt):
    f = mutagen.File(path)
    if fmt in ("mp3", "aiff", "wav"):
        out = id3_fields(f.tags if f is not None else None)
    elif fmt in ("flac", "ogg", "opus"):
        out = vorbis_fields(f)
    elif fmt == "m4a":
        out = mp4_fields(f)
    elif fmt in ("wv", "mpc"):
        out = ape_fields(f)
    elif fmt == "wma":
        out = asf_fields(f)
    else:
        raise ValueError(fmt)
    out["playtime"] = f.info.length if f is not None and f.info else 0.0
    return out


def manifest_fields(track):
    t = track["tags"]
    return {"title": t.get("title", ""), "artist": t.get("artist", ""), "album": t.get("album", ""),
            "year": year_of(t.get("date", "")), "genre": t.get("genre", ""), "comment": t.get("comment", "")}


def audio_md5(path):
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "md5", "-"],
                       capture_output=True, timeout=120)
    return r.stdout.strip() if r.returncode == 0 else b"ffmpeg failed: " + r.stderr[-200:]


class InteropCorpus(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        testlib.require_tool()
        cls.tmp = tempfile.mkdtemp(prefix="interop_corpus_")
        cls.corpus = os.environ.get("VELTRANO_INTEROP_CORPUS")
        if not cls.corpus:
            cls.corpus = os.path.join(cls.tmp, "corpus")
            subprocess.run([MAKE_CORPUS, cls.corpus, "--files", "300", "--seconds", "2"],
                           check=True, stdout=subprocess.DEVNULL, timeout=600)
        with open(os.path.join(cls.corpus, "manifest.json"), encoding="utf-8") as fh:
            manifest = json.load(fh)
        cls.supported = supported_formats()
        cls.tracks = [t for t in manifest["tracks"] if t["format"] in cls.supported]
        skipped = sorted({t["format"] for t in manifest["tracks"]} - cls.supported)
        sys.stderr.write("interop corpus: comparing %s; SKIPPED until their tag support exists: %s\n"
                         % (", ".join(sorted(cls.supported)), ", ".join(skipped) or "none"))
        if not cls.tracks:
            raise unittest.SkipTest("no supported format in the corpus")
        paths = [os.path.join(cls.corpus, t["path"]) for t in cls.tracks]
        cls.ours = {}
        for i in range(0, len(paths), 200):
            r = subprocess.run([TOOL, "read", *paths[i:i + 200]], capture_output=True, timeout=600)
            assert r.returncode == 0, r.stderr.decode(errors="replace")
            for line in r.stdout.decode("utf-8").splitlines():
                d = json.loads(line)
                cls.ours[d["file"]] = d

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def known(self, fmt, variant, field):
        for f, v, fld, reason in KNOWN_DIFFERENCES:
            if f == fmt and re.search(v, variant) and fld == field:
                return reason
        return None

    def compare(self, path, fmt, variant, ours, theirs, fields, problems):
        for field in fields:
            if ours[field] == theirs[field]:
                continue
            reason = self.known(fmt, variant, field)
            line = "%s [%s/%s] %s: ours %r, mutagen %r" % (os.path.basename(path), fmt, variant, field,
                                                           ours[field], theirs[field])
            if reason:
                sys.stderr.write("known difference (%s): %s\n" % (reason, line))
            else:
                problems.append(line)

    def test_read_matches_mutagen(self):
        problems = []
        pending = set()
        for t in self.tracks:
            path = os.path.join(self.corpus, t["path"])
            d = self.ours[path]
            if d["result"] != 0:
                problems.append("%s: load result %d" % (t["path"], d["result"]))
                continue
            ours, theirs = ours_fields(d), mutagen_fields(path, t["format"])
            fields = FIELDS + ("pictures",)
            if t["format"] == "wav" and "id3" not in t["variant"]:
                # mutagen cannot read RIFF INFO: the manifest is the reference there.
                theirs = dict(theirs, **manifest_fields(t))
                fields = tuple(manifest_fields(t))
            self.compare(path, t["format"], t["variant"], ours, theirs, fields, problems)
            # The header fixes the play time everywhere but in MPEG files
            # without an Info/Xing header, where both sides estimate it.
            tolerance = 0.1 if "noinfo" not in t["variant"] else max(0.1, 0.03 * theirs["playtime"])
            if ours["playtime"] == 0 and t["format"] in PLAYTIME_PENDING:
                pending.add(t["format"])
            elif abs(ours["playtime"] - theirs["playtime"]) > tolerance:
                problems.append("%s: play time ours %.3f, mutagen %.3f" % (t["path"], ours["playtime"],
                                                                          theirs["playtime"]))
        for fmt in sorted(pending):
            sys.stderr.write("play time of %s SKIPPED: %s\n" % (fmt, PLAYTIME_PENDING[fmt]))
        self.assertEqual(problems, [], "\n" + "\n".join(problems[:60]))

    def test_written_values_read_back_everywhere(self):
        new = {"TITLE": "Новый заголовок – ß", "ARTIST": "Ärzte & 合唱団", "ALBUM": "Größte Hits",
               "YEAR": "2024", "TRACKNUMBER": "7", "GENRE": "Jazz", "COMMENT": "Zweite Zeile é"}
        per_variant = {}
        chosen = []
        for t in self.tracks:
            key = (t["format"], t["variant"])
            if per_variant.get(key, 0) < 3:
                per_variant[key] = per_variant.get(key, 0) + 1
                chosen.append(t)
        work = os.path.join(self.tmp, "written")
        os.makedirs(work, exist_ok=True)
        problems = []
        for i, t in enumerate(chosen):
            src = os.path.join(self.corpus, t["path"])
            path = os.path.join(work, "%03d%s" % (i, os.path.splitext(src)[1]))
            shutil.copyfile(src, path)
            before = audio_md5(path)
            args = [TOOL, "write", path]
            for k, v in new.items():
                args += ["--set", "%s=%s" % (k, v)]
            r = subprocess.run(args, capture_output=True, timeout=120)
            if r.returncode != 0:
                problems.append("%s: write failed: %s %s" % (t["path"], r.stdout, r.stderr[-300:]))
                continue
            want = {"title": new["TITLE"], "artist": new["ARTIST"], "album": new["ALBUM"], "year": "2024",
                    "genre": "Jazz", "comment": new["COMMENT"]}
            theirs = mutagen_fields(path, t["format"])
            got = json.loads(subprocess.run([TOOL, "read", path], capture_output=True).stdout)
            ours = ours_fields(got)
            # A WAVE file with RIFF INFO only is saved as RIFF INFO only, which
            # mutagen does not read: our reader and ffprobe check it.
            info_only = t["format"] == "wav" and "id3" not in t["variant"]
            if info_only:
                theirs = dict(ours)
            for field, value in want.items():
                for who, vals in (("mutagen", theirs), ("ours", ours)):
                    if vals[field] == value:
                        continue
                    reason = self.known(t["format"], t["variant"], field + "-written") or \
                        self.known(t["format"], t["variant"], field)
                    if reason:
                        sys.stderr.write("known difference (%s): %s %s %s %r\n" % (reason, t["path"], who, field,
                                                                                  vals[field]))
                    else:
                        problems.append("%s [%s]: %s %s %r, want %r" % (t["path"], t["variant"], who, field,
                                                                        vals[field], value))
            if not theirs["track"].split("/")[0] == "7":
                problems.append("%s: mutagen track %r" % (t["path"], theirs["track"]))
            if theirs["pictures"] != mutagen_fields(src, t["format"])["pictures"]:
                problems.append("%s: pictures changed: %r" % (t["path"], theirs["pictures"]))
            probe = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_format", "-show_streams",
                                    path], capture_output=True)
            probed = json.loads(probe.stdout or b"{}")
            # Ogg comments belong to their logical stream: ffprobe lists them with the stream.
            found = dict(probed.get("format", {}).get("tags", {}))
            for stream in probed.get("streams", []):
                if stream.get("codec_type") == "audio":
                    found.update(stream.get("tags", {}))
                    break
            ftags = {k.lower(): v for k, v in found.items()}
            for key, value in (("title", new["TITLE"]), ("artist", new["ARTIST"]), ("album", new["ALBUM"])):
                if t["format"] == "wav" and ftags.get(key) != value and value.encode("cp1252", "ignore").decode("cp1252") == value:
                    sys.stderr.write("known difference (%s): %s ffprobe %s %r\n" % (WAV_FFPROBE_ANSI, t["path"], key,
                                                                                   ftags.get(key)))
                    continue
                if ftags.get(key) != value:
                    problems.append("%s: ffprobe %s %r, want %r" % (t["path"], key, ftags.get(key), value))
            if audio_md5(path) != before:
                problems.append("%s: decoded audio changed" % t["path"])
            if "v1" in t["variant"] and t["format"] == "mp3":
                with open(path, "rb") as fh:
                    tail = fh.read()[-128:]
                want_v1 = new["TITLE"].encode("cp1252", errors="replace")[:30]
                if tail[:3] != b"TAG" or tail[3:3 + len(want_v1)] != want_v1:
                    problems.append("%s: ID3v1 title bytes %r, want %r" % (t["path"], tail[3:33], want_v1))
        self.assertEqual(problems, [], "\n" + "\n".join(problems[:60]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
