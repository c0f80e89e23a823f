#!/usr/bin/env bash
# Renders the same scene through Quellix.so (Linux build) and Quellix.dll (under Wine) and
# requires identical bytes: compare_scene.sh LINUX_BUILD WINDOWS_BUILD WINE_RUN...
set -euo pipefail
linux_build="$1"
windows_build="$2"
shift 2

if [ ! -x "$linux_build/tests/scene_render" ] || [ ! -f "$linux_build/Quellix.so" ]; then
  echo "FAIL: no Linux build in $linux_build; build it first:"
  echo "  cmake --preset ci && cmake --build build/ci --target Quellix scene_render"
  exit 1
fi
linux_out="$windows_build/scene-linux.rgba"
windows_out="$windows_build/scene-windows.rgba"
rm -f "$linux_out" "$windows_out"

"$linux_build/tests/scene_render" "$linux_build/Quellix.so" "$linux_out"
# Under Wine the program finds Quellix.dll beside itself; the output path is a DOS one.
(cd "$windows_build" && "$@" "$windows_build/scene_render.exe" Quellix.dll scene-windows.rgba)

linux_size="$(stat -c %s "$linux_out")"
echo "Linux:   $(sha256sum "$linux_out" | cut -d' ' -f1)  $linux_size bytes"
echo "Windows: $(sha256sum "$windows_out" | cut -d' ' -f1)  $(stat -c %s "$windows_out") bytes"
if ! cmp "$linux_out" "$windows_out"; then
  differing="$( (cmp -l "$linux_out" "$windows_out" 2>/dev/null || true) | wc -l)"
  echo "FAIL: the DLL draws the scene differently ($differing of $linux_size bytes differ)"
  exit 1
fi
echo "identical: $linux_size bytes"
