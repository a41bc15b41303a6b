#!/usr/bin/env bash
# The batch mode on a long document whose only match is on the last page, against pdftotext of the same file.
# Usage: bench/batch-search.sh BUILD_DIR [PAGES]
set -euo pipefail
build=${1:-build}
pages=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/make-long-pdf" "$work/long.pdf" "$pages" "unmistakable needle" 2>/dev/null
echo "document: $pages pages, $(du -h "$work/long.pdf" | cut -f1)"
"$build/tavrin-pdf" "$work/long.pdf" "$work/out.pdf" --test "UNMISTAKABLE needle" ||
    { echo "the needle on the last page was not found" >&2; exit 1; }

measure() {  # prints "seconds peak-kB": the best of three runs, since the machine may be busy
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2>&1 || true
        cat "$work/time"
    done | sort -n | head -n 1
}
read -r ours ours_kb < <(measure "$build/tavrin-pdf" "$work/long.pdf" "$work/out.pdf" --test "UNMISTAKABLE needle")
read -r ref ref_kb < <(measure pdftotext "$work/long.pdf" "$work/long.txt")
echo "tavrin-pdf --test: ${ours} s, peak ${ours_kb} kB"
echo "pdftotext:         ${ref} s, peak ${ref_kb} kB"
awk -v a="$ours" -v b="$ref" 'BEGIN { printf "ratio: %.2f (target at most 1.2)\n", a / b }'
awk -v m="$ours_kb" 'BEGIN { printf "peak memory: %.0f MB (target under 100)\n", m / 1024 }'
