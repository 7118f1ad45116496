#!/usr/bin/env bash
# Zip writing: `aetool add` of a folder of corpus copies (30 MB or more) at the normal
# effort (N) against `zip -qr -6` and `7zz a -tzip -mmt=1` on the same folder. Each run
# writes a new archive (the old one is removed outside the timed part). Prints
# BENCH add-zip-vs-zip6 and BENCH add-zip-vs-7zz (median wall time, seconds) and
# BENCH add-zip-size-vs-zip6 (archive bytes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool
reps=5

src=$work/add-src
rm -rf "$src"
mkdir -p "$src/data"
copies=0
while [ "$(du -sb "$src" | cut -f1)" -lt $((30 * 1024 * 1024)) ]; do
  copies=$((copies + 1))
  cp -r "$corpus" "$src/data/copy$copies"
done
ours_zip=$work/add-ours.zip
ref_zip=$work/add-ref.zip

# Median of REPS runs of CMD, which writes ARCHIVE anew each time.
median_new() { # REPS ARCHIVE CMD...
  local reps=$1 archive=$2; shift 2
  local i a b
  for ((i = 0; i < reps; i++)); do
    rm -f "$archive"
    sync
    a=$(date +%s%N)
    (cd "$src" && "$@" >/dev/null 2>&1)
    b=$(date +%s%N)
    echo $((b - a))
  done | sort -n | awk '{v[NR]=$1} END{printf "%.4f\n", v[int((NR+1)/2)]/1e9}'
}

ours=$(median_new $reps "$ours_zip" "$aetool" add "$ours_zip" data -level N)
# A fast archive that is wrong proves nothing.
if ! (cd "$work" && unzip -tq "$ours_zip" >/dev/null); then
  echo "add_zip: unzip -t fails on the archive aetool wrote" >&2
  exit 1
fi
ref=$(median_new $reps "$ref_zip" zip -qr -6 "$ref_zip" data)
bench_line add-zip-vs-zip6 "$ours" "$ref" s
bench_line add-zip-size-vs-zip6 "$(stat -c %s "$ours_zip")" "$(stat -c %s "$ref_zip")" bytes
if command -v 7zz >/dev/null; then
  bench_line add-zip-vs-7zz "$ours" "$(median_new $reps "$ref_zip" 7zz a -tzip -mmt=1 -bd "$ref_zip" data)" s
fi
rm -rf "$src" "$ours_zip" "$ref_zip"
