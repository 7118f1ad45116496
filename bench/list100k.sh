#!/usr/bin/env bash
# Listing speed: `aetool list` against `unzip -l` and `7zz l` on one zip of 100,000 small
# entries made here with python3's zipfile (a zip64 end record, as such a count needs).
# Prints BENCH list-100k-vs-unzip and BENCH list-100k-vs-7zz (median wall time, seconds).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool
zip=$work/list100k.zip
reps=7

python3 - "$zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(100000):
        info = zipfile.ZipInfo(f"dir{i // 1000:03d}/file{i:06d}.txt", (2024, 5, 6, 7, 8, 10))
        z.writestr(info, f"entry {i}\n")
PY

# A listing that is fast because it is wrong proves nothing.
total=$("$aetool" list "$zip" | tail -n 1)
if [ "$(cut -f1,2 <<<"$total")" != "$(printf 'total\t100000')" ]; then
  echo "list100k: aetool listed '$total', not 100000 entries" >&2
  exit 1
fi

ours=$(median_seconds $reps "$aetool" list "$zip")
if command -v unzip >/dev/null; then
  bench_line list-100k-vs-unzip "$ours" "$(median_seconds $reps unzip -l "$zip")" s
fi
if command -v 7zz >/dev/null; then
  bench_line list-100k-vs-7zz "$ours" "$(median_seconds $reps 7zz l "$zip")" s
fi
