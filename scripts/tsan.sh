#!/bin/bash
# Builds the tag library, the application's models and their tests with
# ThreadSanitizer in build-tsan and runs the unit tests and the command-line
# tool's parallel scan and read there. Any data race fails the run.
#
#   scripts/tsan.sh            VELTRANO_TSAN_BUILD=folder, JOBS=n
set -euo pipefail

SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANO_TSAN_BUILD:-$SRC/build-tsan}
JOBS=${JOBS:-2}

LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DVELTRANO_TSAN=ON -DVELTRANO_GUI=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target tags_tests app_tests veltrano-tags

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$SRC/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen
"$BUILD/bin/tags_tests" --gtest_brief=1
VELTRANO_BIN="$BUILD/bin" VELTRANO_UPDATE_URL=https://127.0.0.1:9 VELTRANO_MUSICBRAINZ_URL=http://127.0.0.1:9 \
    VELTRANO_COVERART_URL=http://127.0.0.1:9 \
    "$BUILD/bin/app_tests" --gtest_brief=1
# The loading pool on real files of every format, many at once.
PEERS="$SRC/../shared/corpus/peers"
if [ -d "$PEERS" ]; then
    "$BUILD/bin/veltrano-tags" scan "$PEERS" -j 8 > /dev/null
    find "$PEERS" -type f \( -name '*.mp3' -o -name '*.flac' -o -name '*.m4a' -o -name '*.ogg' -o -name '*.wav' \) -print0 |
        xargs -0 "$BUILD/bin/veltrano-tags" read -j 8 > /dev/null
fi
echo "ThreadSanitizer: no data race found."
