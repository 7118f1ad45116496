#!/usr/bin/env bash
# LHA writing: `aetool add` of one tar of the corpus with -lh5- and -lh6- against jlha's
# `lha ao5` and `lha ao6` on the same file. Sizes only (jlha runs on Java, so its speed says
# little). Prints BENCH add-lh5-size-vs-jlha and BENCH add-lh6-size-vs-jlha (archive bytes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool

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
