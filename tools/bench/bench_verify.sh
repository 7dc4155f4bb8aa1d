#!/bin/sh
# bench_verify.sh [WIN_BUILD_DIR] [ROUNDS]
#
# Our SHA-512 verification (bench_verify.exe) against the platform's ceiling, a bare BCrypt loop
# with 1 MiB reads (bench_verify_peer.exe), over a 256 MiB file under Wine, in alternating rounds;
# sha512sum natively for reference; peak working set of both for 16 MiB and 256 MiB files.
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build/win}" && pwd)
rounds=${2:-5}
bin="$build/tests/win"
state="$build/wine"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sh "$repo/tools/wine-env.sh" start "$state"
wine_run() { sh "$repo/tools/wine-env.sh" run "$state" wine "$@" 2>/dev/null | tr -d '\r'; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }

for mib in 16 256; do
  head -c $((mib * 1048576)) /dev/urandom >"$work/setup-$mib.exe"
done
digest=$(python3 -c "import base64,hashlib,sys;print(base64.b64encode(hashlib.sha512(open(sys.argv[1],'rb').read()).digest()).decode())" "$work/setup-256.exe")
file=$(winpath "$work/setup-256.exe")

# One untimed pass each, so the page cache holds the file for every timed round.
wine_run "$bin/bench_verify_peer.exe" "$file" >/dev/null
cat "$work/setup-256.exe" >/dev/null

echo "256 MiB, $rounds alternating rounds (seconds):"
ours_all="" peer_all=""
i=1
while [ $i -le "$rounds" ]; do
  ours=$(wine_run "$bin/bench_verify.exe" "$file" "$digest")
  case "$ours" in *result=ok*) ;; *) echo "our verification failed: $ours" >&2; exit 1 ;; esac
  peer=$(wine_run "$bin/bench_verify_peer.exe" "$file")
  o=$(echo "$ours" | field seconds)
  p=$(echo "$peer" | field seconds)
  echo "  round $i: ours $o  bare BCrypt $p"
  ours_all="$ours_all $o"
  peer_all="$peer_all $p"
  i=$((i + 1))
done
python3 - "$ours_all" "$peer_all" <<'PY'
import statistics, sys
ours = [float(x) for x in sys.argv[1].split()]
peer = [float(x) for x in sys.argv[2].split()]
mo, mp = statistics.median(ours), statistics.median(peer)
mb = 256 * 1048576 / 1e6
print(f"median: ours {mo:.3f} s ({mb / mo:.0f} MB/s), bare BCrypt {mp:.3f} s ({mb / mp:.0f} MB/s)")
print(f"throughput ratio ours/bare: {mp / mo:.3f} (goal >= 0.95)")
PY

start=$(date +%s.%N)
sha512sum "$work/setup-256.exe" >/dev/null
end=$(date +%s.%N)
echo "sha512sum (native, reference): $(echo "$end - $start" | bc) s"

echo "peak working set (bytes):"
for mib in 16 256; do
  f=$(winpath "$work/setup-$mib.exe")
  d=$(python3 -c "import base64,hashlib,sys;print(base64.b64encode(hashlib.sha512(open(sys.argv[1],'rb').read()).digest()).decode())" "$work/setup-$mib.exe")
  o=$(wine_run "$bin/bench_verify.exe" "$f" "$d" | field peak_working_set)
  p=$(wine_run "$bin/bench_verify_peer.exe" "$f" | field peak_working_set)
  echo "  $mib MiB: ours $o  bare BCrypt $p"
done
