#!/usr/bin/python3
"""veltrano-tags lookup against a music database served by this script on
127.0.0.1 from answers cut and assembled from recorded ones
(tests/fixtures/musicbrainz, shared/fixtures/musicbrainz): the candidate
lines, what --pick and --release write (read back with mutagen), the
failures that leave the file unchanged, the release's front cover from a
cover archive served here too (--cover, --replace-covers; the picture read
back with mutagen), and the requests on the wire."""
import http.server
import json
import os
import subprocess
import sys
import threading
import time
import unittest
import urllib.parse
import zlib
import struct

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testlib  # noqa: E402

OWN = os.path.join(testlib.SRC, "tests", "fixtures", "musicbrainz")
SHARED = os.path.join(testlib.SHARED, "fixtures", "musicbrainz")
KEYS = ["file", "release", "recording", "title", "artist", "album", "albumartist", "date", "country", "format",
        "track", "score"]
# Search answers by the artist searched for.
SEARCHES = {"Godspeed": "search-godspeed-storm.json", "Jay-Z": "search-collision-course.json",
            "アニメタル": "search-zankoku-cut.json", "Ed Sheeran": "search-credit-joins.json"}
RELEASES = {"2810aeef-eaf4-4ea3-a0ee-fd41f8e64285": os.path.join(SHARED, "eval_release_2810aeef.json"),
            "6a76904c-0caf-34e1-8cc2-7d95e86a3824": os.path.join(SHARED, "eval_release_6a76904c.json"),
            "b7bcd3df-d1a7-4ae1-941d-19507b64bbec": os.path.join(OWN, "release-b7bcd3df.json"),
            "8d266a93-2e25-42c0-b20c-9e91054eb5fe": os.path.join(OWN, "release-8d266a93.json")}


COVER_RELEASE = "6a76904c-0caf-34e1-8cc2-7d95e86a3824"
LISTING = os.path.join(testlib.SRC, "tests", "fixtures", "coverartarchive", "release-listing.json")


