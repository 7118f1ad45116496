# Sourced by the benchmark scripts: median wall time of a command, and the output line.
# PV_BUILD, PV_CORPUS and PV_WORK are set by bench/run.sh.
median_seconds() { # REPS CMD...
  local reps=$1; shift
  local i a b
  for ((i = 0; i < reps; i++)); do
    a=$(date +%s%N)
    "$@" >/dev/null 2>&1
    b=$(date +%s%N)
    echo $((b - a))
  done | median_of_ns
}
# The median of the nanosecond counts on standard input, or given as arguments, in seconds.
median_of_ns() {
  if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cat; fi |
    sort -n | awk '{v[NR]=$1} END{printf "%.4f\n", v[int((NR+1)/2)]/1e9}'
}
bench_line() { # NAME OURS REF UNIT
  printf 'BENCH %s ours=%s ref=%s unit=%s\n' "$1" "$2" "$3" "$4"
}
# Fills DIR (made anew) with copies of the corpus, copy1, copy2 ..., until it holds MB
# megabytes or more.
corpus_copies() { # DIR MB
  local dir=$1 mb=$2 copies=0
  rm -rf "$dir"
  mkdir -p "$dir"
  while [ "$(du -sb "$dir" | cut -f1)" -lt $((mb * 1024 * 1024)) ]; do
    copies=$((copies + 1))
    cp -r "$corpus" "$dir/copy$copies"
  done
}
# Writes the corpus's files one after another, over again, into FILE until it holds BYTES.
corpus_bytes() { # FILE BYTES
  python3 - "$corpus" "$1" "$2" <<'PY'
import os, sys
blob = b""
for root, _, files in sorted(os.walk(sys.argv[1])):
    for f in sorted(files):
        with open(os.path.join(root, f), "rb") as h:
            blob += h.read()
size = int(sys.argv[3])
with open(sys.argv[2], "wb") as h:
    h.write((blob * (size // max(1, len(blob)) + 1))[:size])
PY
}
