#!/bin/sh
# make run: installs Quorvane from a demo release served on 127.0.0.1, with the real installer
# under Wine. DEMO is the demo's own build folder (make demo: the installer with the default
# settings, the demo setup program and access_probe); the release, the Wine prefix and the
# screenshots live in it. The rest is make try's (tools/try-release.sh): with a DISPLAY, the
# installer opens there and you click Install yourself; without one, it runs on a private Xvfb
# display, Install is clicked for you, and a screenshot of every screen on the way is kept in
# DEMO/screens/, the last of the installed product's window.
set -eu
demo=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
release="$demo/release"
version="1.0.0"
setup_name="Quorvane Setup $version.exe"
rm -rf "$release"
mkdir -p "$release"

# The demo release: the setup program and its feed.
cp "$demo/demo_setup.exe" "$release/$setup_name"
# Padded to 4 MiB (a program runs with data appended) and served at 1 MiB/s, so the download
# takes a few seconds and its bar moves: Wine's WinHTTP returns a read only once its whole
# 256 KiB buffer is filled.
truncate -s 4M "$release/$setup_name"
size=$(stat -c %s "$release/$setup_name")
python3 "$repo/tools/publish-release" "$release/$setup_name" "$version" >/dev/null
echo "the demo release: version $version, $size bytes, served at 1 MiB/s"
exec sh "$repo/tools/try-release.sh" "$demo" "$release" "$demo/QuorvaneInstaller.exe" \
  "$demo/access_probe.exe" 1048576 '^Quorvane$'
