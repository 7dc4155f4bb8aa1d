#!/bin/sh
# make run: builds the installer. The windowed demo install comes with the window.
set -eu
win=$1
exe="$win/QuorvaneInstaller.exe"
test -f "$exe"
echo "built $exe ($(stat -c %s "$exe") bytes)"
echo "The window and the demo install are not built yet: 'make run' stops here for now."
