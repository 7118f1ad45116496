#!/usr/bin/env bash
# Many small entries: `aetool test` of a zip of 100,000 small deflated files against
# `unzip -t`, and the peak memory of `aetool test` on a zip of 1,000,000 of them (both made
# here with python3's zipfile). Per-entry costs show here (scanning and choosing entries,
# names, events), and what the scan keeps per entry shows in the peak.
# Prints BENCH test-100k-vs-unzip (median seconds, the two run in turn) and
# BENCH test-1m-peak-memory (bytes of resident memory at the peak; ref is the goal, 64 MiB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
aetool=${PV_BUILD:-$here/../build-release}/bin/aetool
zip100k=$work/test100k.zip
zip1m=$work/test1m.zip

python3 - "$zip100k" 100000 "$zip1m" 1000000 <<'PY'
import random, sys, zipfile
words = [b"alpha", b"beta", b"gamma", b"delta", b"archive", b"entry", b"folder", b"parvex"]
for name, count in ((sys.argv[1], int(sys.argv[2])), (sys.argv[3], int(sys.argv[4]))):
    rnd = random.Random(count)
    with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(count):
            data = b" ".join(rnd.choice(words) for _ in range(rnd.randint(5, 40)))
            z.writestr(zipfile.ZipInfo(f"d{i // 1000:04d}/file{i:07d}.txt", (2024, 5, 6, 7, 8, 10)), data,
                       zipfile.ZIP_DEFLATED)
PY

# A fast test that tests nothing proves nothing.
total=$("$aetool" test "$zip100k" | tail -n 1)
if [ "$total" != "$(printf 'total\t100000\t100000\t0')" ]; then
  echo "test_many: aetool test gave '$total'" >&2
  exit 1
fi
if command -v unzip >/dev/null; then
  ours=()
  ref=()
  for ((i = 0; i < 5; i++)); do
    a=$(date +%s%N)
    "$aetool" test "$zip100k" >/dev/null
    b=$(date +%s%N)
    unzip -tq "$zip100k" >/dev/null
    c=$(date +%s%N)
    ours+=($((b - a)))
    ref+=($((c - b)))
  done
  bench_line test-100k-vs-unzip "$(median_of_ns "${ours[@]}")" "$(median_of_ns "${ref[@]}")" s
else
  echo "bench: unzip missing, test-100k-vs-unzip skipped" >&2
fi
peak=$( { /usr/bin/time -f '%M' "$aetool" test "$zip1m" >/dev/null; } 2>&1 | tail -n 1)
bench_line test-1m-peak-memory "$((peak * 1024))" "$((64 << 20))" bytes
rm -f "$zip100k" "$zip1m"
