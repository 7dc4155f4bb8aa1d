#!/bin/sh
# try-release.sh STATE RELEASE INSTALLER PROBE [SLOW_BPS [PRODUCT_TITLE]]
#
# make try (and make run, on the demo's release): serves the release folder RELEASE, as it is
# uploaded (latest.yml and the setup program), on 127.0.0.1 and runs INSTALLER against it under
# Wine with ZEL_BOOTSTRAP_FEED_URL pointing at it, in the prefix STATE/wine/prefix, made and set
# up once by tools/wine-env.sh (the close glyph's font linked, as the tests' prefix). With a
# DISPLAY the window opens there and you click; without one it runs on a private Xvfb display,
# Install is clicked for you and a screenshot of each screen is kept in STATE/screens. PROBE is
# access_probe.exe, which reads the window's screens. The last line is "launched: PATH" (exit 0)
# or "not launched: REASON" (exit 1); the prefix's Wine processes are ended afterwards.
# SLOW_BPS serves the files at that many bytes a second, PRODUCT_TITLE names the launched
# product's window for a last screenshot (both for the demo).
set -eu
[ $# -ge 4 ] || {
  echo "usage: try-release.sh STATE RELEASE INSTALLER PROBE [SLOW_BPS [PRODUCT_TITLE]]" >&2
  exit 2
}
repo=$(cd "$(dirname "$0")/.." && pwd)
state=$(mkdir -p "$1" && cd "$1" && pwd)
release=$2
installer=$3
probe=$4
slow=${5:-}
product_title=${6:-}
[ -f "$release/latest.yml" ] || {
  echo "not launched: there is no latest.yml in \"$release\" (RELEASE is the folder you upload:" \
    "latest.yml and the setup program)"
  exit 1
}
[ -f "$installer" ] || { echo "not launched: there is no installer \"$installer\""; exit 1; }
release=$(cd "$release" && pwd)
installer=$(cd "$(dirname "$installer")" && pwd)/$(basename "$installer")

rm -f "$state/port"
# The folder alone, no control URLs: nothing but the installer's requests reaches it.
python3 "$repo/tests/support/release_server.py" --root "$release" --port-file "$state/port" \
  --no-control ${slow:+--slow "$slow"} >/dev/null 2>&1 &
server=$!
cleanup() {
  kill "$server" 2>/dev/null || true
  sh "$repo/tools/wine-env.sh" stop "$state/wine"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
tries=0
while [ ! -s "$state/port" ]; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || { echo "not launched: the release server did not start"; exit 1; }
  sleep 0.1
done
feed="http://127.0.0.1:$(cat "$state/port")/"
echo "serving $release at $feed"

set -- python3 "$repo/tools/drive_installer.py" --probe "$probe" --exe "$installer" --feed "$feed"
if [ -n "${DISPLAY:-}" ]; then
  echo "starting $installer on $DISPLAY: click Install"
  sh "$repo/tools/wine-env.sh" desktop "$state/wine" "$@"
else
  sh "$repo/tools/wine-env.sh" start "$state/wine"
  sh "$repo/tools/wine-env.sh" run "$state/wine" "$@" --click --shots "$state/screens" \
    ${product_title:+--product-window "$product_title"}
fi
