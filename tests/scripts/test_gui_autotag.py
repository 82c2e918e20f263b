#!/usr/bin/python3
"""Auto-Tag through the real program, off screen, against a music database
served by this script on 127.0.0.1 from the recorded answers.

An MP3 with artist and title is listed; the program searches, the pick
dialog's third row (one row per release of each recording, by score) is
double-clicked, the release is looked up, its front cover is fetched from a
cover archive served by this script too, and the file is saved. mutagen then
reads the new title, artist, album, album artist, year and front picture
from the file, and the requests on the wire are checked. Two more runs give
the file an older cover first: without "Replace covers" it stays and the
archive is not asked; with the box ticked it is replaced.
"""
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

import testlib

BIN = testlib.BIN
SOURCE = os.environ.get("VELTRANO_SOURCE_DIR", ".")
FIXTURES = os.path.join(SOURCE, "..", "shared", "fixtures", "musicbrainz")
RELEASE_ID = "6a76904c-0caf-34e1-8cc2-7d95e86a3824"
LISTING = os.path.join(SOURCE, "tests", "fixtures", "coverartarchive", "release-listing.json")


def search_answer():
    """The recorded search answer (one recording, on two media of one release)
    and "Storm", assembled from its recorded release, with a lower score."""
    with open(os.path.join(FIXTURES, "recording-search_mb-solr_recording-list.json"), encoding="utf-8") as f:
        answer = json.load(f)
    with open(os.path.join(SOURCE, "tests", "fixtures", "musicbrainz", "search-godspeed-storm.json"),
              encoding="utf-8") as f:
        storm = json.load(f)["recordings"][0]
    storm["score"] = 90
    answer["recordings"].append(storm)
    return json.dumps(answer).encode("utf-8")


