#!/usr/bin/env bash
# Runs every benchmark against ../shared/corpus: first the compiled ones
# (BUILD/bench/bench_*), then the scripts bench/*.sh, which compare whole programs.
# Usage: bench/run.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build-release}" && pwd)
corpus=${PV_CORPUS:-$here/../../shared/corpus}
if [ ! -d "$corpus" ]; then
  echo "bench: no corpus at $corpus (the benchmarks need ../shared/corpus beside the repository, or PV_CORPUS)" >&2
  exit 1
fi
corpus=$(cd "$corpus" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/pvbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export PV_BUILD="$build" PV_CORPUS="$corpus" PV_WORK="$work"

status=0
for b in "$build"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  "$b" "$corpus" || { echo "bench: $(basename "$b") failed" >&2; status=1; }
done
for s in "$here"/*.sh; do
  [ "$(basename "$s")" = run.sh ] && continue
  bash "$s" || { echo "bench: $(basename "$s") failed" >&2; status=1; }
done
exit $status
