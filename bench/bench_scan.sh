#!/bin/bash
# Scan throughput: `veltrano-tags scan` over a generated music library, next
# to two independent readers (mutagen and TagLib) reading the same files in
# the same run. Prints files per second and peak memory of each.
#
#   bench/bench_scan.sh [CORPUS_DIR] [--files N] [--runs R]
#
# CORPUS_DIR defaults to /tmp/corpus2000; it is generated (N files, default
# 2000) when it holds no manifest.json. Every reader walks the whole tree and
# reads tags, pictures and play time of the files with the scanner's seven
# extensions; the page cache is warmed first and each reader runs R times
# (default 3), reporting the median time and the largest peak memory.
set -euo pipefail

CORPUS=/tmp/corpus2000
FILES=2000
RUNS=3
while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES="$2"; shift 2 ;;
        --runs) RUNS="$2"; shift 2 ;;
        -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
        *) CORPUS="$1"; shift ;;
    esac
done

source "$(dirname "$0")/lib.sh"
TOOL="$BIN/veltrano-tags"
need_executable bench_scan "$TOOL"
[ -x /usr/bin/time ] || { echo "bench_scan: /usr/bin/time missing (apt-get install time)" >&2; exit 2; }

ensure_corpus "$CORPUS" "$FILES"

WORK="$(mktemp -d /tmp/bench-scan.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT

# --- the independent readers ------------------------------------------------
cat > "$WORK/mutagen_scan.py" <<'PY'
import os, sys
sys.path.append("/usr/lib/python3/dist-packages")
import mutagen
EXTS = (".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav")
files = failed = 0
out = []
for root, dirs, names in os.walk(sys.argv[1]):
    for name in names:
        if os.path.splitext(name)[1].lower() not in EXTS:
            continue
        files += 1
        try:
            f = mutagen.File(os.path.join(root, name))
            length = f.info.length if f is not None and f.info else 0
            title = str((f.tags or {}).get("TIT2", "")) if f is not None else ""
            out.append("%s\t%s\t%d" % (name, title, round(length)))
        except Exception:
            failed += 1
sys.stdout.write("\n".join(out))
print('\n{"files":%d,"failed":%d}' % (files, failed))
PY

cat > "$WORK/taglib_scan.cpp" <<'CPP'
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const char* exts[] = {".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav"};
    long files = 0, failed = 0;
    for (auto it = fs::recursive_directory_iterator(argv[1], fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_regular_file()) continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (std::find_if(std::begin(exts), std::end(exts), [&](const char* e) { return ext == e; }) == std::end(exts)) continue;
        ++files;
        TagLib::FileRef f(it->path().c_str(), true, TagLib::AudioProperties::Average);
        if (f.isNull() || !f.tag()) { ++failed; continue; }
        std::printf("%s\t%s\t%d\n", it->path().filename().c_str(), f.tag()->title().toCString(true),
                    f.audioProperties() ? f.audioProperties()->lengthInSeconds() : 0);
    }
    std::printf("{\"files\":%ld,\"failed\":%ld}\n", files, failed);
}
CPP
g++ -O2 -std=c++17 "$WORK/taglib_scan.cpp" -o "$WORK/taglib_scan" $(pkg-config --cflags --libs taglib)

# --- measuring ---------------------------------------------------------------
# Warm the page cache so every reader sees the same (cached) disk.
find "$CORPUS" -type f -exec cat {} + > /dev/null

# measure NAME COMMAND...: runs the command RUNS times; prints one row.
measure() {
    local name="$1"; shift
    local times=() peak=0 files=0 failed=0
    for ((i = 0; i < RUNS; i++)); do
        /usr/bin/time -v -o "$WORK/time.txt" "$@" > "$WORK/out.txt" 2> "$WORK/err.txt" || {
            echo "bench_scan: $name failed:" >&2; cat "$WORK/err.txt" >&2; exit 1; }
        local wall rss
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (j = 1; j <= n; j++) s = s * 60 + p[j]; print s }' "$WORK/time.txt")
        rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
        times+=("$wall")
        [ "$rss" -gt "$peak" ] && peak=$rss
        files=$(tail -1 "$WORK/out.txt" | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["files"])')
        failed=$(tail -1 "$WORK/out.txt" | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["failed"])')
    done
    local median
    median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    awk -v n="$name" -v f="$files" -v x="$failed" -v t="$median" -v m="$peak" \
        'BEGIN { printf "%-14s %7d %7d %9.2f %10.0f %10.1f\n", n, f, x, t, (t > 0 ? f / t : 0), m / 1024 }'
}

TOTAL=$(find "$CORPUS" -type f ! -name manifest.json ! -name cover.jpg | wc -l)
echo "corpus: $CORPUS ($TOTAL audio files, $(du -sh "$CORPUS" | cut -f1)); $RUNS runs each, median time"
printf '%-14s %7s %7s %9s %10s %10s\n' reader files failed seconds files/s "peak MiB"
measure veltrano-tags "$TOOL" scan "$CORPUS"
# Every file the scanner offered must have a record line.
/usr/bin/python3 - "$WORK/out.txt" "$CORPUS" <<'PY'
import json, os, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
summary, records = lines[-1], lines[:-1]
exts = (".mp3", ".flac", ".ogg", ".ape", ".m4a", ".wma", ".wav")
want = {os.path.join(r, n) for r, _, ns in os.walk(sys.argv[2]) for n in ns if os.path.splitext(n)[1].lower() in exts}
got = [d["file"] for d in records]
ok = set(got) == want and len(got) == len(want) == summary["files"]
print("veltrano-tags accounted for %d of %d audio files%s" % (len(set(got) & want), len(want), "" if ok else "  MISMATCH"))
sys.exit(0 if ok else 1)
PY
measure mutagen /usr/bin/python3 "$WORK/mutagen_scan.py" "$CORPUS"
measure TagLib "$WORK/taglib_scan" "$CORPUS"
