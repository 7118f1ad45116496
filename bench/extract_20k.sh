#!/usr/bin/env bash
# Many small files: one zip of 20,000 entries of 50 to 2,000 bytes in 200 folders, made
# here with python3's zipfile. Per-entry costs (folders, temporary files, events) show
# here, not the decoder's speed. Each run extracts into a fresh, empty folder.
# Prints BENCH extract-20k-small-vs-unzip (`aetool extract` against `unzip`),
# BENCH extract-20k-zipfront-vs-unzip (`aetool zip-extract`, the zip front-end with its
# library stand-in, against `unzip`) and BENCH extract-20k-window-vs-aetool (the main
# window's extraction of the same zip against `aetool zip-extract`), median seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
build=${PV_BUILD:-$here/../build-release}
aetool=$build/bin/aetool
zip=$work/small20k.zip
out=$work/small20k-out
reps=5

python3 - "$zip" <<'PY'
import random, sys, zipfile
rnd = random.Random(20000)
words = [b"alpha", b"beta", b"gamma", b"delta", b"archive", b"entry", b"folder", b"parvex"]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(20000):
        size = rnd.randint(50, 2000)
        data = b" ".join(rnd.choice(words) for _ in range(size // 5))[:size]
        z.writestr(zipfile.ZipInfo(f"d{i % 200:03d}/f{i:05d}.txt", (2024, 5, 6, 7, 8, 10)), data,
                   zipfile.ZIP_DEFLATED)
PY

fresh() { rm -rf "$out" && mkdir -p "$out"; }
median_fresh() { # REPS CMD...
  local reps=$1; shift
  local i a b
  for ((i = 0; i < reps; i++)); do
    fresh
    sync
    a=$(date +%s%N)
    "$@" >/dev/null 2>&1
    b=$(date +%s%N)
    echo $((b - a))
  done | sort -n | awk '{v[NR]=$1} END{printf "%.4f\n", v[int((NR+1)/2)]/1e9}'
}

# A fast extraction that is wrong proves nothing: both ours must give unzip's tree.
if command -v unzip >/dev/null; then
  fresh && unzip -qo "$zip" -d "$out" && mv "$out" "$work/small20k-ref"
  for verb in extract zip-extract; do
    fresh && "$aetool" "$verb" "$zip" "$out" >/dev/null
    if ! diff -r "$work/small20k-ref" "$out" >/dev/null; then
      echo "extract_20k: aetool $verb gives another tree than unzip" >&2
      exit 1
    fi
  done
  rm -rf "$work/small20k-ref"
  ref=$(median_fresh $reps unzip -qo "$zip" -d "$out")
  bench_line extract-20k-small-vs-unzip "$(median_fresh $reps "$aetool" extract "$zip" "$out")" "$ref" s
  front=$(median_fresh $reps "$aetool" zip-extract "$zip" "$out")
  bench_line extract-20k-zipfront-vs-unzip "$front" "$ref" s
else
  echo "bench: unzip missing, extract-20k-small-vs-unzip skipped" >&2
  front=$(median_fresh $reps "$aetool" zip-extract "$zip" "$out")
fi

# The window, in a home of its own so that its settings stay out of the user's.
window=$build/bench/window_extract
if [ -x "$window" ]; then
  home=$work/small20k-home
  times=()
  for ((i = 0; i < 3; i++)); do
    fresh
    rm -rf "$home" && mkdir -p "$home/config" "$home/data"
    times+=("$(HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
      "$window" "$build/bin/parvex" "$zip" "$out" 2>/dev/null)")
  done
  if [ "$(find "$out" -type f | wc -l)" -ne 20000 ]; then
    echo "extract_20k: the window did not extract 20000 files" >&2
    exit 1
  fi
  win=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
  bench_line extract-20k-window-vs-aetool "$win" "$front" s
  rm -rf "$home"
fi
rm -rf "$out" "$zip"
