#!/usr/bin/env bash
# Installs what Veltrano needs on Debian 12, builds it, and then either starts
# the program (run) or runs every test (test).
#
#   scripts/setup.sh run     install, build, start Veltrano
#   scripts/setup.sh test    install, build, run every test (what CI runs)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
case "$mode" in run|test) ;; *) echo "usage: $0 run|test" >&2; exit 2 ;; esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

# Product: compiler, CMake, zlib, Qt 6.
PACKAGES=(build-essential cmake ninja-build ccache pkg-config zlib1g-dev qt6-base-dev libgl-dev)
# Tests: GoogleTest, sanitizers and fuzzing (clang), independent readers and
# writers of real files, the encoders the corpus generator uses, a virtual display,
# and what builds and checks the Debian package (scripts/package-test.sh).
TEST_PACKAGES=(libgtest-dev clang libclang-rt-14-dev python3 python3-mutagen eyed3 id3v2 ffmpeg lame flac
               vorbis-tools opus-tools oggz-tools wavpack musepack-tools libimage-exiftool-perl atomicparsley
               imagemagick libtag1-dev xvfb xauth x11-utils strace time openssl desktop-file-utils
               fonts-dejavu-core fonts-wqy-microhei
               dpkg-dev fakeroot file lintian appstream man-db bash-completion cppcheck clang-format clang-tidy)

wanted=("${PACKAGES[@]}")
if [ "$mode" = test ]; then wanted+=("${TEST_PACKAGES[@]}"); fi
missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then missing+=("$p"); fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

if [ "$mode" = run ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}"
    cmake --build build -j "$jobs"
    if [ -x build/bin/veltrano ]; then
        exec build/bin/veltrano
    fi
    # Without the window, show the tag library at work on a sample file.
    sample=$(mktemp -d)/sample.mp3
    for _ in $(seq 40); do printf '\xff\xfb\x90\x00'; head -c 413 /dev/zero; done > "$sample"
    build/bin/veltrano-tags write "$sample" --tag id3v1 --set TITLE=Sample --set ARTIST=Veltrano || true
    exec build/bin/veltrano-tags read "$sample"
fi

# test: the release build with warnings as errors, every test, then the
# sanitizer build and a short fuzzing round where they exist.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANO_WERROR=ON -DVELTRANO_TEST_HOOKS=ON \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "${launcher[@]}"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# Functions nothing calls are deleted, or listed with the reason they stay.
bash scripts/unused-functions.sh
# Names follow the house conventions (.clang-tidy).
bash scripts/naming-check.sh build
# Every C++ file follows .clang-format.
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror
# The Debian package, from a build as shipped (no test hooks): built,
# checked, installed with apt, started, purged.
cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANO_WERROR=ON -DVELTRANO_TEST_HOOKS=OFF "${launcher[@]}"
cmake --build build-pkg -j "$jobs" --target veltrano veltrano-tags man_veltrano man_veltrano-tags doc_changelog
scripts/package-test.sh build-pkg
if [ -x scripts/sanitize.sh ]; then scripts/sanitize.sh; fi
if [ -x scripts/tsan.sh ]; then scripts/tsan.sh; fi
# Ten seconds a target: a round that catches what a change broke, within the
# time the whole command has; longer rounds are run by hand (scripts/fuzz.sh S).
if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh 10; fi
echo "All tests passed."
