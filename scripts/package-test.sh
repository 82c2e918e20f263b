#!/bin/bash
# The Debian package from end to end, as a user of a fresh Debian 12 meets it:
# cpack builds it in the build folder; lintian and appstreamcli check it; apt
# installs it into the system; the installed program starts from its menu
# entry under Xvfb (twice: once reporting its state, once taking a screenshot)
# with a throw-away HOME; the installed veltrano-tags tags a few files; the
# manual pages open with man and the completion loads; then the package is
# purged and none of its files may be left.
#
#   scripts/package-test.sh [BUILD_DIR]      (default: build; already built)
#
# Needs root, or sudo, for apt. VELTRANO_PACKAGE_NOTES=DIR keeps the package's
# facts, lintian's and appstreamcli's output and the screenshot in DIR.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build}")
NOTES=${VELTRANO_PACKAGE_NOTES:-}
APP_ID=example.veltrano.Veltrano

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

step() { printf '\n== %s\n' "$*"; }
fail() { printf 'package test FAILED: %s\n' "$*" >&2; exit 1; }
show() { printf '$ %s\n' "$*"; "$@"; }

for tool in cpack dpkg-deb dpkg-shlibdeps fakeroot lintian appstreamcli xvfb-run man apt-get; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh test installs it)"
done
[ -f "$BUILD/CMakeCache.txt" ] || fail "no configured build folder at $BUILD"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $BUILD/CMakeCache.txt"

# The test installs and purges the package: it must not take away a copy the
# machine's owner installed, nor a program installed by hand into /usr.
if dpkg-query -W -f='${Status}' veltrano 2>/dev/null | grep -q "installed"; then
    fail "the veltrano package is installed already; remove it first (apt-get purge veltrano)"
fi
[ ! -e /usr/bin/veltrano ] || fail "/usr/bin/veltrano exists outside the package; remove it first"

