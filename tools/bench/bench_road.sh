#!/bin/sh
# bench_road.sh startup|install|install-open|memory [WIN_BUILD_DIR] [ROUNDS]
#
# Figures of the whole road under Wine, each printed as a ratio against the platform's floor
# measured in the same run (see bench_road.py): process start to the first painted window, the
# Install click to Done for a 256 MiB release, and the working sets of a whole run. Build first:
# cmake --build build/win.
set -eu
figure=$1
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${2:-$repo/build/win}" && pwd)
bin="$build/tests/win"
state="$build/wine"
work="$build/bench-road"

for exe in bench_installer.exe bench_installer_open.exe bench_window_peer.exe bench_install_peer.exe fake_setup.exe; do
  [ -f "$bin/$exe" ] || { echo "missing $bin/$exe: build the Windows tree first" >&2; exit 1; }
done
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
sh "$repo/tools/wine-env.sh" start "$state"
sh "$repo/tools/wine-env.sh" run "$state" python3 "$repo/tools/bench/bench_road.py" "$figure" \
  --bin "$bin" --work "$work" ${3:+--rounds "$3"}
