#!/usr/bin/env bash
# Whole-program extraction times: aetool extract against lhasa on an -lh5- archive of the
# corpus (written by jlha), and against arj on an -m1 archive of it. Median of several runs,
# each into a fresh folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/benchutil.sh"
aetool="$PV_BUILD/bin/aetool"
work="$PV_WORK/extract_lha_arj"
rm -rf "$work" && mkdir -p "$work/in"
cp "$PV_CORPUS"/* "$work/in/"
rm -f "$work/in/README.md"
reps=7

fresh() { rm -rf "$work/out" && mkdir -p "$work/out"; }
ours() { fresh && "$aetool" extract "$1" "$work/out" >/dev/null; }

if command -v jlha >/dev/null && command -v lhasa >/dev/null; then
  (cd "$work/in" && jlha a2o5 "$work/c.lzh" * >/dev/null)
  ref_lha() { fresh && cd "$work/out" && lhasa xq "$work/c.lzh" >/dev/null; }
  o=$(median_seconds $reps ours "$work/c.lzh")
  r=$(median_seconds $reps ref_lha)
  bench_line extract-lh5-vs-lhasa "$o" "$r" s
else
  echo "bench: jlha or lhasa missing, extract-lh5-vs-lhasa skipped" >&2
fi

if command -v arj >/dev/null; then
  (cd "$work/in" && arj a -m1 -y "$work/c.arj" * >/dev/null)
  ref_arj() { fresh && cd "$work/out" && arj x -y "$work/c.arj" >/dev/null; }
  o=$(median_seconds $reps ours "$work/c.arj")
  r=$(median_seconds $reps ref_arj)
  bench_line extract-arj-m1-vs-arj "$o" "$r" s
else
  echo "bench: arj missing, extract-arj-m1-vs-arj skipped" >&2
fi
