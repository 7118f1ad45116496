#!/usr/bin/env bash
# LZX writing against our own -lh6- on the same input: 8 MB made of the corpus and 4 MB of
# random bytes in one file, added to a cabinet with `aetool add -method lzx` (a 2 MiB
# window) and to an lzh with -lh6-, in turn. Prints BENCH add-lzx-vs-lh6 (median seconds).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool
src=$work/lzx-src
rm -rf "$src"
mkdir -p "$src"
corpus_bytes "$src/mixed.bin" 8000000
python3 -c 'import random, sys; open(sys.argv[1], "ab").write(random.Random(12).randbytes(4_000_000))' "$src/mixed.bin"
lzx=()
lh6=()
for ((i = 0; i < 3; i++)); do
  rm -f "$work/x.cab" "$work/x.lzh"
  a=$(date +%s%N)
  (cd "$src" && "$aetool" add "$work/x.cab" mixed.bin -method lzx >/dev/null)
  b=$(date +%s%N)
  (cd "$src" && "$aetool" add "$work/x.lzh" mixed.bin -method lh6 >/dev/null)
  c=$(date +%s%N)
  lzx+=($((b - a)))
  lh6+=($((c - b)))
done
# A fast cabinet that is wrong proves nothing.
if command -v cabextract >/dev/null && ! cabextract -t "$work/x.cab" >/dev/null 2>&1; then
  echo "add_lzx: cabextract -t fails on the LZX cabinet" >&2
  exit 1
fi
bench_line add-lzx-vs-lh6 "$(median_of_ns "${lzx[@]}")" "$(median_of_ns "${lh6[@]}")" s
rm -rf "$src" "$work/x.cab" "$work/x.lzh"
