#!/bin/bash
# Screenshots of the online windows under Xvfb, against local servers only:
#
#   scripts/screenshot-lookup.sh OUT_FOLDER
#
# pick-dialog.png   the Auto-Tag pick dialog with several releases of each
#                   recording, served over plain HTTP on 127.0.0.1 from the
#                   answers of tests/fixtures/musicbrainz and the shared ones,
#                   with "Replace covers" ticked
# new-version.png   the new-version dialog, its pages served over HTTPS on
#                   127.0.0.1 with a certificate made here with openssl
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${VELTRANO_BIN:-$ROOT/build/bin}
OUT=$(realpath -m "${1:-$PWD}")
FIXTURES=$ROOT/../shared/fixtures/musicbrainz
mkdir -p "$OUT"
WORK=$(mktemp -d)
PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$WORK"; }
trap cleanup EXIT

# A static server on a free loopback port; its port goes to $PORT.
serve() {  # ROOT [CERT KEY]
    local PortFile=$WORK/port.$#
    /usr/bin/python3 - "$@" > "$PortFile" 2>/dev/null <<'PY' &
import functools, http.server, ssl, sys
root = sys.argv[1]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
httpd = http.server.HTTPServer(("127.0.0.1", 0), handler)
if len(sys.argv) > 3:
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(sys.argv[2], sys.argv[3])
    httpd.socket = ctx.wrap_socket(httpd.socket, server_side=True)
print(httpd.server_address[1], flush=True)
httpd.serve_forever()
PY
    PIDS+=($!)
    for _ in $(seq 50); do [ -s "$PortFile" ] && break; sleep 0.1; done
    PORT=$(cat "$PortFile")
}

# --- the pick dialog -----------------------------------------------------------
mkdir -p "$WORK/mb/ws/2/recording" "$WORK/music" "$WORK/config/Veltrano"
# Several releases of each recording: the answers cut and assembled from
# recorded ones (two recordings on two releases each, one release without a
# date; an audio and a video recording of one song; one recording on two
# media of one release).
/usr/bin/python3 - "$ROOT/tests/fixtures/musicbrainz" "$FIXTURES" > "$WORK/mb/ws/2/recording/index.html" <<'PY'
import json, os, sys
own, shared = sys.argv[1], sys.argv[2]
def recordings(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)["recordings"]
answer = {"created": None, "offset": 0, "recordings":
          recordings(os.path.join(own, "search-zankoku-cut.json")) +
          recordings(os.path.join(own, "search-collision-course.json")) +
          recordings(os.path.join(shared, "recording-search_mb-solr_recording-list.json"))}
for r, score in zip(answer["recordings"], [100, 100, 96, 96, 88]):
    r["score"] = score
answer["count"] = len(answer["recordings"])
json.dump(answer, sys.stdout, ensure_ascii=False)
PY
ffmpeg -loglevel error -f lavfi -i anullsrc=r=44100:cl=stereo -t 1 -metadata title="残酷な天使のテーゼ" \
    -metadata artist="アニメタル" -metadata album="Animetal" "$WORK/music/05 Zankoku.mp3"
cat > "$WORK/config/Veltrano/set.ini" <<INI
[Main]
WindowState=0
Left=0
Top=0
Width=1200
Height=800
Folder=$WORK/music
INI
serve "$WORK/mb"
MB_PORT=$PORT
rm -f "$OUT/pick-dialog.png"
XDG_CONFIG_HOME="$WORK/config" VELTRANO_UPDATE_URL=http://127.0.0.1:1 \
    VELTRANO_MUSICBRAINZ_URL="http://127.0.0.1:$MB_PORT" VELTRANO_COVERART_URL=http://127.0.0.1:1 \
    VELTRANO_TEST_HOOK="autotag-screenshot=$OUT/pick-dialog.png|replace" \
    xvfb-run -a -s "-screen 0 1200x800x24" timeout 120 "$BIN/veltrano"
[ -s "$OUT/pick-dialog.png" ] || { echo "no pick dialog screenshot" >&2; exit 1; }
echo "$OUT/pick-dialog.png"

# --- the new-version dialog ----------------------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$WORK/key.pem" -out "$WORK/cert.pem" >/dev/null 2>&1
mkdir -p "$WORK/update/download/version"
printf '24/20\r\n' > "$WORK/update/download/version/veltrano-version.html"
printf 'Faster folder scans on large libraries\n\nMusicBrainz look-ups keep the window responsive\nThe update check uses HTTPS\n' \
    > "$WORK/update/download/version/veltrano-changes.html"
serve "$WORK/update" "$WORK/cert.pem" "$WORK/key.pem"
UP_PORT=$PORT
rm -f "$OUT/new-version.png"
XDG_CONFIG_HOME="$WORK/config" VELTRANO_UPDATE_URL="https://127.0.0.1:$UP_PORT" \
    VELTRANO_TEST_HOOK="newversion-screenshot=$OUT/new-version.png|$WORK/cert.pem" \
    xvfb-run -a -s "-screen 0 1024x768x24" timeout 60 "$BIN/veltrano"
[ -s "$OUT/new-version.png" ] || { echo "no new-version screenshot" >&2; exit 1; }
echo "$OUT/new-version.png"