def main():
    if not os.path.exists(os.path.join(BIN, "veltrano")) or shutil.which("ffmpeg") is None:
        print("veltrano or ffmpeg missing; 0 passed, 0 failed, 1 skipped")
        return 0
    try:
        import mutagen.id3
    except ImportError:
        print("mutagen missing; 0 passed, 0 failed, 1 skipped")
        return 0
    with open(os.path.join(FIXTURES, "eval_release_6a76904c.json"), "rb") as f:
        release = f.read()
    search = search_answer()
    seen = []
    served = {}   # path -> (content type, body) of the cover archive

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            seen.append((self.path, self.headers.get("User-Agent"), self.headers.get("Accept")))
            kind = "application/json"
            if self.path.startswith("/ws/2/recording/"):
                body = search
            elif self.path.startswith("/ws/2/release/" + RELEASE_ID):
                body = release
            elif self.path in served:
                kind, body = served[self.path]
            else:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_port
    check = testlib.Checks()

    tmp = tempfile.mkdtemp(prefix="veltrano-autotag-")
    try:
        music = os.path.join(tmp, "music")
        config = os.path.join(tmp, "config", "Veltrano")
        os.makedirs(music)
        os.makedirs(config)
        song = os.path.join(music, "storm.mp3")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo",
                        "-t", "1", "-metadata", "title=Storm", "-metadata", "artist=Godspeed",
                        "-metadata", "genre=Post-Rock", song], check=True)
        # The archive's front picture (500 pixels) and an older cover the file gets later.
        front, old = os.path.join(tmp, "front.jpg"), os.path.join(tmp, "old.png")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "color=c=red:s=500x500", "-frames:v", "1",
                        front], check=True)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "color=c=blue:s=60x60", "-frames:v", "1",
                        old], check=True)
        with open(LISTING, "rb") as f:
            served["/caa/release/" + RELEASE_ID] = ("application/json",
                                                     f.read().replace(b"http://coverartarchive.org", (base + "/caa").encode()))
        served["/caa/release/%s/30000000002-500.jpg" % RELEASE_ID] = ("image/jpeg", testlib.read_bytes(front))
        with open(os.path.join(config, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1200\nHeight=800\nFolder=%s\n" % music)

        def run(hook):
            seen.clear()
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.dirname(config),
                       VELTRANO_MUSICBRAINZ_URL=base, VELTRANO_COVERART_URL=base + "/caa",
                       VELTRANO_UPDATE_URL="https://127.0.0.1:9", VELTRANO_TEST_HOOK="autotag-pick=" + hook)
            r = testlib.run_program(BIN, env, check=False)
            check(r.returncode == 0, "the program ended normally (%d, %s)" % (r.returncode, hook))
            return [p for p, _, _ in seen]

        def pictures():
            return [(f.type, f.mime, f.data) for f in mutagen.id3.ID3(song).getall("APIC")]

        paths = run("2")
        check(len(seen) == 4, "a search, a release look-up, the cover listing and the picture: %r" % paths)
        if seen:
            query = urllib.parse.urlsplit(seen[0][0])
            check(query.path == "/ws/2/recording/", "search path %r" % query.path)
            check(query.query == "fmt=json&limit=25&query=artist%3A%22Godspeed%22+AND+recording%3A%22Storm%22",
                  "search query %r" % query.query)
            check(all(ua == "Veltrano/2.3 ( support@veltrano.example )" for _, ua, _ in seen),
                  "User-Agent %r" % [ua for _, ua, _ in seen])
            check(all(acc == "application/json" for _, _, acc in seen[:3]), "Accept header")
        if len(seen) == 4:
            check(seen[1][0] == "/ws/2/release/%s?inc=artist-credits+recordings&fmt=json" % RELEASE_ID,
                  "release path %r" % seen[1][0])
            check(paths[2:] == ["/caa/release/" + RELEASE_ID, "/caa/release/%s/30000000002-500.jpg" % RELEASE_ID],
                  "cover paths %r" % paths[2:])

        tags = mutagen.id3.ID3(song)
        def text(frame):
            return str(tags[frame].text[0]) if frame in tags else None
        check(text("TIT2") == "Storm", "title %r" % text("TIT2"))
        # As the release credits the track: the credited name, not the artist's own.
        check(text("TPE1") == "Godspeed You Black Emperor!", "artist %r" % text("TPE1"))
        check(text("TALB") == "Lift Yr. Skinny Fists Like Antennas to Heaven!", "album %r" % text("TALB"))
        check(text("TPE2") == "Godspeed You Black Emperor!", "album artist %r" % text("TPE2"))
        check(text("TDRC") == "2000", "year %r" % text("TDRC"))
        check(text("TCON") == "Post-Rock", "genre kept %r" % text("TCON"))
        check(pictures() == [(3, "image/jpeg", testlib.read_bytes(front))],
              "the archive's front picture as the front cover: %r" % [p[:2] for p in pictures()])
        check(sorted(os.listdir(os.path.dirname(song))) == [os.path.basename(song)], "nothing left beside the file")

        # A file with a cover keeps it, and the archive is not asked.
        tags = mutagen.id3.ID3(song)
        tags.delall("APIC")
        tags.add(mutagen.id3.APIC(encoding=3, mime="image/png", type=3, desc="", data=testlib.read_bytes(old)))
        tags.save(song)
        paths = run("2")
        check(not any(p.startswith("/caa/") for p in paths), "no cover request for a file with a cover: %r" % paths)
        check(pictures() == [(3, "image/png", testlib.read_bytes(old))], "the file's own cover kept")

        # "Replace covers" ticked: the release's cover replaces it.
        paths = run("2|replace")
        check(paths[2:] == ["/caa/release/" + RELEASE_ID, "/caa/release/%s/30000000002-500.jpg" % RELEASE_ID],
              "cover paths with Replace covers %r" % paths)
        check(pictures() == [(3, "image/jpeg", testlib.read_bytes(front))],
              "the cover replaced: %r" % [p[:2] for p in pictures()])
    finally:
        server.shutdown()
        shutil.rmtree(tmp, ignore_errors=True)

    return check.report()


if __name__ == "__main__":
    sys.exit(main())
