#!/bin/sh
# reproducible_build.sh SOURCE REFERENCE_EXE WORK BUILD_TYPE [CMAKE_ARGS...]
#
# Builds the installer a second time, from a copy of SOURCE in another folder into another build
# folder, with the same settings, and checks that the program is byte for byte REFERENCE_EXE.
# Only the installer's own target is built. The copy keeps the files' times, so a second run
# rebuilds only what changed.
set -eu
source=$(cd "$1" && pwd)
reference=$2
work=$(mkdir -p "$3" && cd "$3" && pwd)
build_type=$4
shift 4

copy="$work/elsewhere/quorvane-source"
build="$work/other-build"
rm -rf "$copy"
mkdir -p "$copy" "$build"
for part in CMakeLists.txt cmake src assets tools; do
  cp -a "$source/$part" "$copy/"
done

nice cmake -S "$copy" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING=OFF "$@" >/dev/null
nice cmake --build "$build" --target QuorvaneInstaller -j "$(nproc)" >/dev/null

again="$build/QuorvaneInstaller.exe"
sha256sum "$reference" "$again"
if ! cmp -s "$reference" "$again"; then
  echo "the two builds differ in $(cmp -l "$reference" "$again" | wc -l) bytes; first ones:"
  cmp -l "$reference" "$again" | head -5
  exit 1
fi
echo "byte-identical"
