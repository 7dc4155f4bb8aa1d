#!/bin/sh
# make run: installs Quorvane from a demo release served on 127.0.0.1, with the real installer
# under Wine. DEMO is the demo's own build folder (make demo: the installer with the default
# settings and the demo setup program); the release, the Wine prefix and the screenshots live in it.
#
# With a DISPLAY, the installer opens there and you click Install yourself. Without one, it runs on
# a private Xvfb display, this script clicks Install, waits for the install and the launch of the
# product, and keeps a screenshot of every screen on the way in DEMO/screens/.
set -eu
demo=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
state="$demo/wine"
release="$demo/release"
version="1.0.0"
setup_name="Quorvane Setup $version.exe"

shots="$demo/screens"
rm -rf "$release" "$shots" "$demo/port"
mkdir -p "$release"

# The demo release: the setup program and its feed.
cp "$demo/demo_setup.exe" "$release/$setup_name"
# Padded to 4 MiB (a program runs with data appended) and served at 1 MiB/s below, so the
# download takes a few seconds and its bar moves: Wine's WinHTTP returns a read only once its
# whole 256 KiB buffer is filled.
truncate -s 4M "$release/$setup_name"
size=$(stat -c %s "$release/$setup_name")
python3 "$repo/tools/publish-release" "$release/$setup_name" "$version" >/dev/null

python3 "$repo/tests/support/release_server.py" --root "$release" --port-file "$demo/port" \
  >/dev/null 2>&1 &
server=$!
interactive=${DISPLAY:+yes}
cleanup() {
  kill "$server" 2>/dev/null || true
  [ -n "$interactive" ] || sh "$repo/tools/wine-env.sh" stop "$state"
}
trap cleanup EXIT INT TERM
tries=0
while [ ! -s "$demo/port" ]; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || { echo "the release server did not start" >&2; exit 1; }
  sleep 0.1
done
feed="http://127.0.0.1:$(cat "$demo/port")/"
# Plans are keyed by the path as requested, in which the client writes a space as %20.
curl -fsSG --data-urlencode "path=/$(echo "$setup_name" | sed 's/ /%20/g')" \
  --data-urlencode "actions=slow:1048576" "${feed}_control/plan" >/dev/null
echo "serving the demo release at $feed (version $version, $size bytes, at 1 MiB/s)"

if [ -n "$interactive" ]; then
  # No prompts in a new prefix for components the installer never uses. Wine makes a new
  # prefix's own folder, but not the folders above it.
  export WINEDEBUG=-all WINEPREFIX="$state/prefix" WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  echo "starting the installer on $DISPLAY: click Install"
  ZEL_BOOTSTRAP_FEED_URL="$feed" wine "$demo/QuorvaneInstaller.exe"
  exit
fi

sh "$repo/tools/wine-env.sh" start "$state"
sh "$repo/tools/wine-env.sh" run "$state" \
  python3 "$repo/tools/demo/drive_demo.py" --exe "$demo/QuorvaneInstaller.exe" --feed "$feed" \
  --shots "$shots"
echo "screenshots of every screen, in $shots:"
ls -l "$shots"