WORK=$(mktemp -d)
installed=""
cleanup() {
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq veltrano >/dev/null 2>&1 || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
if [ -n "$NOTES" ]; then mkdir -p "$NOTES"; fi
note() { if [ -n "$NOTES" ]; then tee "$NOTES/$1"; else cat; fi; }

# ---------------------------------------------------------------------------
step "Build the package (cpack -G DEB in $BUILD)"
rm -f "$BUILD"/veltrano_*.deb
(cd "$BUILD" && cpack -G DEB) | tail -n 2
deb="$BUILD/veltrano_${version}_amd64.deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$BUILD"/*.deb 2>/dev/null)"
# apt reads a local package as its own unprivileged user: give it a readable copy.
chmod 755 "$WORK"
cp "$deb" "$WORK/" && chmod 644 "$WORK/$(basename "$deb")"
deb="$WORK/$(basename "$deb")"

{
    echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
    dpkg-deb -I "$deb"
} | note deb-info.txt
dpkg-deb -c "$deb" | note deb-contents.txt | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' > "$WORK/files"
for field in Package Version Section Maintainer Homepage Description; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the control file has no $field"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version) is not $version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>=' || fail "Depends was not computed from the binaries"
for f in /usr/bin/veltrano /usr/bin/veltrano-tags /usr/share/veltrano/transl.dt \
         /usr/share/applications/$APP_ID.desktop /usr/share/metainfo/$APP_ID.metainfo.xml \
         /usr/share/man/man1/veltrano.1.gz /usr/share/man/man1/veltrano-tags.1.gz \
         /usr/share/bash-completion/completions/veltrano-tags /usr/share/doc/veltrano/copyright; do
    grep -qx "$f" "$WORK/files" || fail "the package lacks $f"
done

step "lintian (fails on errors; warnings and notes listed)"
lintian_status=0
lintian --fail-on error --display-info "$deb" > "$WORK/lintian.out" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$WORK/lintian.out" | note lintian.txt || true
echo "lintian: $(grep -c '^E:' "$WORK/lintian.out" || true) errors, $(grep -c '^W:' "$WORK/lintian.out" || true) warnings," \
     "$(grep -c '^I:' "$WORK/lintian.out" || true) notes"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

# ---------------------------------------------------------------------------
# Docker-style images can tell dpkg to leave out manual pages on install.
man_excluded=""
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
    man_excluded=$(grep -ls '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/* | paste -sd ' ')
    echo "NOTE: dpkg is told to leave out /usr/share/man ($man_excluded): the manual pages are"
    echo "      checked from the package file instead of the installed system."
fi

step "Install with apt"
export DEBIAN_FRONTEND=noninteractive
installed=1
show $SUDO apt-get install -y --no-install-recommends "$deb" 2>&1 | grep -v '^(\?Reading \|^Building ' || true
[ "$(dpkg-query -W -f='${Status} ${Version}' veltrano 2>/dev/null)" = "install ok installed $version" ] ||
    fail "apt did not install veltrano $version"
show veltrano --version
show veltrano-tags --version
[ "$(veltrano --version)" = "veltrano $version" ] || fail "veltrano --version does not say $version"
[ "$(veltrano-tags --version)" = "veltrano-tags $version" ] || fail "veltrano-tags --version does not say $version"

step "appstreamcli validate"
(cd /usr/share/metainfo && appstreamcli validate --no-net "$APP_ID.metainfo.xml") 2>&1 | note appstream-validate.txt
appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml" >/dev/null 2>&1 || fail "appstreamcli validate"

step "The installed veltrano-tags on a few files"
home="$WORK/home"
mkdir -p "$home/Music/Demo"
mkdir -m 700 "$WORK/runtime"
for n in 1 2 3; do
    for _ in $(seq 40); do printf '\xff\xfb\x90\x00'; head -c 413 /dev/zero; done > "$home/Music/Demo/0$n Song $n.mp3"
done
titles=("Morning" "Harbour Lights" "Last Train")
for n in 1 2 3; do
    veltrano-tags write "$home/Music/Demo/0$n Song $n.mp3" --set "TITLE=${titles[$((n - 1))]}" --set ARTIST=Veltrano \
        --set ALBUM="Demo Album" --set TRACKNUMBER=$n --set DATE=2026 --set GENRE=Ambient \
        --cover /usr/share/icons/hicolor/128x128/apps/veltrano.png >/dev/null
done
show veltrano-tags read "$home/Music/Demo/01 Song 1.mp3"
veltrano-tags read "$home/Music/Demo/01 Song 1.mp3" | grep -q '"name":"TITLE","value":"Morning"' ||
    fail "the installed veltrano-tags did not write the title"

step "Start the program from its menu entry under Xvfb"
desktop=/usr/share/applications/$APP_ID.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
# The entry's command without its field codes (%f, %U ...), found on PATH as the menu would.
read -r -a command <<< "$(printf '%s' "$exec_line" | sed 's/ *%[fFuUdDnNickvm]//g')"
[ "$(command -v "${command[0]}")" = /usr/bin/veltrano ] || fail "the menu entry's '${command[0]}' is not /usr/bin/veltrano"
echo "Exec=$exec_line"
# The installed program carries no test hooks: it is started as the menu
# would start it, found on the screen by its window, photographed once the
# screen stops changing, and closed.
start() {   # start SHOT: a first run of the entry's command, with settings of its own
    mkdir -p "$WORK/config"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$WORK/config" \
        XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$WORK/runtime" \
        VELTRANO_UPDATE_URL=https://127.0.0.1:9 VELTRANO_MUSICBRAINZ_URL=http://127.0.0.1:9 \
        timeout 120 xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
            shot=$1; title=$2; shift 2
            "$@" & pid=$!
            window=""
            for _ in $(seq 600); do
                kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window showed"; exit 3; }
                window=$(xwininfo -root -tree | awk -v t="\"$title\"" "index(\$0, t) { print \$1; exit }")
                [ -n "$window" ] && break
                sleep 0.05
            done
            [ -n "$window" ] || { echo "no window titled $title"; exit 4; }
            echo "window: $(xwininfo -id "$window" | sed -n "s/.*Width: *//p;s/.*Height: *//p" | paste -sd x) $title"
            xprop -id "$window" WM_CLASS _KDE_NET_WM_DESKTOP_FILE _GTK_APPLICATION_ID 2>/dev/null | grep -v "not found"
            # The list fills in the background: the picture is taken once two
            # in a row are the same.
            previous=""
            for _ in $(seq 100); do
                import -silent -window root "$shot.tmp.png"
                current=$(md5sum < "$shot.tmp.png")
                [ "$current" = "$previous" ] && break
                previous=$current
                sleep 0.2
            done
            mv "$shot.tmp.png" "$shot"
            kill -TERM "$pid"
            wait "$pid" || true
        ' start "$1" "Veltrano $version" "${command[@]}"
}
start "$WORK/screenshot.png" >"$WORK/start.log" 2>&1 || { cat "$WORK/start.log"; fail "the program did not start"; }
cat "$WORK/start.log"
# The desktop ties the window to its menu entry by the window class.
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop" | head -n 1)
grep -q "WM_CLASS(STRING) = .*\"${wm_class:-veltrano}\"" "$WORK/start.log" ||
    fail "the window's class is not the menu entry's ${wm_class:-veltrano}"
