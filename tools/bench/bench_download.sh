#!/bin/sh
# bench_download.sh [WIN_BUILD_DIR] [ROUNDS]
#
# Download speed and memory under Wine, from the local release server on 127.0.0.1:
#   ours  download_to_file (bench_download.exe)
#   peer  a bare loop of 256 KiB WinHttpReadData calls written with WriteFile
#         (bench_peer_download.exe), the platform's ceiling
# run in alternating rounds on the same 256 MiB file, then curl -o for reference, then the peak
# working set of our download for a 16 MiB and a 256 MiB file. Prints times, throughputs and
# ours/peer (goal: at least 0.95). Build first: cmake --build build/win.
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build/win}" && pwd)
rounds=${2:-5}
state="$build/wine"
bin="$build/tests/win"
work="$build/bench-download"
big=268435456
small=16777216

for exe in bench_download.exe bench_peer_download.exe; do
  [ -f "$bin/$exe" ] || { echo "missing $bin/$exe: build the Windows tree first" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work/served" "$work/out"
sh "$repo/tools/wine-env.sh" start "$state"

python3 "$repo/tests/support/release_server.py" --root "$work/served" \
  --port-file "$work/port" >/dev/null &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
tries=0
while [ ! -s "$work/port" ]; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || { echo "release server did not start" >&2; exit 1; }
  sleep 0.1
done
base="http://127.0.0.1:$(cat "$work/port")"
curl -fsS "$base/_control/make?path=/big.exe&size=$big&seed=3" >/dev/null
curl -fsS "$base/_control/make?path=/small.exe&size=$small&seed=4" >/dev/null

winpath() { echo "Z:$1" | tr / '\\'; }
wine_run() { sh "$repo/tools/wine-env.sh" run "$state" wine "$@"; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }

ours() {  # URL SIZE -> "seconds peak"
  out=$(wine_run "$bin/bench_download.exe" "$1" "$(winpath "$work/out/ours.exe")" "$2" | tr -d '\r')
  case "$out" in *error=*) echo "ours failed: $out" >&2; exit 1 ;; esac
  echo "$(echo "$out" | field seconds) $(echo "$out" | field peak_working_set)"
}
peer() {  # URL -> seconds
  out=$(wine_run "$bin/bench_peer_download.exe" "$1" "$(winpath "$work/out/peer.exe")" | tr -d '\r')
  case "$out" in *error=*) echo "peer failed: $out" >&2; exit 1 ;; esac
  echo "$out" | field seconds
}

# One unmeasured run each, so both find the file in the page cache and Wine warm.
ours "$base/big.exe" $big >/dev/null
peer "$base/big.exe" >/dev/null

ours_times=""
peer_times=""
round=1
while [ $round -le "$rounds" ]; do
  # Alternate which goes first, so neither always runs on a warmer machine.
  if [ $((round % 2)) -eq 1 ]; then
    o=$(ours "$base/big.exe" $big | cut -d' ' -f1); p=$(peer "$base/big.exe")
  else
    p=$(peer "$base/big.exe"); o=$(ours "$base/big.exe" $big | cut -d' ' -f1)
  fi
  cmp -s "$work/out/ours.exe" "$work/served/big.exe" || { echo "our file differs" >&2; exit 1; }
  echo "round $round: ours ${o} s, peer ${p} s"
  ours_times="$ours_times $o"
  peer_times="$peer_times $p"
  round=$((round + 1))
done

curl_times=""
for i in 1 2 3; do
  t=$(curl -fsS -o "$work/out/curl.exe" -w '%{time_total}' "$base/big.exe")
  curl_times="$curl_times $t"
done

small_peak=$(ours "$base/small.exe" $small | cut -d' ' -f2)
big_peak=$(ours "$base/big.exe" $big | cut -d' ' -f2)

python3 - "$big" "$ours_times" "$peer_times" "$curl_times" "$small_peak" "$big_peak" <<'PY'
import statistics, sys
size, ours, peer, curl = int(sys.argv[1]), *[list(map(float, a.split())) for a in sys.argv[2:5]]
small_peak, big_peak = int(sys.argv[5]), int(sys.argv[6])
mb = size / 1048576
def line(name, times):
    m = statistics.median(times)
    print(f"{name:5} median {m:.3f} s  ({mb / m:.1f} MB/s)  runs: " + " ".join(f"{t:.3f}" for t in times))
    return m
print(f"256 MiB from 127.0.0.1 under Wine, {len(ours)} rounds:")
o = line("ours", ours)
p = line("peer", peer)
c = line("curl", curl)
print(f"ours/peer throughput: {p / o:.3f} (goal >= 0.95); ours/curl: {c / o:.3f}")
print(f"peak working set of our download: 16 MiB file {small_peak / 1048576:.1f} MiB, "
      f"256 MiB file {big_peak / 1048576:.1f} MiB")
PY
