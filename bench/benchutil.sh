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
  done | sort -n | awk '{v[NR]=$1} END{printf "%.4f\n", v[int((NR+1)/2)]/1e9}'
}
bench_line() { # NAME OURS REF UNIT
  printf 'BENCH %s ours=%s ref=%s unit=%s\n' "$1" "$2" "$3" "$4"
}
