#!/usr/bin/python3
"""Auto-Tag through the real program, off screen, against a music database
served by this script on 127.0.0.1 from the recorded answers.

An MP3 with artist and title is listed; the program searches, the pick
dialog's third row (one row per release of each recording, by score) is
double-clicked, the release is looked up and the file
is saved. mutagen then reads the new title, artist, album, album artist and
year from the file, and the requests on the wire are checked.
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

BIN = os.environ.get("VELTRANO_BIN", "build/bin")
SOURCE = os.environ.get("VELTRANO_SOURCE_DIR", ".")
FIXTURES = os.path.join(SOURCE, "..", "shared", "fixtures", "musicbrainz")
RELEASE_ID = "6a76904c-0caf-34e1-8cc2-7d95e86a3824"


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

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            seen.append((self.path, self.headers.get("User-Agent"), self.headers.get("Accept")))
            if self.path.startswith("/ws/2/recording/"):
                body = search
            elif self.path.startswith("/ws/2/release/" + RELEASE_ID):
                body = release
            else:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
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
        with open(os.path.join(config, "set.ini"), "w", encoding="utf-8") as f:
            f.write("[Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=1200\nHeight=800\nFolder=%s\n" % music)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.dirname(config),
                   VELTRANO_MUSICBRAINZ_URL="http://127.0.0.1:%d" % server.server_port,
                   VELTRANO_UPDATE_URL="https://127.0.0.1:9", VELTRANO_TEST_HOOK="autotag-pick=2")
        run = testlib.run_program(BIN, env, check=False)
        check(run.returncode == 0, "the program ended normally (%d)" % run.returncode)

        paths = [p for p, _, _ in seen]
        check(len(seen) == 2, "one search and one release look-up: %r" % paths)
        if seen:
            query = urllib.parse.urlsplit(seen[0][0])
            check(query.path == "/ws/2/recording/", "search path %r" % query.path)
            check(query.query == "fmt=json&limit=25&query=artist%3A%22Godspeed%22+AND+recording%3A%22Storm%22",
                  "search query %r" % query.query)
            check(all(ua == "Veltrano/2.3 ( support@veltrano.example )" for _, ua, _ in seen),
                  "User-Agent %r" % [ua for _, ua, _ in seen])
            check(all(acc == "application/json" for _, _, acc in seen), "Accept header")
        if len(seen) > 1:
            check(seen[1][0] == "/ws/2/release/%s?inc=artist-credits+recordings&fmt=json" % RELEASE_ID,
                  "release path %r" % seen[1][0])

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
        check(sorted(os.listdir(os.path.dirname(song))) == [os.path.basename(song)], "nothing left beside the file")
    finally:
        server.shutdown()
        shutil.rmtree(tmp, ignore_errors=True)

    return check.report()


if __name__ == "__main__":
    sys.exit(main())
