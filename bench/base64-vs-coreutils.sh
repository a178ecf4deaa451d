#!/usr/bin/env bash
# Times vlr-b64 (File64Coder::EncodeFile / DecodeFile) against coreutils base64 as whole
# processes on a random file, reports the median wall time of each, the ratio and the peak
# RSS, and checks that both round trips and the cross decodes restore the file.
#
#   bench/base64-vs-coreutils.sh [path/to/vlr-b64]     (default: build/bench/vlr-b64)
#   SIZE_MB=100 RUNS=5 bench/base64-vs-coreutils.sh ...
#
# Our encoder writes 64-character lines, coreutils 76 by default; both are timed as they are
# (the outputs differ by about 0.3 % in size). Peak RSS comes from /usr/bin/time (package
# "time", installed by scripts/install-deps).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
ours=${1:-$here/build/bench/vlr-b64}
size_mb=${SIZE_MB:-100}
runs=${RUNS:-5}

[ -x "$ours" ] || { echo "no vlr-b64 at $ours (build the vlr-b64 target)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (scripts/install-deps)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vlr-b64-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c "${size_mb}M" /dev/urandom >"$work/data.bin"

# once LABEL TARGET STDOUT COMMAND...: removes TARGET (a file in $work) so that every run
# writes a new file, runs the command once with its standard output to STDOUT and appends
# "LABEL wall_ns cpu_seconds max_rss_kb" to the results.
once() {
  local label=$1 target=$2 stdout=$3
  shift 3
  case $target in
    "$work"/*) rm -f -- "$target" ;;
    *) echo "refusing to remove $target" >&2; exit 2 ;;
  esac
  local t0 t1 user sys kb
  t0=$(date +%s%N)
  /usr/bin/time -f '%U %S %M' -o "$work/usage" "$@" >"$stdout"
  t1=$(date +%s%N)
  read -r user sys kb < <(tail -n 1 "$work/usage")
  echo "$label $((t1 - t0)) $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $kb" >>"$results"
}

# The tools take turns, so that load from elsewhere on the machine hits both alike.
results=$work/results
: >"$results"
for _ in $(seq "$runs"); do
  once vlr-encode "$work/ours.txt" /dev/null "$ours" encode "$work/data.bin" "$work/ours.txt"
  once coreutils-encode "$work/core.txt" "$work/core.txt" base64 "$work/data.bin"
  once vlr-decode "$work/ours.bin" /dev/null "$ours" decode "$work/ours.txt" "$work/ours.bin"
  once coreutils-decode "$work/core.bin" "$work/core.bin" base64 -d "$work/core.txt"
done

check() {
  if cmp -s "$1" "$2"; then echo "ok    $3"; else echo "FAIL  $3"; failed=1; fi
}
failed=0
echo "Round trips (${size_mb} MB random data):"
check "$work/data.bin" "$work/ours.bin" "vlr-b64 encode | vlr-b64 decode"
check "$work/data.bin" "$work/core.bin" "base64 | base64 -d"
"$ours" decode "$work/core.txt" "$work/cross1.bin"
check "$work/data.bin" "$work/cross1.bin" "base64 (76-column lines) | vlr-b64 decode"
base64 -d "$work/ours.txt" >"$work/cross2.bin"
check "$work/data.bin" "$work/cross2.bin" "vlr-b64 encode | base64 -d"
base64 -w 64 "$work/data.bin" >"$work/core64.txt"
check "$work/core64.txt" "$work/ours.txt" "vlr-b64 encode == base64 -w 64"

echo
echo "Median of $runs runs: wall and CPU (user + system) time in seconds, peak RSS in KB."
awk '
  function median(label, col,   n, i, j, v, tmp) {
    n = 0
    for (i = 1; i <= rows; i++) if (lab[i] == label) v[++n] = val[i, col]
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { tmp = v[j]; v[j] = v[j - 1]; v[j - 1] = tmp }
    return v[int((n + 1) / 2)]
  }
  { rows++; lab[rows] = $1; val[rows, 2] = $2 / 1e9; val[rows, 3] = $3; val[rows, 4] = $4 }
  END {
    printf "%-7s %9s %9s %6s   %9s %9s %6s   %8s %8s\n", "", "wall vlr", "coreutil", "ratio", "cpu vlr", "coreutil", "ratio", "RSS vlr", "coreutil"
    split("encode decode", ops, " ")
    for (k = 1; k <= 2; k++) {
      o = ops[k]
      wa = median("vlr-" o, 2); wb = median("coreutils-" o, 2)
      ca = median("vlr-" o, 3); cb = median("coreutils-" o, 3)
      ra = median("vlr-" o, 4); rb = median("coreutils-" o, 4)
      printf "%-7s %9.3f %9.3f %6.2f   %9.2f %9.2f %6.2f   %8d %8d\n", o, wa, wb, wa / wb, ca, cb, (cb > 0 ? ca / cb : 0), ra, rb
    }
  }' "$results"
exit $failed