def real_png(width, height, rgb):
    """A PNG that decodes: one colour, 8-bit RGB."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def body_of(path):
    with open(path, "rb") as f:
        return f.read()


class Server:
    """The music database on a free loopback port; every request is kept."""
    def __init__(self):
        self.seen = []   # (path and query, User-Agent, arrival time)
        self.covers = {}  # the cover archive: path -> (status, body)
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                outer.seen.append((self.path, self.headers.get("User-Agent"), time.monotonic()))
                status, body = outer.answer(self.path)
                self.send_response(status)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d" % self.httpd.server_port

    def answer(self, path):
        url = urllib.parse.urlsplit(path)
        if url.path == "/ws/2/recording/":
            query = urllib.parse.parse_qs(url.query)["query"][0]
            artist = query.split('"')[1]
            if artist == "Busy":
                return 503, b""
            name = SEARCHES.get(artist)
            return 200, body_of(os.path.join(OWN, name)) if name else b'{"count":0,"offset":0,"recordings":[]}'
        if url.path.startswith("/ws/2/release/"):
            release = RELEASES.get(url.path[len("/ws/2/release/"):])
            return (200, body_of(release)) if release else (404, b'{"error":"Not Found"}')
        return self.covers.get(url.path, (404, b""))

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Lookup(testlib.ToolCase, unittest.TestCase):
    prefix = "veltrano_lookup_"

    @classmethod
    def setUpClass(cls):
        testlib.require_tool()
        try:
            import mutagen.id3  # noqa: F401
        except ImportError:
            raise unittest.SkipTest("mutagen not installed")
        cls.server = Server()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def setUp(self):
        super().setUp()
        self.server.seen.clear()
        self.server.covers.clear()

    def song(self, name, artist, title, album="Old Album"):
        import mutagen.id3 as id3
        return testlib.mp3_by_mutagen(self.path(name), [
            id3.TIT2(encoding=3, text=title), id3.TPE1(encoding=3, text=artist), id3.TALB(encoding=3, text=album),
            id3.TPE2(encoding=3, text="Old Album Artist"), id3.TDRC(encoding=3, text="1990"),
            id3.TCON(encoding=3, text="Soundtrack")])

    def lookup(self, *args):
        env = dict(os.environ, VELTRANO_MUSICBRAINZ_URL=self.server.url, VELTRANO_COVERART_URL=self.server.url + "/caa",
                   XDG_CONFIG_HOME=self.dir)
        r = subprocess.run([testlib.TOOL, "lookup", *args], capture_output=True, timeout=120, env=env)
        self.assertGreaterEqual(r.returncode, 0, r.stderr)
        self.assertNotIn(b"AddressSanitizer", r.stderr)
        return r

    def lines(self, r):
        out = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
        for line in out:
            if "error" not in line:
                self.assertEqual(list(line), KEYS)
        return out

    @staticmethod
    def frames(path):
        import mutagen.id3 as id3
        tags = id3.ID3(path)
        return {k: str(tags[k].text[0]) for k in ("TIT2", "TPE1", "TALB", "TPE2", "TDRC", "TCON") if k in tags}

    def test_one_line_per_release_of_each_recording_best_first(self):
        f = self.song("zankoku.mp3", "アニメタル", "残酷な天使のテーゼ")
        r = self.lookup(f)
        self.assertEqual(r.returncode, 0, r.stderr)
        got = [(c["recording"][:8], c["release"][:8], c["title"], c["artist"], c["album"], c["albumartist"], c["date"],
                c["country"], c["format"], c["track"], c["score"]) for c in self.lines(r)]
        self.assertEqual(got, [
            ("1a78182e", "0a3122d0", "残酷な天使のテーゼ", "奥井雅美", "マサミコブシ", "奥井雅美", "2003-05-01", "JP", "CD", "5", 100),
            ("1a78182e", "632faf4b", "残酷な天使のテーゼ", "奥井雅美", "マサミコブシ", "奥井雅美", "2005-05-11", "JP", "CD", "5", 100),
            ("ca8ed471", "8d266a93", "残酷な天使のテーゼ", "アニメタルUSA", "アニメタルUSA", "アニメタルUSA", "2011-10-12", "JP",
             "CD", "5", 100),
            ("ca8ed471", "b7bcd3df", "Zankoku na Tenshi no These", "アニメタルUSA", "Animetal USA", "Animetal USA", "", "",
             "CD", "5", 100)])
        # Listing writes nothing; the search names title and artist only, with the program's identity.
        self.assertEqual(self.frames(f)["TALB"], "Old Album")
        self.assertEqual(len(self.server.seen), 1)
        path, agent, _ = self.server.seen[0]
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(path).query)
        self.assertEqual(query["query"], ['artist:"アニメタル" AND recording:"残酷な天使のテーゼ"'])
        self.assertEqual(query["fmt"], ["json"])
        self.assertEqual(agent, "Veltrano/2.3 ( support@veltrano.example )")

    def test_credits_are_joined_as_the_database_shows_them(self):
        r = self.lookup(self.song("a.mp3", "Ed Sheeran", "1000 Nights"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([c["artist"] for c in self.lines(r)], [
            "Ed Sheeran feat. Meek Mill & A Boogie Wit da Hoodie", "椎名林檎と宮本浩次",
            "Matthew R. Pelling, Andre N. Touhey & Paul I. Willard"])

    def test_pick_or_release_writes_the_release_as_the_database_shows_it(self):
        cases = [
            # The video recording's row: the credit with its credited names.
            ("cc.mp3", "Jay-Z", "Dirt Off Your Shoulder", ["--pick", "2"],
             {"TIT2": "Dirt Off Your Shoulder / Lying From You", "TPE1": "Jay‐Z / Linkin Park",
              "TALB": "MTV Ultimate Mash‐Ups Presents: Collision Course", "TPE2": "Jay‐Z / Linkin Park",
              "TDRC": "2004", "TCON": "Soundtrack"},
             ("c4d62c71-0506-4fea-a6be-20161a3a3a45", "2004-11-29", "XE", "DVD-Video", "2-6")),
            ("storm.mp3", "Godspeed", "storm", ["--release", "6a76904c-0caf-34e1-8cc2-7d95e86a3824"],
             {"TIT2": "Storm", "TPE1": "Godspeed You Black Emperor!",
              "TALB": "Lift Yr. Skinny Fists Like Antennas to Heaven!", "TPE2": "Godspeed You Black Emperor!",
              "TDRC": "2000", "TCON": "Soundtrack"},
             ("519e6d2f-c762-48b1-8798-8f0299e11cc7", "2000-10-09", "US", "CD", "1")),
            # A release without a date: the old year goes rather than stay beside another release's album.
            ("z.mp3", "アニメタル", "残酷な天使のテーゼ", ["--pick", "4"],
             {"TIT2": "Zankoku na Tenshi no These", "TPE1": "アニメタルUSA", "TALB": "Animetal USA",
              "TPE2": "Animetal USA", "TCON": "Soundtrack"},
             ("ca8ed471-e976-499c-9438-543ec7302f18", "", "", "CD", "5")),
        ]
        for name, artist, title, choice, frames, (recording, date, country, fmt, track) in cases:
            with self.subTest(name):
                f = self.song(name, artist, title)
                r = self.lookup(f, *choice)
                self.assertEqual(r.returncode, 0, r.stderr)
                [line] = self.lines(r)
                self.assertEqual((line["recording"], line["date"], line["country"], line["format"], line["track"]),
                                 (recording, date, country, fmt, track))
                self.assertEqual((line["title"], line["artist"], line["album"], line["albumartist"]),
                                 (frames["TIT2"], frames["TPE1"], frames["TALB"], frames["TPE2"]))
                self.assertEqual(self.frames(f), frames)
                self.assertTrue(self.server.seen[-1][0].endswith("?inc=artist-credits+recordings&fmt=json"))

    def test_failures_leave_the_file_unchanged(self):
        f = self.song("f.mp3", "アニメタル", "残酷な天使のテーゼ")
        before = testlib.read_bytes(f)
        for args, status, message in [
                (["--pick", "9"], 1, b"there is no candidate 9 (4 found)"),
                (["--release", "11111111-2222-3333-4444-555555555555"], 1, b"no candidate is on release"),
                # The release of the first candidate is not served (404).
                (["--pick", "1"], 1, b"HTTP 404"),
                (["--pick", "0"], 2, b"--pick needs a number from 1"),
                (["--pick", "x"], 2, b"--pick needs a number from 1"),
                (["--release", "../../admin"], 2, b"--release needs a release identifier"),
                (["--pick"], 2, b"--pick needs a value"),
                (["--pick", "1", "--release", "6a76904c-0caf-34e1-8cc2-7d95e86a3824"], 2, b"once"),
                ([f, "--pick", "1"], 2, b"usage"),
                (["--frobnicate"], 2, b"unknown option")]:
            with self.subTest(args=args):
                r = self.lookup(f, *args)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn(message, r.stderr)
                self.assertEqual(r.stdout, b"")
                self.assertEqual(testlib.read_bytes(f), before)

        # Files that cannot be searched get an error line each; the others their candidates.
        busy = self.song("busy.mp3", "Busy", "Song")
        untitled = self.song("untitled.mp3", "Someone", "")
        nothing = self.song("nothing.mp3", "Nobody", "Song")
        missing = self.path("missing.mp3")
        r = self.lookup(busy, untitled, nothing, missing, self.song("s.mp3", "Godspeed", "Storm"))
        self.assertEqual(r.returncode, 1)
        out = self.lines(r)
        self.assertEqual([(os.path.basename(c["file"]), "error" in c) for c in out],
                         [("busy.mp3", True), ("untitled.mp3", True), ("missing.mp3", True), ("s.mp3", False)])
        self.assertIn("503", out[0]["error"])

    def test_front_cover_from_the_archive(self):
        import mutagen.id3 as id3
        front = real_png(500, 500, (200, 40, 40))
        with open(LISTING, "rb") as f:
            listing = f.read().replace(b"http://coverartarchive.org", (self.server.url + "/caa").encode())
        picture_path = "/caa/release/%s/30000000002-500.jpg" % COVER_RELEASE

        def pictures(path):
            return [(p.type, p.mime, p.data) for p in id3.ID3(path).getall("APIC")]

        def cover_paths():
            return [p for p, _, _ in self.server.seen if p.startswith("/caa/")]

        storm = ["--release", COVER_RELEASE]
        # A file without a cover gets the release's front picture.
        self.server.covers = {"/caa/release/" + COVER_RELEASE: (200, listing), picture_path: (200, front)}
        f = self.song("c.mp3", "Godspeed", "Storm")
        r = self.lookup(f, *storm, "--cover")
        self.assertEqual(r.returncode, 0, r.stderr)
        [line] = [json.loads(x) for x in r.stdout.decode().splitlines()]
        self.assertEqual(list(line), KEYS + ["cover"])
        self.assertEqual(line["cover"], "added")
        self.assertEqual(pictures(f), [(3, "image/png", front)])
        self.assertEqual(self.frames(f)["TALB"], "Lift Yr. Skinny Fists Like Antennas to Heaven!")
        self.assertEqual(cover_paths(), ["/caa/release/" + COVER_RELEASE, picture_path])
        self.assertEqual({agent for _, agent, _ in self.server.seen}, {"Veltrano/2.3 ( support@veltrano.example )"})
        times = [t for _, _, t in self.server.seen]
        self.assertTrue(all(b - a >= 1.0 for a, b in zip(times, times[1:])), "requests spaced: %r" % times)

        # --cover keeps a cover the file has, without asking the archive;
        # --replace-covers replaces it.
        older = real_png(40, 40, (0, 0, 255))
        for option, outcome, picture in [("--cover", "kept", older), ("--replace-covers", "replaced", front)]:
            d = self.song("d%s.mp3" % option, "Godspeed", "Storm")
            tags = id3.ID3(d)
            tags.add(id3.APIC(encoding=3, mime="image/png", type=3, desc="", data=older))
            tags.save(d)
            self.server.seen.clear()
            r = self.lookup(d, *storm, option)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(json.loads(r.stdout)["cover"], outcome)
            self.assertEqual(cover_paths(), [] if outcome == "kept" else ["/caa/release/" + COVER_RELEASE, picture_path])
            self.assertEqual(pictures(d), [(3, "image/png", picture)])

        # The archive holds nothing of the release (404): no failure, the tags are written.
        self.server.covers = {}
        g = self.song("g.mp3", "Godspeed", "Storm")
        r = self.lookup(g, *storm, "--cover")
        self.assertEqual((r.returncode, json.loads(r.stdout)["cover"]), (0, "none"), r.stderr)
        self.assertEqual(pictures(g), [])
        self.assertEqual(self.frames(g)["TDRC"], "2000")

        # A picture that does not decode is refused; the tags are still written, exit 1.
        self.server.covers = {"/caa/release/" + COVER_RELEASE: (200, listing), picture_path: (200, testlib.png_bytes())}
        h = self.song("h.mp3", "Godspeed", "Storm")
        r = self.lookup(h, *storm, "--cover")
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual(json.loads(r.stdout)["cover"], "failed")
        self.assertIn(b"the front cover could not be fetched: The cover picture is not a JPEG or PNG image", r.stderr)
        self.assertEqual(pictures(h), [])
        self.assertEqual(self.frames(h)["TDRC"], "2000")

        for args, message in [(["--cover"], b"need --pick or --release"),
                              (storm + ["--cover", "--replace-covers"], b"once")]:
            r = self.lookup(h, *args)
            self.assertEqual(r.returncode, 2, r.stderr)
            self.assertIn(message, r.stderr)

    def test_a_certificate_nobody_vouches_for_is_refused(self):
        import shutil
        import ssl
        if shutil.which("openssl") is None:
            self.skipTest("openssl not installed")
        cert, key = self.path("cert.pem"), self.path("key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        tls = Server()
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert, key)
        tls.httpd.socket = ctx.wrap_socket(tls.httpd.socket, server_side=True)
        try:
            env = dict(os.environ, VELTRANO_MUSICBRAINZ_URL="https://127.0.0.1:%d" % tls.httpd.server_port,
                       XDG_CONFIG_HOME=self.dir)
            r = subprocess.run([testlib.TOOL, "lookup", self.song("a.mp3", "Godspeed", "Storm")], capture_output=True,
                               timeout=120, env=env)
        finally:
            tls.close()
        self.assertEqual(r.returncode, 1, r.stderr)
        [line] = self.lines(r)
        self.assertIn("certificate", line["error"].lower())
        self.assertEqual(tls.seen, [], "no request passes an untrusted certificate")

    def test_requests_are_spaced_like_the_windows(self):
        a = self.song("a.mp3", "Godspeed", "Storm")
        b = self.song("b.mp3", "Ed Sheeran", "1000 Nights")
        r = self.lookup(a, b)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(self.server.seen), 2)
        self.assertGreaterEqual(self.server.seen[1][2] - self.server.seen[0][2], 1.0)


if __name__ == "__main__":
    unittest.main()
