#!/usr/bin/env bash
# Posts one large request body to attestra-sim through the operation engine in file mode
# (vlr-http-post, a whole process) and with 'curl --data-binary @file' to the same endpoint,
# and reports the median wall time of each, their ratio and the peak RSS of each.
#
#   bench/http-vs-curl.sh [build folder]              (default: build)
#   SIZES="50 200" RUNS=3 STEPPED=1 bench/http-vs-curl.sh build-transport
#
# The body is random bytes, so the simulator spools it, finds it is no XML and answers with a
# SOAP fault at once; both clients read that answer. curl reads an @file body into memory
# before sending; 'curl -T' (streamed) is timed as well for comparison. Peak RSS comes from
# /usr/bin/time (package "time").
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
sizes=${SIZES:-"50 200"}
runs=${RUNS:-3}
post=$build/bench/vlr-http-post
sim=$build/bin/attestra-sim
vlr=$build/bin/vlr

for p in "$post" "$sim" "$vlr"; do [ -x "$p" ] || { echo "missing $p (build vlr-http-post, attestra-sim, vlr)" >&2; exit 2; }; done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vlr-http-bench.XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/data" "$work/home" "$work/tmp"

"$sim" --port 0 --data "$work/data" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/sim.out")
[ -n "$port" ] || { echo "attestra-sim did not start:" >&2; cat "$work/sim.err" >&2; exit 1; }

export VLR_HOME=$work/home TMPDIR=$work/tmp
unset http_proxy https_proxy all_proxy
"$vlr" config set Host "127.0.0.1:$port" >/dev/null
"$vlr" config set SSL 0 >/dev/null
url=http://127.0.0.1:$port/api/3.0/api.asmx

# "seconds peak-KiB" of one run of the command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time.out" "$@" >/dev/null 2>"$work/run.err" || { cat "$work/run.err" >&2; exit 1; }
  cat "$work/time.out"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-8s %-22s %10s %12s\n' "MiB" "client" "seconds" "peak RSS KiB"
for size in $sizes; do
  body=$work/body-$size.bin
  head -c $((size * 1024 * 1024)) /dev/urandom >"$body"
  declare -A secs=() mem=()
  clients=(engine curl-data-binary curl-T)
  [ -n "${STEPPED:-}" ] && clients+=(engine-stepped)
  for client in "${clients[@]}"; do
    : >"$work/secs"
    peak=0
    for _ in $(seq "$runs"); do
      case $client in
        engine) ln -f "$body" "$work/tmp/post.bin"; r=$(measure "$post" "$url" "$work/tmp/post.bin") ;;
        engine-stepped) ln -f "$body" "$work/tmp/post.bin"; r=$(measure "$post" "$url" "$work/tmp/post.bin" --stepped) ;;
        curl-data-binary) r=$(measure curl -s -o /dev/null -H 'Content-Type: text/xml; charset=utf-8' --data-binary "@$body" "$url") ;;
        curl-T) r=$(measure curl -s -o /dev/null -X POST -H 'Content-Type: text/xml; charset=utf-8' -T "$body" "$url") ;;
      esac
      echo "${r% *}" >>"$work/secs"
      (( ${r#* } > peak )) && peak=${r#* }
    done
    secs[$client]=$(median <"$work/secs")
    mem[$client]=$peak
    printf '%-8s %-22s %10s %12s\n' "$size" "$client" "${secs[$client]}" "${mem[$client]}"
  done
  awk -v a="${secs[engine]}" -v b="${secs[curl-data-binary]}" -v c="${secs[curl-T]}" \
    'BEGIN { printf "%-8s engine / curl --data-binary = %.2f, engine / curl -T = %.2f\n", "", (b > 0 ? a / b : 0), (c > 0 ? a / c : 0) }'
  rm -f "$body"
done
