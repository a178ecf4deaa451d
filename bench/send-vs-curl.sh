#!/usr/bin/env bash
# Times 'vlr send' of one large PDF to attestra-sim, as a whole process, against curl posting a
# request body of the same size to the same simulator, and reports the median wall time of
# each, their ratio and vlr's peak RSS.
#
#   bench/send-vs-curl.sh [path/to/bin]        (default: build/bin, holding vlr and attestra-sim)
#   SIZE_MB=200 RUNS=3 bench/send-vs-curl.sh build-send/bin
#
# vlr logs in (one small request), copies the file, encodes it into the request file and
# streams that; curl streams a body built beforehand (not timed) with the same header, the same
# envelope around the same Base64 text in 64-character lines. The simulator decodes and stores
# the document either way. Peak RSS comes from /usr/bin/time (package "time").
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/bin}
size_mb=${SIZE_MB:-200}
runs=${RUNS:-3}
vlr=$bin/vlr
sim=$bin/attestra-sim

[ -x "$vlr" ] || { echo "no vlr at $vlr (build the vlr target)" >&2; exit 2; }
[ -x "$sim" ] || { echo "no attestra-sim at $sim (build the attestra-sim target)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (scripts/install-deps)" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vlr-send-bench.XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/data" "$work/home" "$work/tmp"

email=bench@example.com
password=bench-pass
account=4242
"$sim" --port 0 --data "$work/data" --account "$email:$password:$account:Bench:u-bench" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.05
done
port=$(head -n 1 "$work/sim.out")
[ -n "$port" ] || { echo "attestra-sim did not start:" >&2; cat "$work/sim.err" >&2; exit 1; }

export VLR_HOME=$work/home
export TMPDIR=$work/tmp
unset http_proxy https_proxy all_proxy VLR_EMAIL VLR_PASSWORD
"$vlr" config set Host "127.0.0.1:$port" >/dev/null
"$vlr" config set SSL 0 >/dev/null

# A valid PDF: catalog, pages, one page whose content stream carries the random bytes, and a
# cross-reference table with the true offsets.
pdf=$work/big.pdf
filler=$((size_mb * 1024 * 1024))
head1=$'%PDF-1.4\n'
obj1=$'1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n'
obj2=$'2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n'
obj3=$'3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>\nendobj\n'
obj4head=$'4 0 obj\n<< /Length '"$filler"$' >>\nstream\n'
obj4tail=$'\nendstream\nendobj\n'
off1=${#head1}
off2=$((off1 + ${#obj1}))
off3=$((off2 + ${#obj2}))
off4=$((off3 + ${#obj3}))
xref=$((off4 + ${#obj4head} + filler + ${#obj4tail}))
{
  printf '%s' "$head1" "$obj1" "$obj2" "$obj3" "$obj4head"
  head -c "$filler" /dev/urandom
  printf '%s' "$obj4tail"
  printf 'xref\n0 5\n0000000000 65535 f \n'
  printf '%010d 00000 n \n' "$off1" "$off2" "$off3" "$off4"
  printf 'trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' "$xref"
} >"$pdf"
pdf_bytes=$(stat -c %s "$pdf")

# The curl body: the same envelope as vlr's request, around the same Base64 lines.
base64 -w 64 "$pdf" >"$work/pdf.b64"
ns=http://api.attestra.net/API/3.0
action=http://api.attestra.net/api/3.0/CreateAndSendEnvelope
build_body() {
  local created expires nonce
  created=$(date -u +%Y-%m-%dT%H:%M:%SZ)
  expires=$(date -u -d '+300 seconds' +%Y-%m-%dT%H:%M:%SZ)
  nonce=$(head -c 16 /dev/urandom | base64)
  {
    printf '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:wsse="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd" xmlns:wsu="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/03/addressing">\n'
    printf '<SOAP-ENV:Header>\n<wsa:Action>%s</wsa:Action>\n<wsa:MessageID>uuid:%s</wsa:MessageID>\n' "$action" "$(cat /proc/sys/kernel/random/uuid)"
    printf '<wsa:ReplyTo>\n<wsa:Address>http://schemas.xmlsoap.org/ws/2004/03/addressing/role/anonymous</wsa:Address>\n</wsa:ReplyTo>\n'
    printf '<wsa:To>https://127.0.0.1:%s/api/3.0/api.asmx</wsa:To>\n' "$port"
    printf '<wsse:Security SOAP-ENV:mustUnderstand="1">\n<wsu:Timestamp wsu:Id="Timestamp-%s">\n' "$(cat /proc/sys/kernel/random/uuid)"
    printf '<wsu:Created>%s</wsu:Created>\n<wsu:Expires>%s</wsu:Expires>\n</wsu:Timestamp>\n' "$created" "$expires"
    printf '<wsse:UsernameToken xmlns:wsu="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd" wsu:Id="SecurityToken-%s">\n' "$(cat /proc/sys/kernel/random/uuid)"
    printf '<wsse:Username>[QKTZ-5e7d9c41-8a2b-4f63-b1d0-2c4e6a8f9b17]%s</wsse:Username>\n' "$email"
    printf '<wsse:Password Type="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText">%s</wsse:Password>\n' "$password"
    printf '<wsse:Nonce>%s</wsse:Nonce>\n<wsu:Created>%s</wsu:Created>\n<AccountId>%s</AccountId>\n' "$nonce" "$created" "$account"
    printf '</wsse:UsernameToken>\n</wsse:Security>\n</SOAP-ENV:Header>\n<SOAP-ENV:Body>\n'
    printf '<CreateAndSendEnvelope xmlns="%s">\n<Envelope>\n<AccountId>%s</AccountId>\n' "$ns" "$account"
    printf '<Documents><Document>\n<ID>1</ID>\n<Name>big.pdf</Name>\n<FileExtension>pdf</FileExtension>\n<PDFBytes>\n'
    cat "$work/pdf.b64"
    printf '</PDFBytes></Document></Documents><Recipients><Recipient><ID>1</ID>\n<UserName>Ann</UserName>\n'
    printf '<Email>ann&#64;example.com</Email>\n<Type>Signer</Type>\n<DefaultRecipient>true</DefaultRecipient>\n'
    printf '<AccessCode></AccessCode>\n<RequireIDLookup>false</RequireIDLookup>\n</Recipient></Recipients>'
    printf '<Subject>no subject</Subject>\n<EmailBlurb></EmailBlurb>\n</Envelope>\n</CreateAndSendEnvelope>\n'
    printf '</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n'
  } >"$work/body.xml"
}

results=$work/results
: >"$results"
# once LABEL COMMAND...: runs the command with its output in $work/out, appends
# "LABEL wall_ns max_rss_kb" and fails when the envelope was not created.
once() {
  local label=$1
  shift
  local t0 t1 kb
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/usage" "$@" >"$work/out" 2>"$work/err" || {
    echo "$label failed:" >&2
    cat "$work/err" "$work/out" >&2
    exit 1
  }
  t1=$(date +%s%N)
  kb=$(tail -n 1 "$work/usage")
  grep -q 'EnvelopeID' "$work/out" || { echo "$label: no EnvelopeID in the answer" >&2; head -c 2000 "$work/out" >&2; exit 1; }
  echo "$label $((t1 - t0)) $kb" >>"$results"
}

for _ in $(seq "$runs"); do
  once vlr "$vlr" send --email "$email" --password "$password" --to 'Ann <ann@example.com>' "$pdf"
  build_body
  body_bytes=$(stat -c %s "$work/body.xml")
  # Streamed from the file (--data-binary @file would first read it whole into memory).
  once curl curl -sS --fail-with-body -X POST -T "$work/body.xml" -H 'Expect:' \
    -H 'Content-Type: text/xml; charset=utf-8' -H "SOAPAction: \"$action\"" \
    "http://127.0.0.1:$port/api/3.0/api.asmx"
  rm -f "$work/body.xml"
done
leftover=$(find "$work/tmp" -name 'ATg*' | wc -l)

median() { grep "^$1 " "$results" | awk '{ print $2 }' | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
maxrss() { grep "^$1 " "$results" | awk '{ print $3 }' | sort -n | tail -n 1; }
vlr_ns=$(median vlr)
curl_ns=$(median curl)
echo "Document: $pdf_bytes bytes (PDF, ${size_mb} MiB of random content); request body: $body_bytes bytes; $runs runs each"
awk -v v="$vlr_ns" -v c="$curl_ns" -v vm="$(maxrss vlr)" -v cm="$(maxrss curl)" 'BEGIN {
  printf "vlr send  median %7.2f s   peak RSS %7.1f MiB\n", v / 1e9, vm / 1024
  printf "curl      median %7.2f s   peak RSS %7.1f MiB\n", c / 1e9, cm / 1024
  printf "ratio vlr/curl: %.2f (goal: at most 1.5); vlr peak RSS goal: under 64 MiB\n", v / c
}'
echo "temporary files left by vlr: $leftover"
