#!/usr/bin/env bash
# The manual renderer against poppler: Chinese text comes back out of the PDF as text (a CJK font
# embedded with its character map, not empty boxes), pictures are embedded and fit the page, a
# missing picture fails the build; and the built manual holds every heading of its source.
# Usage: test_manual_pdf.sh VELORA_MANUAL_PDF MANUAL.md BUILT_MANUAL.pdf
set -uo pipefail
tool=$1
source_md=$2
built=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export QT_QPA_PLATFORM=offscreen

# A picture three times wider than the page, and enough text for a second page.
mkdir "$tmp/images"
python3 - "$tmp/images/wide.png" <<'PY'
import struct, sys, zlib
w, h = 1800, 300
raw = b"".join(b"\x00" + bytes([(x * 255 // w) for x in range(w)]) for _ in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 0, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
{
  echo "# 使用说明"
  echo
  echo "连接声卡后，面板显示**当前音效**。"
  echo
  echo "![面板](images/wide.png)"
  echo
  for i in $(seq 1 120); do echo "第 $i 行：混响音量、监听音量与话筒音量。"; echo; done
  echo "## 结束"
} >"$tmp/sample.md"
"$tool" "$tmp/sample.md" "$tmp/sample.pdf" || fail "rendering the sample failed"
text=$(pdftotext -layout "$tmp/sample.pdf" - 2>/dev/null | tr -d ' ')
for phrase in "使用说明" "连接声卡后，面板显示当前音效。" "第120行：混响音量、监听音量与话筒音量。" "结束"; do
  grep -qF -- "$phrase" <<<"$text" || fail "the PDF's text lacks \"$phrase\""
done
pages=$(pdfinfo "$tmp/sample.pdf" | awk '/^Pages:/ { print $2 }')
[ "${pages:-0}" -ge 2 ] || fail "120 paragraphs fit on $pages page(s)"
pdfinfo "$tmp/sample.pdf" | grep -q "(A4)" || fail "page size is not A4"
pdffonts "$tmp/sample.pdf" | grep -qiE "cjk|wqy|zenhei|hei|song|ming" ||
  fail "no Chinese font embedded: $(pdffonts "$tmp/sample.pdf" | tail -n +3)"
# The picture is embedded once, at its own pixels, and drawn no wider than the page (595 pt) at
# the 1200 dpi the writer uses: at least 1800 px / 595 pt * 72 = 218 ppi.
images=$(pdfimages -list "$tmp/sample.pdf" | tail -n +3)
[ "$(wc -l <<<"$images")" -eq 1 ] || fail "wanted one image, pdfimages lists: $images"
read -r width height xppi <<<"$(awk '{ print $4, $5, $13 }' <<<"$images")"
[ "$width" = 1800 ] && [ "$height" = 300 ] || fail "image embedded as ${width}x$height"
[ "${xppi:-0}" -ge 218 ] || fail "image drawn at $xppi ppi: wider than the page"

# A missing picture is an error, not a blank in the manual.
printf '# 说明\n\n![丢失](images/missing.png)\n' >"$tmp/missing.md"
"$tool" "$tmp/missing.md" "$tmp/missing.pdf" 2>"$tmp/err" && fail "a missing picture was accepted"
grep -q "missing.png" "$tmp/err" || fail "the error does not name the missing picture"

# The built manual: every heading of the source, every picture.
built_text=$(pdftotext "$built" - 2>/dev/null | tr -d ' \n')
while IFS= read -r heading; do
  grep -qF -- "$(tr -d ' ' <<<"$heading")" <<<"$built_text" || fail "manual lacks heading \"$heading\""
done < <(grep -E '^#{1,3} ' "$source_md" | sed -E 's/^#+ //; s/[`*]//g')
wanted=$(grep -oE '!\[[^]]*\]\([^)]+\)' "$source_md" | wc -l)
got=$(pdfimages -list "$built" | tail -n +3 | wc -l)
[ "$got" -eq "$wanted" ] || fail "manual has $got pictures, its source $wanted"

[ "$failures" -eq 0 ] && echo "manual pdf: all checks passed"
exit $((failures > 0))
