# Shared by the bench scripts: sourced, not run.
#   HERE  the repository, BIN  the built executables (VELTRANO_BIN overrides)
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BIN="${VELTRANO_BIN:-$HERE/build/bin}"

# need_executable NAME PATH: stop with a message when PATH is not built.
need_executable() {
    [ -x "$2" ] || { echo "$1: $2 not built (set VELTRANO_BIN)" >&2; exit 2; }
}

# ensure_corpus DIR FILES: generate a music library of FILES files in DIR
# with the shared corpus generator, unless DIR already holds one.
ensure_corpus() {
    if [ ! -f "$1/manifest.json" ]; then
        echo "generating $2 files in $1 ..." >&2
        "$HERE/../shared/corpus/make-corpus" "$1" --files "$2" >&2
    fi
}
