#!/usr/bin/env bash
# LHA writing: `aetool add` of one tar of the corpus with -lh5- and -lh6- against jlha's
# `lha ao5` and `lha ao6` on the same file. Sizes only (jlha runs on Java, so its speed says
# little). Prints BENCH add-lh5-size-vs-jlha and BENCH add-lh6-size-vs-jlha (archive bytes).
# Then 3,000 tiny files of the corpus (8 to 300 bytes each) added with -lh6- against the same
# with -lh5-: a per-file cost that grows with the window shows here. Prints
# BENCH add-lh6-3000-tiny-vs-lh5 (median seconds, the two methods run in turn).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool

tiny=$work/lzh-tiny
rm -rf "$tiny"
mkdir -p "$tiny/t"
corpus_bytes "$tiny/blob" 8000000
python3 - "$tiny/blob" "$tiny/t" <<'PY'
import os, random, sys
blob = open(sys.argv[1], "rb").read()
rnd = random.Random(3000)
for i in range(3000):
    n = rnd.randint(8, 300)
    at = rnd.randrange(0, len(blob) - n)
    with open(os.path.join(sys.argv[2], f"f{i:04d}.txt"), "wb") as h:
        h.write(blob[at:at + n])
PY
rm -f "$tiny/blob"
lh5=()
lh6=()
for ((i = 0; i < 5; i++)); do
  for m in 5 6; do
    rm -f "$tiny/x.lzh"
    a=$(date +%s%N)
    (cd "$tiny" && "$aetool" add x.lzh t -method lh$m >/dev/null)
    b=$(date +%s%N)
    if [ "$m" = 5 ]; then lh5+=($((b - a))); else lh6+=($((b - a))); fi
  done
done
if command -v lhasa >/dev/null && ! lhasa t "$tiny/x.lzh" >/dev/null 2>&1; then
  echo "add_lzh: lhasa t fails on the -lh6- archive of tiny files" >&2
  exit 1
fi
bench_line add-lh6-3000-tiny-vs-lh5 "$(median_of_ns "${lh6[@]}")" "$(median_of_ns "${lh5[@]}")" s
rm -rf "$tiny"

if ! command -v lha >/dev/null; then
  echo "add_lzh: jlha (lha) is not installed; skipped" >&2
  exit 0
fi
src=$work/lzh-src
rm -rf "$src"
mkdir -p "$src"
# No ".tar" extension: a writer stores such files as compressed already.
tar -cf "$src/corpus_tar" -C "$(dirname "$corpus")" "$(basename "$corpus")"
for m in 5 6; do
  ours=$work/ours$m.lzh
  ref=$work/ref$m.lzh
  rm -f "$ours" "$ref"
  (cd "$src" && "$aetool" add "$ours" corpus_tar -method lh$m >/dev/null)
  # A small archive that is wrong proves nothing.
  if ! lhasa t "$ours" >/dev/null 2>&1; then
    echo "add_lzh: lhasa t fails on the -lh$m- archive aetool wrote" >&2
    exit 1
  fi
  (cd "$src" && lha ao${m}q "$ref" corpus_tar >/dev/null 2>&1)
  bench_line add-lh$m-size-vs-jlha "$(stat -c %s "$ours")" "$(stat -c %s "$ref")" bytes
  rm -f "$ours" "$ref"
done
rm -rf "$src"
