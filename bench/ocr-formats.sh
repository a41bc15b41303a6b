#!/bin/sh
# The same page as PNG and in each format tavrin-ocr decodes with its own libraries: the CER of
# each reading against the reading of the same pixels as PNG, decoded by the format's own tool
# (target: at most 0.005), and against the original PNG's, which includes what a lossy format lost.
set -eu
ocr="$1/tavrin-ocr"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
convert -size 1700x700 xc:white -font DejaVu-Sans -pointsize 30 \
    -draw "text 60,90 'В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!'" \
    -draw "text 60,170 'Съешь же ещё этих мягких французских булок, да выпей чаю.'" \
    -draw "text 60,250 'The quick brown fox jumps over the lazy dog.'" \
    -draw "text 60,330 'Pack my box with five dozen liquor jugs, 1234567890.'" "$dir/page.png"
heif-enc -q 90 "$dir/page.png" -o "$dir/page.heic" >/dev/null
heif-enc -A -q 90 "$dir/page.png" -o "$dir/page.avif" >/dev/null
opj_compress -i "$dir/page.png" -o "$dir/page.jp2" >/dev/null
mutool convert -o "$dir/page.pdf" "$dir/page.png" >/dev/null
heif-convert "$dir/page.heic" "$dir/heic.png" >/dev/null
heif-convert "$dir/page.avif" "$dir/avif.png" >/dev/null
opj_decompress -i "$dir/page.jp2" -o "$dir/jp2.png" >/dev/null
pdftoppm -r 300 -singlefile -png "$dir/page.pdf" "$dir/pdf"
cer() {  # the CER of the second reading against the first
    python3 - "$1" "$2" <<'PY'
import sys
a, b = (open(p, encoding="utf-8").read().split() for p in sys.argv[1:3])
a, b = " ".join(a), " ".join(b)
row = list(range(len(b) + 1))
for i, x in enumerate(a, 1):
    prev, row[0] = row[0], i
    for j, y in enumerate(b, 1):
        prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (x != y))
print(f"{row[-1] / max(len(a), 1):.4f}")
PY
}
"$ocr" "$dir/page.png" >"$dir/png.txt"
for f in heic avif jp2 pdf; do
    "$ocr" "$dir/page.$f" >"$dir/$f.txt" || true
    "$ocr" "$dir/$f.png" >"$dir/$f.png.txt" || true
    echo "$f: CER against the same pixels as PNG $(cer "$dir/$f.png.txt" "$dir/$f.txt"), against the original PNG $(cer "$dir/png.txt" "$dir/$f.txt")"
done