[ -s "$WORK/screenshot.png" ] || fail "no screenshot of the started program"
echo "screenshot: $(stat -c %s "$WORK/screenshot.png") bytes"
if [ -n "$NOTES" ]; then cp "$WORK/screenshot.png" "$NOTES/installed-program.png"; fi

step "Manual pages and completion"
if [ -z "$man_excluded" ]; then
    for page in veltrano veltrano-tags; do
        show man -w "$page"
        [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man finds no installed page $page(1)"
        text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings "$page" 2>"$WORK/man.err")
        [ ! -s "$WORK/man.err" ] || { cat "$WORK/man.err"; fail "man $page warns"; }
        printf '%s\n' "$text" | grep -q "^ *$page - " || fail "man $page shows no NAME line"
        printf '%s\n' "$text" | sed -n '1,4p'
    done
else
    dpkg-deb -x "$deb" "$WORK/unpacked"
    for page in veltrano veltrano-tags; do
        MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$WORK/unpacked/usr/share/man/man1/$page.1.gz" 2>&1 |
            grep -q "^ *$page - " || fail "the packaged page $page(1) does not open"
        echo "$page(1): opens from the package file (dpkg leaves it out here)"
    done
fi
if [ -f /usr/share/bash-completion/bash_completion ]; then
    loaded=$(bash -c 'source /usr/share/bash-completion/bash_completion; __load_completion veltrano-tags; complete -p veltrano-tags')
    echo "$loaded"
    [ "$loaded" = "complete -F _veltrano_tags veltrano-tags" ] || fail "bash does not load the completion"
fi

# ---------------------------------------------------------------------------
step "Purge"
dpkg -L veltrano | sort > "$WORK/installed"
show $SUDO apt-get purge -y veltrano 2>&1 | grep -v '^(\?Reading \|^Building ' || true
installed=""
if dpkg-query -W -f='${Status}' veltrano 2>/dev/null | grep -q "installed"; then fail "veltrano is still installed"; fi
left=()
while read -r path; do
    [ -e "$path" ] || continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A folder other packages share stays; one that only held ours goes.
        dpkg-query -S "$path" >/dev/null 2>&1 && continue
    fi
    left+=("$path")
done < "$WORK/installed"
[ ${#left[@]} -eq 0 ] || fail "files left after purge: ${left[*]}"
echo "purged: none of the package's $(wc -l < "$WORK/installed") paths is left"
echo "Package test passed: $(basename "$deb")"
