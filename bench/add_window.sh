#!/usr/bin/env bash
# Adding through the window: the main window's add of one folder (corpus copies, 30 MB or
# more) into a new zip at its default level 7, against `aetool zip-add` of the same folder
# (the zip front-end with its library stand-in, the same options) into a new zip. Whatever
# the window adds on top of the front-end shows here. Prints BENCH add-window-vs-aetool
# (median wall time of the add, seconds).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/benchutil.sh"
work=${PV_WORK:-$(mktemp -d)}
corpus=${PV_CORPUS:-$here/../../shared/corpus}
build=${PV_BUILD:-$here/../build-release}
aetool=$build/bin/aetool
window=$build/bench/window_add
reps=3

if [ ! -x "$window" ]; then
  echo "bench: $window missing, add-window-vs-aetool skipped" >&2
  exit 0
fi
src=$work/addwin-src
corpus_copies "$src" 30
ours_zip=$work/addwin-window.zip
ref_zip=$work/addwin-aetool.zip
home=$work/addwin-home

# The window in a home of its own, so that its settings stay out of the user's.
window_add() {
  rm -rf "$home" && mkdir -p "$home/config" "$home/data"
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
    "$window" "$build/bin/parvex" "$ours_zip" "$src" 2>/dev/null
}
times=()
for ((i = 0; i < reps; i++)); do
  rm -f "$ours_zip"
  sync
  times+=("$(window_add)")
done
ours=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((reps + 1) / 2))p")
ref=$(median_seconds $reps bash -c 'rm -f "$1" && "$2" zip-add "$1" -level 7 -recurse -root "$3" "*.*"' _ \
  "$ref_zip" "$aetool" "$src")

# A fast add that is wrong proves nothing: both archives test clean and hold the same names.
if ! unzip -tq "$ours_zip" >/dev/null || ! unzip -tq "$ref_zip" >/dev/null; then
  echo "add_window: unzip -t fails on an archive written here" >&2
  exit 1
fi
if ! diff <(unzip -Z1 "$ours_zip" | sort) <(unzip -Z1 "$ref_zip" | sort) >/dev/null; then
  echo "add_window: the window's archive holds other names than aetool's" >&2
  exit 1
fi
bench_line add-window-vs-aetool "$ours" "$ref" s
rm -rf "$src" "$ours_zip" "$ref_zip" "$home"
