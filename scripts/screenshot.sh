#!/bin/bash
# Screenshot of the main window on a generated music library, under Xvfb.
#
#   scripts/screenshot.sh [OUT.png] [MUSIC_FOLDER]
#
# The window opens on MUSIC_FOLDER (default: a 200-file library generated
# once under /tmp), lists every file, selects the first one with a cover and
# saves a picture of the whole 1600 x 1000 screen to OUT.png. Settings go to
# a temporary XDG_CONFIG_HOME, so the user's own settings are not touched.
# VELTRANO_SHOT=presets (or actions, or menu:mmTags ...) shows the preset
# editor, the actions editor of the default preset, or that open menu, with
# every command of the window enabled; VELTRANO_SHOT=filter:TEXT types TEXT
# into the filter box first. VELTRANO_LANGUAGE=de (or any code of
# share/transl.dt: ar, jp ...) starts the window in that language.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${VELTRANO_BIN:-$ROOT/build/bin}
OUT=$(realpath -m "${1:-$PWD/veltrano-screenshot.png}")
FOLDER=${2:-/tmp/veltrano-corpus200}

if [ ! -d "$FOLDER" ]; then
    MAKE_CORPUS=""
    for c in "$ROOT/../shared/corpus/make-corpus" "$ROOT/shared/corpus/make-corpus"; do
        [ -x "$c" ] && MAKE_CORPUS=$c && break
    done
    [ -n "$MAKE_CORPUS" ] || { echo "no music folder and no make-corpus to make one" >&2; exit 1; }
    "$MAKE_CORPUS" "$FOLDER" --files 200
fi
FOLDER=$(realpath "$FOLDER")

CONFIG=$(mktemp -d)
trap 'rm -rf "$CONFIG"' EXIT
mkdir -p "$CONFIG/Veltrano"
cat > "$CONFIG/Veltrano/set.ini" <<INI
[Main]
WindowState=0
Left=0
Top=0
Width=1600
Height=1000
Folder=$FOLDER
INI

if [ -n "${VELTRANO_LANGUAGE:-}" ]; then
    printf '[General]\nCurrentLanguage=%s\n' "$VELTRANO_LANGUAGE" > "$CONFIG/Veltrano/Veltrano.conf"
fi

rm -f "$OUT"
XDG_CONFIG_HOME="$CONFIG" VELTRANO_TEST_HOOK="screenshot=$OUT${VELTRANO_SHOT:+|$VELTRANO_SHOT}" \
    xvfb-run -a -s "-screen 0 1600x1000x24" timeout 300 "$BIN/veltrano"
[ -s "$OUT" ] || { echo "no screenshot was written" >&2; exit 1; }
echo "$OUT"
