#!/bin/sh
# A set of pages read by one tavrin-ocr run on every core, against the same pages read one by one,
# a run per page (target: at most 0.6 of the time on two cores). Best of three of each, as other
# work on the machine only ever adds time.
set -eu
ocr="$1/tavrin-ocr"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
lines="В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!
The quick brown fox jumps over the lazy dog.
Съешь же ещё этих мягких французских булок, да выпей чаю.
Pack my box with five dozen liquor jugs, 1234567890.
Широкая электрификация южных губерний даст мощный толчок.
How vexingly quick daft zebras jump over the wall."
files=""
for i in 1 2 3 4 5 6 7 8; do
    # Each page its own rotation of the lines, so that no two are alike.
    text=$(printf '%s\n' "$lines" | awk -v n="$i" '{ a[NR] = $0 } END { for (k = 0; k < NR; k++) print a[(k + n) % NR + 1] }')
    convert -size 1700x700 xc:white -font DejaVu-Sans -pointsize 30 -annotate +60+90 "$text" "$dir/page$i.png"
    files="$files $dir/page$i.png"
done
best() {  # wall and CPU seconds of the quickest of three runs of "$@"
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %U %S" -o "$dir/time" "$@" >/dev/null 2>&1 || true
        awk '{ print $1, $2 + $3 }' "$dir/time"
    done | sort -n | head -1
}
# shellcheck disable=SC2086
together=$(best "$ocr" $files)
# shellcheck disable=SC2016,SC2086
apart=$(best sh -c 'for f; do "$0" "$f"; done' "$ocr" $files)
# CPU time beside the wall time: on a machine busy with other work, only the CPU time says
# whether the run itself was slow.
echo "$together $apart" | awk -v cores="$(nproc)" '{
    printf "8 pages on %d cores: one run %.2f s (CPU %.2f s), a run per page %.2f s (CPU %.2f s), ratio %.2f (target <= 0.6)\n",
        cores, $1, $2, $3, $4, $1 / $3 }'
