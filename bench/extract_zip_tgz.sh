#!/usr/bin/env bash
# Extraction speed: `aetool extract` of a deflated zip against `unzip` and `7zz x`, and of
# a .tar.gz against `tar xzf`, all on the same inputs: several copies of the corpus (30 MB
# or more) packed here. Each run extracts into an empty folder; the folder is emptied
# outside the timed part. Prints BENCH extract-zip-vs-unzip, BENCH extract-zip-vs-7zz and
# BENCH extract-tgz-vs-tar (median wall time, seconds).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool
reps=5

src=$work/extract-src
rm -rf "$src"
mkdir -p "$src"
copies=0
while [ "$(du -sb "$src" | cut -f1)" -lt $((30 * 1024 * 1024)) ]; do
  copies=$((copies + 1))
  cp -r "$corpus" "$src/copy$copies"
done
zip=$work/extract.zip
tgz=$work/extract.tar.gz
rm -f "$zip" "$tgz"
(cd "$src" && zip -qr -6 "$zip" . && tar czf "$tgz" .)
out=$work/extract-out

# Median of REPS runs of CMD (which writes into $out), each into a fresh, empty $out.
median_fresh() { # REPS CMD...
  local reps=$1; shift
  local i a b
  for ((i = 0; i < reps; i++)); do
    rm -rf "$out" && mkdir -p "$out"
    sync
    a=$(date +%s%N)
    "$@" >/dev/null 2>&1
    b=$(date +%s%N)
    echo $((b - a))
  done | sort -n | awk '{v[NR]=$1} END{printf "%.4f\n", v[int((NR+1)/2)]/1e9}'
}

# A fast extraction that is wrong proves nothing.
check() { # WHAT
  rm -rf "$out" && mkdir -p "$out"
  "$aetool" extract "$1" "$out" >/dev/null
  if ! diff -r "$src" "$out" >/dev/null; then
    echo "extract_zip_tgz: aetool's extraction of $1 differs from the input" >&2
    exit 1
  fi
}
check "$zip"
check "$tgz"

ours=$(median_fresh $reps "$aetool" extract "$zip" "$out")
if command -v unzip >/dev/null; then
  bench_line extract-zip-vs-unzip "$ours" "$(median_fresh $reps unzip -qo "$zip" -d "$out")" s
fi
if command -v 7zz >/dev/null; then
  bench_line extract-zip-vs-7zz "$ours" "$(median_fresh $reps 7zz x -y -bd "-o$out" "$zip")" s
fi
ours=$(median_fresh $reps "$aetool" extract "$tgz" "$out")
bench_line extract-tgz-vs-tar "$ours" "$(median_fresh $reps tar xzf "$tgz" -C "$out")" s
rm -rf "$out" "$src" "$zip" "$tgz"
